#!/usr/bin/env python3
"""Random machines for the native uninstaller, checked against what docs/list-file.md allows.

Each seed lays out a machine, a registry, a message file and a list file of every entry kind aimed at what is
there and at near misses of it, runs uninst.bin on it twice and checks each run against the documented rules
(see README). A failure prints its seed and its machine, shrunk to what still fails.

  random_machines.py UNINST_BIN [--seeds 1-40,77 | --minutes 20 [--first N]] [--jobs 16] [--slack 10]
  random_machines.py UNINST_EXE --wine-run tests/e2e-wine/wine-run --clicker CLICKER_EXE ...   (after wine-setup)
"""
import argparse, collections, concurrent.futures, functools, hashlib, itertools, os, pathlib, random, re
import shutil, stat, subprocess, sys, tempfile, threading, time, types

SEPS, D = (b'\\', b'/'), (b'root', b'drive_c')
UNINSTALL = b'SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\'
APPKEY = b'hkey_local_machine\\software\\vantrell\\duzore32\\application'
ASCII = ['App', 'Tool', 'Data', 'Outbox', 'a.txt', 'b.dat', 'Program Files', 'x y.txt', 'v1.2', '.hidden', 'notes.']
JA = ['表', 'ソフト', '十', '能', '予定表', '一覧表', '機能', 'データ', '―a.txt', '――a.txt', 'ア']
ODD = [b'\xff\xfe.bin', b'\x83\\.sjis', 'café'.encode(), '¥.txt'.encode(), '〜'.encode()]  # no Windows form
LOOKALIKE = str.maketrans('aeoAT', 'àéöÀŤ')
FORBIDDEN = ['a?b.txt', 'x*', 'c:d', 'l<t>', 'ctl\x01', 'p|q', 'a\\b']
KEYS = [UNINSTALL.decode() + n for n in ('ScanDeliv', 'ScanFile', 'PaintBox', '表ソフト')] + ['Software\\' + n for n in (
    'Vantrell\\ScanDeliv', 'Vantrell\\ScanDeliv\\Accounts', 'Vantrell\\Common', 'Vantrell\\DUZORE32',
    'Vantrell\\DUZORE32\\Settings', 'Vantrell\\DUZORE32\\Application', 'PaintBox', 'ソフト\\表', 'ソフト\\表\\十')]
STRING, LEAD = rb'"(?:[^"\\]|\\.)*"', re.compile(rb'[\x81-\x9f\xe0-\xfc]')
VALUE = re.compile(rb'(%s|@)=(%s|dword:[0-9a-fA-F]{8}|hex(?:\([0-9a-fA-F]+\))?:[0-9a-fA-F, ]*)' % (STRING, STRING))

def chars(v):  # the characters of code page 932 text: a lead byte takes the byte after it
    return re.findall(rb'%s[\x00-\xff]|[\x00-\xff]' % LEAD.pattern, v)
def split(v, seps=SEPS):  # at the separators that are characters of their own
    return b''.join(b'\0' if c in seps else c for c in chars(v)).split(b'\0')
def fold(v):  # letter case, as names compare; a second byte is never a letter
    return b''.join(c.lower() if len(c) == 1 else c for c in chars(v))
def ufold(s):
    return ''.join(c.upper() if len(c.upper()) == 1 else c for c in s)
def regkey(v):
    return b'hkey_local_machine\\' + b'\\'.join(p for p in split(fold(v), (b'\\',)) if p)
def common(a, b, same=lambda x, y: x == y):  # how many names two paths share from the start
    return next((i for i in range(min(len(a), len(b))) if not same(a[i], b[i])), min(len(a), len(b)))
@functools.lru_cache(maxsize=None)
def visible(name):  # a name on disk as Windows sees it (None: Windows could not hold it or name it)
    s = name.decode('utf-8', 'replace')
    exact = s.encode('cp932', 'replace').decode('cp932') == s
    return s if exact and not re.search('[<>:"/\\\\|?*\0-\x1f]', s) else None
def winpath(t):
    names = [visible(n) for n in t]
    return None if None in names else ('C:\\' + '\\'.join(names)).encode('cp932')
def header(line):
    c = chars(line.strip(b' \t'))
    return b''.join(c[1:c.index(b']')]) if c[:1] == [b'['] and b']' in c else None
def text(b):
    return b.decode('cp932', 'backslashreplace')
def show(p):
    return '/'.join(n.decode('utf-8', 'backslashreplace') for n in p[1:])

def read_ini(data):
    """Every value of every (section, key), all occurrences: which one a reader takes is its own."""
    ini, sec = collections.defaultdict(list), None
    for line in re.split(rb'\r\n|\r|\n', data):
        if header(line) is not None:
            sec = fold(header(line).strip(b' \t'))
            ini[sec, None].append(line)  # a reader may take the first of two sections of one name only
        elif sec is not None and b'=' in line:
            k, v = (x.strip(b' \t') for x in line.split(b'=', 1))
            ini[sec, fold(k)].append(v[1:-1] if len(v) > 1 and v[:1] == v[-1:] == b'"' else v)
    return ini

def parse(v, cwd):
    """The names below C:\\ that a Windows path names, as Windows reads it (None: nothing on C:)."""
    c = chars(v)
    drive, rooted = c[1:2] == [b':'], lambda c: c[:1] in ([b'\\'], [b'/'])
    if drive and c[0].lower() != b'c' or not drive and (rooted(c) and rooted(c[1:]) or cwd is None and not rooted(c)):
        return None  # another drive, \\server\share, or relative to a folder outside the machine
    c, names = c[2 * drive:], [] if rooted(c[2 * drive:]) else list(cwd or [])
    for part in split(b''.join(c)):
        if part == b'..':
            names = names[:-1]
        elif part not in (b'', b'.'):
            try:
                names.append(part.decode('cp932'))
            except UnicodeError:
                return None
    return names

def allowed(m, cwd, snap, list_bytes, reg):
    """What one run may remove: files, folders (each only once all it held went), keys and values."""
    ini, kids, S = read_ini(list_bytes), collections.defaultdict(list), m['section']
    files, dirs, keys, values = set(), set(), set(), set()
    for p in snap:
        kids[p[:-1]].append(p)
    def get(sec, key, cap):  # the values a list entry may have, less those too long or ending in half a character
        return [v for v in ini.get((fold(sec), fold(key)), []) if v and len(v) <= cap and not LEAD.fullmatch(chars(v)[-1])]
    def numbered(sec, key, cap, n=0):  # FILE00, FILE01, ... up to the first that is missing or empty
        while any(ini.get((fold(sec), fold(b'%s%02d' % (key, n))), [])):
            yield from get(sec, b'%s%02d' % (key, n), cap)
            n += 1
    def walk(names):  # what a path names on disk: any name that matches without regard to case
        nodes = [D]
        for n in names:
            want = {ufold(n), ufold(n.rstrip('. '))}
            nodes = [k for p in nodes for k in kids[p] if visible(k[-1]) and ufold(visible(k[-1])) in want]
        return nodes
    paths = lambda v: walk(parse(v, cwd)) if parse(v, cwd) is not None else []
    def chain(v):  # the folder a value names and every folder above it, the value read whole or cut at a separator
        names, c = parse(v, cwd) or [], chars(v)
        cuts = [b''.join(c[:i]) for i in range(1, len(c)) if c[i] in SEPS]
        return {p for k in range(1, len(names) + 1) for p in walk(names[:k])}.union(
            *(paths(cut) for cut in cuts if not re.fullmatch(rb'[A-Za-z]:', cut)))
    def section(X, uninstall_key=None):
        keys.update(regkey(UNINSTALL + v) for v in (get(b'UnInstKey', uninstall_key, 259) if uninstall_key else []))
        files.update(p for v in numbered(X, b'FILE', 127) for p in paths(v) if snap[p][0] != 'd')
        dirs.update(p for v in numbered(b'Path' + X[4:], b'PATH', 127) for p in chain(v))
        keys.update(regkey(v) for v in numbered(X, b'REGPATH', 127))
    dirs.update(p for v in get(b'UNINSTALL_' + S, b'PATH', 259) for p in chain(v))
    dirs.update(k for v in get(b'UNINSTALL_Files_File', b'PATH', 259) if S != b'Files_Deliv'  # the sweep
                for p in paths(v) for k in kids[p] if snap[k][0] == 'd' and not kids[k])
    for p in (p for v in numbered(b'Extra_Deliv', b'Folder', 259) for p in paths(v)) if S == b'Files_Deliv' else ():
        dirs.add(p)
        files.update(k for k in kids[p] if snap[k][0] != 'd' and visible(k[-1]))
    section(S, b'UnInstKey_File' if S == b'Files_File' else b'UnInstKey_Deliv')
    own, other = (b'FileUtility', b'DelivUtility') if S == b'Files_File' else (b'DelivUtility', b'FileUtility')
    flags = lambda k: ini.get((b'utility', fold(k)), [])
    one = lambda v: v == b'1' or int((re.match(rb'\s*[+-]?\d+', v) or [b'0'])[0]) == 1
    if S in (b'Files_Deliv', b'Files_File') and any(map(one, flags(own))) and (
            not flags(other) or any(v != b'1' for v in flags(other)) or len(ini[b'utility', None]) > 1):
        section(b'Files_Common')
        app = fold(b'"%s"' % m['msg'][:79] if m['msg'] else b'@' if m['msg'] is not None else b'"ScannerUtility"')
        values.add((APPKEY, app))
        # the shared component is unused once its key holds no value; a file that cannot be read keeps them all
        if APPKEY in keys or set(reg[0].get(APPKEY, {})) <= ({app} if not reg[1] else set()):
            section(b'Files_DLL')
            keys.update((APPKEY, APPKEY.rsplit(b'\\', 1)[0]))
    return files, dirs - {D}, keys, values

def parse_reg(data):
    """({key: {value name: data}}, how many lines a REGEDIT4 reader cannot take); a key's parents exist."""
    lines, keys, key, bad = re.sub(rb'\\\r?\n[ \t]*', b'', data).replace(b'\r\n', b'\n').split(b'\n'), {}, None, 0
    for line in lines[1:] if lines[0].removeprefix(b'\xef\xbb\xbf') == b'REGEDIT4' else [b'?']:
        v = VALUE.fullmatch(b''.join(b'XX' if len(c) == 2 else c for c in chars(line)))  # no second byte is a quote
        if line.startswith(b'[') and line.endswith(b']') and not line.startswith(b'[-'):
            parts = split(fold(line[1:-1]), (b'\\',))
            key = b'\\'.join(parts)
            keys.update({b'\\'.join(parts[:k]): keys.get(b'\\'.join(parts[:k]), {}) for k in range(1, len(parts) + 1)})
        elif v and key is not None:
            d = line[v.start(2):]
            keys[key][fold(line[:v.end(1)])] = d.replace(b' ', b'').lower() if d[:3] == b'hex' else d
        elif line.strip() and not line.startswith(b';'):
            bad += 1
    return keys, bad

def snapshot(top, rel=(), skip=frozenset()):
    out = {}
    for e in os.scandir(os.path.join(top, *rel)):
        r, mode = rel + (e.name,), e.stat(follow_symlinks=False).st_mode & 0o7777
        if r in skip:
            continue
        if e.is_symlink() or not e.is_dir(follow_symlinks=False):
            out[r] = ('l', 0, os.readlink(e.path)) if e.is_symlink() else ('f', mode, hashlib.sha1(
                pathlib.Path(os.fsdecode(e.path)).read_bytes()).digest())
        else:
            out[r] = ('d', mode, b'')
            out.update(snapshot(top, r, skip))
    return out

def list_change(before, after, key):
    """What changed in the list file besides the flag KEY (set to 0, added, or added with its section)."""
    if before == after or key is None:
        return None if before == after else 'list: changed, though no flag is written for this section'
    flag = re.compile(rb'\s*%s\s*=' % re.escape(key), re.I)
    (b, fb), (a, fa) = [[[l for l in d.splitlines() if bool(flag.match(l)) == f] for f in (0, 1)] for d in (before, after)]
    ok = (a == b or a[:-1] == b and fold(a[-1].strip()) == b'[utility]') and len(fa) <= len(fb) + 1 and all(
        l in fb or re.fullmatch(rb'\s*"?0"?\s*', flag.sub(b'', l, 1)) for l in fa) and all(
        after.count(end) >= before.count(end) for end in (b'\r', b'\n'))
    return None if ok else 'list: changed beyond the %s flag' % key.decode()

def check(m, model, before, after, lists, regs, proc, elapsed, limit):
    files, dirs, keys, values = model
    fails = ['exit: code %d: %s' % (proc.returncode, proc.stderr[-400:].decode('utf-8', 'replace'))] * bool(
        proc.returncode) + ['time: took %.1f s, its pauses allow %.1f s' % (elapsed, limit)] * (elapsed > limit)
    skip = {D + (b'windows', m['listname']), (b'root', b'hklm.reg')}  # checked on their own below
    for p, info in [(p, i) for p, i in before.items() if p not in skip]:
        gone_ok = p[:2] == D and p != D and p in {'d': dirs, 'f': files}.get(info[0], files | dirs)
        if p not in after and not gone_ok:
            fails.append('removed: ' + show(p))
        elif p in after and after[p] != info and not (gone_ok and after[p][::2] == info[::2]):
            fails.append('changed: %s %r -> %r' % (show(p), info[:2], after[p][:2]))
    fails += ['created: ' + show(p) for p in after if p not in before] + [list_change(*lists, m['flag'])]
    (kb, badb), (ka, bada) = parse_reg(regs[0]), parse_reg(regs[1])
    if badb and regs[0] != regs[1] or not badb and (bada or b'cannot read' in proc.stderr):
        fails.append('registry: ' + ('a file with a line the reader cannot take was rewritten' if badb else
                                     'no longer parses, or reported unreadable'))
    for key, held in kb.items():
        fails += ['key: deleted ' + text(key)] * (key not in ka and key not in keys)
        fails += ['value: %s %s of %s' % ('changed' if n in ka[key] else 'deleted', text(n), text(key))
                  for n, d in held.items() if key in ka and (ka[key].get(n, d) != d or n not in ka[key]
                                                               and (key, n) not in values)]
    return [f for f in fails if f] + ['registry: new key or value in ' + text(k) for k in ka
                                      if k not in kb or set(ka[k]) - set(kb[k])]

def generate(seed):
    rng, folders, hot = random.Random(seed), [()], []
    def name():
        r = rng.random()
        n = (rng.choice(ASCII) if r < .45 else rng.choice(JA) if r < .78 else 'L' * rng.randint(40, 90) if r < .84
             else rng.choice(ODD) if r < .92 else rng.choice(FORBIDDEN))
        return (n.encode() if isinstance(n, str) else n) + rng.choice([b'', b'', b'', b'b', b'.txt', b' 2'])
    for _ in range(rng.randint(2, 7)):
        folders.append(rng.choice(folders) + (name(),))
    disk = [('d', x, 0) for x in folders[1:]]
    disk += [('f', rng.choice(folders[1:]) + (name(),), rng.random() < .25) for _ in range(rng.randint(2, 12))]
    disk += [('l', rng.choice(folders[1:]) + (name(),), rng.choice(['outside', 'outside/a.doc', 'nowhere',
                                                                     rng.choice(folders)])) for _ in range(rng.randint(0, 2))]
    f = rng.choice(folders[1:])
    if rng.random() < .3 and winpath(f) and len(winpath(f)) < 120:  # a path of exactly 127 characters
        disk.append(('f', f + (b'c' * (126 - len(winpath(f))),), False))
    if rng.random() < .4:  # a name that climbs out of its folder to something that is there
        e = rng.choice([x for k, x, _ in disk if k != 'l' and x[:len(f)] != f] or [()])
        n = b'\\'.join([b'..'] * (len(f) - common(f, e)) + list(e[common(f, e):]))
        hot.append(f)
        disk.append(('d' if e in folders else 'f', f + (n,), 0))
    alt = random.Random(~seed)  # a stream of its own, so the machines of older seeds stay as they were
    for _ in range(alt.choice([0, 1, 1, 2])):  # names the ANSI functions give back as others: ¥ as \, é as e, ¦ as |
        g, x = alt.choice(folders[1:]), alt.choice([x for k, x, _ in disk if k != 'l'])
        away = [x for k, x, _ in disk if k != 'l' and x[:len(g)] != g]
        for e in [alt.choice(away)] if away else []:
            n = '¥'.encode().join([b'..'] * (len(g) - common(g, e)) + list(e[common(g, e):]))
            disk.append(('d' if e in folders else 'f', g + (n,), 0))
        n = (x[-1].decode('utf-8', 'replace').translate(LOOKALIKE) + alt.choice(['', '', '¦'])).encode()
        disk += [('d' if x in folders else 'f', x[:-1] + (n,), 0)] * (n != x[-1])
    files = [winpath(x) for k, x, _ in disk if k != 'd' and winpath(x)] or [b'C:\\none.txt']
    dirs = [winpath(x) for x in folders[1:] if winpath(x)] or [b'C:\\None']
    hot = [winpath(x) for x in hot if winpath(x)] + dirs
    S = rng.choice([b'Files_Deliv'] * 4 + [b'Files_File'] * 4 + [b'FILES', b'files_deliv', b'Files_Common'])
    cwd = rng.choice([None, None, (b'windows',), rng.choice(folders[1:])])
    relative = [b'-flist.ini'], [b'-fC:list.ini']
    farg = rng.choice([[b'-fC:\\Windows\\list.ini']] * 5 + [[b'-FC:\\WINDOWS\\LIST.INI'], [b'-f\\Windows\\list.ini'], []]
                      + list(relative))
    cwd = (b'windows',) if farg in relative else cwd if cwd and None not in map(visible, cwd) else None
    here = [visible(n) for n in cwd] if cwd else None
    def mutate(p):  # the value itself, or a neighbour or near miss of it
        c, t, parent = chars(p), parse(p, None) if p[:3] == b'C:\\' else None, p.rsplit(b'\\', 1)[0]
        k = common(t, here, lambda x, y: ufold(x) == ufold(y)) if t is not None and here is not None else None
        near = [b''.join(x.swapcase() if len(x) == 1 else x for x in c), b''.join(c[:-1]), p[2:], parent,
                p + rng.choice([b'x', b'.txt', b'\\', b'.', b' 2', c[-1] * rng.randint(1, 3), b'\x81\x7f']),
                b'C:' + p[3:] if t is not None else p,
                b'\\'.join([b'..'] * (len(here) - k) + [x.encode('cp932') for x in t[k:]]) or b'.' if k is not None else p,
                p[:2] + b''.join(b'/' if x == b'\\' else x for x in c[2:]),
                parent + rng.choice([b'\\.\\', b'\\\\', b'\\x\\..\\']) + p[len(parent) + 1:],
                parent + b'\\' + bytes([rng.choice([0x81, 0x83, 0x95, 0xE0, 0xFC])]),
                p + b'\\' + b'y' * rng.randint(110, 250), rng.choice([b'"%s"', b'  %s  ', b'"%s']) % p,
                parent + rng.choice([b'\\*.*', b'\\?.txt', b'\\nothing here'])]
        return p if rng.random() < .4 else rng.choice(near)
    L = [b'; written by the installer']
    def entries(key, pool, n, i=0):  # with gaps, empty values and keys given twice
        for r in (rng.random() for _ in range(n)):
            i += r < .05
            L.append(b'%s%02d=%s' % (key, i, b'' if .05 <= r < .1 else mutate(rng.choice(pool))))
            i += not .1 <= r < .16
    shared = rng.random() < .5
    own, other = (b'FileUtility', b'DelivUtility') if S == b'Files_File' else (b'DelivUtility', b'FileUtility')
    for _ in range(1 + (rng.random() < .1)):
        L.append(rng.choice([b'[Utility]', b'[utility]']))
        for k, v in ((own, b'1' if shared else rng.choice([b'1', b'0', None, b'01', b'2', b' 1', b'"1"'])),
                     (other, b'0' if shared else rng.choice([b'1', b'0', None, b'2']))):
            L += [k + rng.choice([b'=', b'=', b' = ']) + v] if v is not None else []
    L += [b'[UnInstKey]'] + [b'UnInstKey_%s=%s' % (k, mutate(rng.choice([b'ScanDeliv', b'ScanFile', b'PaintBox'])))
                             for k in (b'File', b'Deliv') if rng.random() < .7]
    for sec in dict.fromkeys([b'Files_File', b'Files_Deliv', S]):
        L += [b'[UNINSTALL_%s]' % sec, b'PATH=' + mutate(rng.choice(hot))] if rng.random() < .8 else []
    L.append(b'[Extra_Deliv]')
    entries(b'Folder', hot, rng.choice([0, 0, 1, 1, 2]))
    for sec in [b'Files_File', b'Files_Deliv', b'Files_Common', b'Files_DLL'] + [S] * (S.lower() == b'files'):
        L.append(b'[%s]' % (sec if rng.random() < .9 else sec.upper()))
        entries(b'FILE', files, rng.randint(0, 5))
        entries(b'REGPATH', [k.encode('cp932') for k in KEYS], rng.randint(0, 3))
        L.append(b'[Path%s]' % sec[4:])
        entries(b'PATH', dirs, rng.choice([0, 0, 1, 2]))
    reg, values = [b'REGEDIT4', b''], {'@': b'@="default"', 'Language': b'"Language"="en"', 'Bin': b'"Bin"=hex:01,\\\r\n 02',
                                        'Port': b'"Port"=dword:00000001', 'Path': '"Path"="C:\\\\表"'.encode('cp932')}
    for k in KEYS:
        if rng.random() < (.85 if k.endswith('Application') else .7):
            names = ([n for n, p in (('ScannerUtility', .8), ('Other', .4), ('@', .15)) if rng.random() < p]
                     if k.endswith('Application') else rng.choice([[], ['Language'], ['Path', 'Port'], ['Bin']]))
            reg += [b'[HKEY_LOCAL_MACHINE\\%s]' % k.encode('cp932')]
            reg += [values.get(n, b'"%s"="1"' % n.encode()) for n in names] + [b'']
    bad, at = rng.choice([b'[-HKEY_LOCAL_MACHINE\\Software\\Gone]', b'this line is no registry line']), rng.random()
    if rng.random() < .25:
        reg.insert(2 + int(at * (len(reg) - 1)), bad)
    return dict(seed=seed, disk=disk, list=L, reg=reg, section=S, cwd=cwd,
                msg=rng.choice([None, None, b'ScannerUtility', b'Other', b'scannerutility', b'', b'A' * 100]),
                args=([rng.choice([b'-c', b'-C']) + S] if S != b'FILES' or rng.random() < .5 else []) + farg,
                listname=b'list.ini' if farg else b'ZADAvuz.ini', eol=rng.choice([b'\r\n', b'\r\n', b'\n']),
                flag=own if S in (b'Files_Deliv', b'Files_File') else None)

def lay_out(m, mw, program):
    write = lambda path, data, mode=0o644: (pathlib.Path(os.fsdecode(path)).write_bytes(data), os.chmod(path, mode))
    [os.makedirs(os.path.join(mw, d)) for d in (b'root/drive_c/windows', b'outside/sub', b'cwd', b'bin')]
    [write(os.path.join(mw, f), b'precious ' + f) for f in (b'outside/a.doc', b'outside/sub/b.doc')]
    for kind, t, x in m['disk']:
        p = os.path.join(mw, *D, *t)
        try:
            os.makedirs(os.path.dirname(p) if kind != 'd' else p, exist_ok=True)
            if kind == 'f' and not os.path.lexists(p):
                write(p, b'content of ' + p, 0o444 if x else 0o644)
            elif kind == 'l':
                os.symlink(os.path.relpath(os.path.join(mw, *D, *x), os.path.dirname(p)) if isinstance(x, tuple)
                           else os.path.join(mw, x.encode()), p)
        except OSError:
            pass  # a name given twice, or a folder where a file is
    write(os.path.join(mw, *D, b'windows', m['listname']), m['eol'].join(m['list']) + m['eol'])
    write(os.path.join(mw, b'root/hklm.reg'), b'\r\n'.join(m['reg']) + b'\r\n')
    os.link(program, os.path.join(mw, b'bin/uninst.bin'))
    if m['msg'] is not None:
        write(os.path.join(mw, b'bin/uninst.ini'), b'[STATIC]\r\nAPPNAMEFORDLL=%s\r\n' % m['msg'])

class Native:
    """The machine in a folder of its own, run by uninst.bin with UNINST_ROOT on it."""
    def __init__(self, opts):
        self.program = shutil.copy2(opts.uninstaller, opts.work + '/uninst.bin').encode()
    def place(self, m, mw):
        lay_out(m, mw, self.program)
    def close(self):
        pass
    def drive(self, mw):
        return os.path.join(mw, *D)
    def snapshot(self, mw):
        return snapshot(mw)
    def profile(self, data):
        return data
    def registry(self, mw):
        return open(os.path.join(mw, b'root/hklm.reg'), 'rb').read()
    def run(self, mw, args, folder, timeout):
        env = dict({k: v for k, v in os.environ.items() if k != 'DISPLAY'}, LC_ALL='C.UTF-8')
        env['UNINST_ROOT'] = mw.decode() + '/root'
        try:
            return subprocess.run([os.path.join(mw, b'bin/uninst.bin')] + args, cwd=folder, env=env, input=b'y\n',
                                  capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

class Wine:
    """The machine in the Wine prefix of tests/e2e-wine, beside Wine's own files, run by uninst.exe with the clicker
    answering. Wine's files count as the machine's, and each machine starts from them as they were. Names Windows
    cannot hold are not laid out, nor links to files or to nothing, which Wine's DeleteFileA follows where Windows
    removes the link: the native run alone checks those."""
    WORK, ROOTS = (b'windows', b'temp', b'random-machines'), [UNINSTALL[:-1].decode()] + [
        'Software\\' + n for n in ('Vantrell', 'PaintBox', 'ソフト')]
    def __init__(self, opts):
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e-wine'))
        import e2e_wine
        self.e2e, self.clicker = e2e_wine, opts.clicker
        self.wine = e2e_wine.Wine(opts.wine_run, e2e_wine.registry_view(opts.uninstaller))
        self.top, self.program = self.wine.drive_c.encode(), shutil.copy2(opts.uninstaller, opts.work).encode()
        self.backup = os.path.join(self.wine.state, 'prefix', 'drive_c.wine').encode()  # hard links, made while fresh
        if not os.path.isdir(self.backup):
            subprocess.run(['cp', '-al', self.top, self.backup], check=True)
        self.own = {tuple(os.path.relpath(os.path.join(d, n), self.backup).split(b'/'))
                    for d, ds, fs in os.walk(self.backup) for n in ds + fs}
        self.files = {r for r in self.own if stat.S_ISREG(os.lstat(os.path.join(self.backup, *r)).st_mode)}
    def close(self):  # back to Wine's own files, for the next machine and the tests after these
        prune(self.top, lambda p: tuple(os.path.relpath(p, self.top).split(b'/')) not in self.own)
        subprocess.run(['cp', '-aln', self.backup + b'/.', self.top], check=True)
    def place(self, m, mw):
        self.close()
        lay_out(m, mw, self.program)
        left_out = lambda p: not holds(os.path.basename(p)) or os.path.islink(p) and not os.path.isdir(p)
        prune(os.path.join(mw, *D), left_out)
        shutil.copytree(os.path.join(mw, *D), self.top, symlinks=True, dirs_exist_ok=True)
        shutil.rmtree(os.path.join(mw, b'root'))
        os.rename(os.path.join(mw, b'bin/uninst.bin'), os.path.join(mw, b'bin/uninst.exe'))
        lines = [b'[-HKEY_LOCAL_MACHINE\\%s]' % k.encode('cp932') for k in self.ROOTS[1:] + KEYS[:4]]
        pathlib.Path(os.fsdecode(mw) + '/import.reg').write_bytes(b'\r\n'.join(
            m['reg'][:2] + lines + [l for l in m['reg'][2:] if l != b'this line is no registry line']) + b'\r\n')
        result = self.wine.reg('import', 'Z:' + os.fsdecode(mw).replace('/', '\\') + '\\import.reg')
        assert result.returncode == 0, result.stderr
    def drive(self, mw):
        return self.top
    def profile(self, data):
        """The list file as Wine's profile functions write it back: a double-byte character code page 932 lacks read as
        '・', blanks around a key and its value and blank lines gone, lines ending in CR LF."""
        def char(c):
            try:
                return c.decode('cp932').encode('cp932')
            except UnicodeError:
                return '・'.encode('cp932')
        def entry(line):
            k, eq, v = line.strip(b' \t').partition(b'=')
            return k.rstrip(b' \t') + eq + v.lstrip(b' \t') if k[:1] not in (b';', b'[') else line.strip(b' \t')
        lines = map(entry, re.split(rb'\r\n|\r|\n', b''.join(map(char, chars(data)))))
        return b''.join(l + b'\r\n' for l in lines if l)
    def snapshot(self, mw):  # Wine's own files by inode, size and time: hashing over a gigabyte each time is slow
        out = {D + k: v for k, v in snapshot(self.top, skip=self.files).items() if k[:3] != self.WORK}
        for r in self.files:
            s = os.lstat(os.path.join(self.top, *r)) if os.path.lexists(os.path.join(self.top, *r)) else None
            out.update({D + r: ('f', s.st_mode & 0o7777, (s.st_ino, s.st_size, s.st_mtime_ns))} if s else {})
        return {**out, **snapshot(mw)}
    def registry(self, mw):
        """The keys the machine's registry touches, as a REGEDIT4 file of code page 932."""
        out = [os.fsdecode(mw) + '/export%d.reg' % i for i in range(len(self.ROOTS))]
        [os.remove(o) for o in out if os.path.exists(o)]
        self.wine.run('cmd', '/c', ' & '.join('reg export HKLM\\%s Z:%s /y /reg:%s' % (
            k, o.replace('/', '\\'), self.wine.view) for k, o in zip(self.ROOTS, out)))
        return b'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n' + b''.join(
            pathlib.Path(o).read_bytes().decode('utf-16').split('\n', 1)[1].encode('cp932') for o in out
            if os.path.exists(o))
    def run(self, mw, args, folder, timeout):
        work = self.wine.unix('C:\\' + b'\\'.join(self.WORK).decode())
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        inst = types.SimpleNamespace(exe=os.fsdecode(mw) + '/bin/uninst.exe', clicker_log='C:\\%s\\clicker.log' % (
            b'\\'.join(self.WORK).decode()))
        try:
            run = self.e2e.run_uninstaller(self.wine, inst, [a.decode('cp932') for a in args], ['yes'], self.clicker,
                                           timeout=timeout, cwd=folder)
        except self.e2e.CheckFailed:
            return None
        return types.SimpleNamespace(returncode=run.exit_code, stderr=repr(run.dialogs()).encode())

def prune(top, drop):  # removes, from the bottom up, what below top drop(path) picks
    for d, ds, fs in os.walk(top, topdown=False):
        for p in [os.path.join(d, n) for n in ds + fs if drop(os.path.join(d, n))]:
            os.remove(p) if os.path.islink(p) or not os.path.isdir(p) else shutil.rmtree(p)

def holds(name):  # a name a Windows folder can hold
    try:
        return not re.search('[<>:"/\\\\|?*\0-\x1f]', name.decode())
    except UnicodeError:
        return False

def trial(m, opts):
    """Lays the machine out and runs the program on it twice: the failures of the first run that fails."""
    host, mw = opts.host, tempfile.mkdtemp(prefix='machine-', dir=opts.work).encode()
    try:
        host.place(m, mw)
        cwd, listp, regs = m['cwd'], os.path.join(host.drive(mw), b'windows', m['listname']), [host.registry(mw)]
        for run in (1, 2):
            folder = os.path.join(host.drive(mw), *cwd) if cwd is not None else os.path.join(mw, b'cwd')
            if not os.path.isdir(folder):  # the first run removed it: go on from C:\
                cwd, folder = (), host.drive(mw)
            before, lists, regs = host.snapshot(mw), [open(listp, 'rb').read()], regs[-1:]
            model = allowed(m, cwd and [visible(n) for n in cwd], before, lists[0], parse_reg(regs[0]))
            pauses = [l.split(b'=', 1) for l in lists[0].lower().splitlines() if re.match(rb'\s*(folder|path)\d*\s*=', l)]
            limit = opts.slack + sum(5.5 if b'folder' in k else 0.4 * (v.count(b'\\') + 2) for k, v in pauses)
            start = time.monotonic()  # pauses: up to 5.5 s per extra folder, 200 ms per folder a PATH entry tries
            proc = host.run(mw, m['args'], folder, limit + 30)
            if proc is None:
                return ['run %d: time: still running after %.0f s' % (run, limit + 30)]
            elapsed, after = time.monotonic() - start, host.snapshot(mw)
            lists.append(open(listp, 'rb').read() if os.path.exists(listp) else b'')
            regs.append(host.registry(mw))
            fails = check(m, model, before, after, [*map(host.profile, lists)], regs, proc, elapsed, limit)
            if fails:
                return ['run %d: %s' % (run, f) for f in fails]
        return []
    finally:
        shutil.rmtree(mw, ignore_errors=True)

def shrink(m, fails, opts):
    """Drops list lines, registry lines and machine entries while the first failure stays of its kind."""
    kind, deadline = fails[0].split(':')[:2], time.monotonic() + opts.shrink_seconds
    with concurrent.futures.ThreadPoolExecutor(min(8, opts.jobs)) as pool:
        for field in ('list', 'reg', 'disk'):
            chunk, first = max(1, len(m[field]) // 2), 2 if field == 'reg' else 0
            while chunk and time.monotonic() < deadline:
                smaller = [dict(m, **{field: m[field][:i] + m[field][i + chunk:]})
                           for i in range(first, len(m[field]), chunk)]
                hit = next(((s, f) for s, f in zip(smaller, pool.map(lambda s: trial(s, opts), smaller))
                            if f and f[0].split(':')[:2] == kind), None)
                m, fails, chunk = (*hit, chunk) if hit else (m, fails, chunk // 2)
    return m, fails

def describe(m, fails):
    where = winpath(m['cwd']).decode('cp932') if m['cwd'] else 'outside the machine'
    return '\n    '.join(['FAIL seed %d:' % m['seed']] + fails[:8] + [
        'shrunk machine, run from %s: uninst.bin %s' % (where, b' '.join(m['args']).decode())] + [
        'disk %s %s%s' % (k, show((b'',) + t), ' -> %s' % (show((b'',) + x) if isinstance(x, tuple) else x)
                          if k == 'l' else ' (read-only)' * bool(x)) for k, t, x in m['disk']] + [
        'list ' + text(l) for l in m['list']] + ['hklm ' + text(l) for l in m['reg'][2:]] + [
        'message file: %s' % ('none' if m['msg'] is None else 'APPNAMEFORDLL=' + text(m['msg']))])

def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('uninstaller')
    for option, kind, default in (('seeds', str, '1-40'), ('minutes', float, 0), ('jobs', int, 16), ('slack', float, 10),
                                  ('first', int, random.SystemRandom().randrange(10**9)), ('shrink-seconds', float, 60),
                                  ('wine-run', str, None), ('clicker', str, None)):
        ap.add_argument('--' + option, type=kind, default=default)
    opts = ap.parse_args()
    opts.jobs = 1 if opts.wine_run else opts.jobs  # one prefix, one desktop
    start, lock, counts = time.monotonic(), threading.Lock(), collections.Counter()
    seeds = [n for part in opts.seeds.split(',') for a, _, b in [part.partition('-')]
             for n in range(int(a), int(b or a) + 1)]
    batches = (range(n, n + 4 * opts.jobs) for n in itertools.count(opts.first, 4 * opts.jobs))
    print('seeds from %d for %g minutes' % (opts.first, opts.minutes) if opts.minutes else 'seeds ' + opts.seeds)
    opts.work = tempfile.mkdtemp(prefix='uninst-random-', dir=opts.wine_run and os.environ.get('UNINST_WINE_STATE'))
    opts.host = (Wine if opts.wine_run else Native)(opts)
    def one(seed):
        m = generate(seed)
        m, fails = shrink(m, fails, opts) if (fails := trial(m, opts)) else (m, fails)
        with lock:
            counts.update(machines=1, failed=int(bool(fails)))
            print(describe(m, fails) if fails else '', end='\n' * bool(fails), flush=True)
    try:
        with concurrent.futures.ThreadPoolExecutor(opts.jobs) as pool:
            for batch in itertools.takewhile(lambda _: time.monotonic() < start + 60 * opts.minutes, batches) \
                    if opts.minutes else [seeds]:
                list(pool.map(one, batch))
    finally:
        opts.host.close()
        shutil.rmtree(opts.work, ignore_errors=True)
    print('%d machines, %d failed, %.0f s' % (counts['machines'], counts['failed'], time.monotonic() - start))
    return 1 if counts['failed'] else 0

if __name__ == '__main__':
    sys.exit(main())
