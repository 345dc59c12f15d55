#!/usr/bin/env python3
"""End-to-end tests of the Windows uninstaller under Wine and Xvfb.

Each scenario installs a fake delivery utility (and a file utility beside it) into the test
prefix's drive C and registry, runs uninst.exe the way its installer would, lets clicker.exe
answer the dialogs, and then compares the whole end state with what is expected: every file
and folder of the installation, the registry keys and values, the list file's bytes, the
dialogs seen in order with their texts, and the exit code.

Run by CTest in the win64 and win32 builds (see CMakeLists.txt) with UNINST_WINE_STATE naming
the folder that wine-setup prepared; `run-all` runs every scenario outside CTest. The prefix is
64-bit: the 32-bit program runs in it as on 64-bit Windows and sees the registry's 32-bit view,
so the installation's keys go into the view of the program under test.
"""

import argparse
import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

DEFAULT_CAPTION = 'Uninstaller'
DEFAULT_HEADING = 'Uninstall Programs.'
DEFAULT_QUESTION = 'Are you Sure ?'
DEFAULT_CLOSE_TEXT = 'Terminate the program before uninstall the software.'
DEFAULT_COMPLETE_CAPTION = 'Complete'
DEFAULT_COMPLETE_TEXT = 'Uninstall is Complete'

UNINSTALL_KEY = r'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
VENDOR_KEY = r'HKEY_LOCAL_MACHINE\Software\Vantrell'

SCREEN_WIDTH = 1024  # of the Xvfb screen (wine-setup): every message box must fit on it

# Seconds from the progress dialog's appearance to its screenshot.
PROGRESS_SHOT_DELAY = 0.9

# The prefix stands for a Japanese Windows (wine-setup): list and message files, and the texts
# the clicker reads, are in its ANSI code page, 932.
CODE_PAGE = 'cp932'


class CheckFailed(Exception):
    def __init__(self, category, detail):
        super().__init__(f'CHECK FAILED [{category}]: {detail}')
        self.category = category


TRACE_START = time.monotonic()


def trace(what):
    """Progress notes with the time since the start, on standard error."""
    print(f'[{time.monotonic() - TRACE_START:6.2f} s] {what}', file=sys.stderr, flush=True)


def check(condition, category, detail):
    if not condition:
        raise CheckFailed(category, detail)


# ---- Wine ----------------------------------------------------------------------------------

def registry_view(exe):
    """'32' or '64': the registry view a program sees, from the machine type of its PE header."""
    with open(exe, 'rb') as f:
        header = f.read(4096)
    offset = int.from_bytes(header[0x3c:0x40], 'little')
    machine = int.from_bytes(header[offset + 4:offset + 6], 'little')
    views = {0x14c: '32', 0x8664: '64'}
    check(header[:2] == b'MZ' and machine in views, 'setup', f'{exe}: not an x86 or x64 program')
    return views[machine]


class Wine:
    def __init__(self, wine_run, view):
        self.wine_run = wine_run
        # Where reg.exe reads and writes unless told otherwise. Named on every call: which
        # reg.exe Wine starts (32- or 64-bit) depends on the Wine installed.
        self.view = view
        self.state = os.environ.get('UNINST_WINE_STATE')
        if not self.state:
            sys.exit('UNINST_WINE_STATE is not set: run wine-setup first (CTest does)')
        self.drive_c = os.path.join(self.state, 'prefix', 'drive_c')
        with open(os.path.join(self.state, 'display')) as f:
            self.display = f.read().strip()

    def unix(self, windows_path):
        """The Unix path of a path on drive C."""
        assert windows_path[:3].upper() == 'C:\\', windows_path
        return os.path.join(self.drive_c, *windows_path[3:].split('\\'))

    def run(self, *args, timeout=60):
        return subprocess.run([self.wine_run, *args], capture_output=True, timeout=timeout)

    def popen(self, *args, cwd=None):
        return subprocess.Popen([self.wine_run, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd)

    def reg(self, *args, view=None):
        return self.run('reg', *args, '/reg:' + (view or self.view))

    def reg_import(self, text, windows_path, view=None):
        path = self.unix(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w', newline='\r\n') as f:
            f.write(text)
        result = self.reg('import', windows_path, view=view)
        check(result.returncode == 0, 'setup', f'reg import failed: {result.stderr!r}')

    def reg_delete(self, key, view=None):
        self.reg('delete', key, '/f', view=view)  # a missing key is fine

    def reg_export(self, key, windows_path, view):
        """The bytes of reg.exe's export of `key` and all below it; b'' when the key does not exist."""
        result = self.reg('export', key, windows_path, '/y', view=view)
        if result.returncode != 0:
            return b''
        with open(self.unix(windows_path), 'rb') as f:
            return f.read()

    def reg_tree(self, key, view=None):
        """Every key below and including `key`, with its values: {key: {name: data}}, lower-cased
        key paths; empty when the key does not exist."""
        result = self.reg('query', key, '/s', view=view)
        if result.returncode != 0:
            return {}
        tree = {}
        current = None
        for raw in result.stdout.decode(CODE_PAGE, 'replace').splitlines():
            line = raw.rstrip()
            if not line:
                continue
            if line.upper().startswith('HKEY_'):
                current = line.lower()
                tree[current] = {}
            elif current is not None and line.startswith('    '):
                parts = line.strip().split('    ')
                name = parts[0]
                data = parts[2] if len(parts) > 2 else ''
                tree[current][name] = data
        return tree

    def screenshot(self, target, rect=None, margin=24):
        os.makedirs(os.path.dirname(target), exist_ok=True)
        full = target + '.full.png'
        subprocess.run(['import', '-display', self.display, '-window', 'root', full], check=True,
                       capture_output=True, timeout=30)
        if rect is None:
            os.replace(full, target)
            return
        x, y, w, h = rect
        x0, y0 = max(0, x - margin), max(0, y - margin)
        geometry = f'{w + 2 * margin}x{h + 2 * margin}+{x0}+{y0}'
        subprocess.run(['convert', full, '-crop', geometry, '+repage', target], check=True,
                       capture_output=True, timeout=30)
        os.remove(full)


# ---- The installation ----------------------------------------------------------------------

class Installation:
    """A delivery utility, a file utility and the shared parts, installed below C:\\e2e\\<name>."""

    def __init__(self, wine, name):
        self.wine = wine
        self.base = 'C:\\e2e\\' + name
        self.work = 'C:\\e2e-work\\' + name
        self.root = wine.unix(self.base)
        self.list_file = self.base + '\\list.ini'
        self.exe = self.base + '\\Uninst\\uninst.exe'
        self.message_file = self.base + '\\Uninst\\uninst.ini'
        self.clicker_log = self.work + '\\clicker.log'

    def p(self, relative):
        return self.base + '\\' + relative

    # Files of the installation, relative to the base folder. Read-only ones are marked.
    FILES = {
        'Program Files\\Vantrell\\Deliv\\deliv.exe': b'MZ delivery utility',
        'Program Files\\Vantrell\\Deliv\\deliv.hlp': b'help',
        'Program Files\\Vantrell\\Deliv\\readme.txt': b'read me',
        'Program Files\\Vantrell\\Deliv\\Lang\\deliv_ja.dll': b'MZ language',
        'Program Files\\Vantrell\\Deliv\\Help\\deliv.chm': b'help',
        'Program Files\\Vantrell\\Deliv\\Samples\\Mail\\sample.eml': b'From: e2e',
        'Program Files\\Vantrell\\FileUtil\\fileutil.exe': b'MZ file utility',
        'Program Files\\Vantrell\\Common\\common.dll': b'MZ common',
        'Program Files\\Vantrell\\Common\\Fonts\\vantrell.fon': b'font',
        'Windows\\System32\\duzore32.dll': b'MZ shared component',
        'Windows\\System32\\duzore32.ini': b'[DUZORE32]\r\n',
        'Deliv Data\\Outbox\\mail1.eml': b'From: one',
        'Deliv Data\\Outbox\\mail2.eml': b'From: two',
    }
    READ_ONLY = {'Program Files\\Vantrell\\Deliv\\readme.txt', 'Deliv Data\\Outbox\\mail2.eml'}
    EMPTY_FOLDERS = ['Program Files\\Vantrell\\FileUtil\\Empty']

    def list_text(self):
        # (section, [(key, value)]): paths given relative to the base folder start with '~'.
        sections = [
            ('Utility', [('FileUtility', '0'), ('DelivUtility', '1')]),
            ('UnInstKey', [('UnInstKey_File', 'E2eFileUtility'), ('UnInstKey_Deliv', 'E2eDeliveryUtility')]),
            ('UNINSTALL_Files_File', [('PATH', '~Program Files\\Vantrell\\FileUtil')]),
            ('UNINSTALL_Files_Deliv', [('PATH', '~Program Files\\Vantrell\\Deliv')]),
            ('Extra_Deliv', [('Folder00', '~Deliv Data\\Outbox')]),
            ('Files_File', [('FILE00', '~Program Files\\Vantrell\\FileUtil\\fileutil.exe'),
                            ('REGPATH00', 'Software\\Vantrell\\ScanFileUtil')]),
            ('Paths_File', [('PATH00', '~Program Files\\Vantrell\\FileUtil')]),
            ('Files_Deliv', [('FILE00', '~Program Files\\Vantrell\\Deliv\\deliv.exe'),
                             ('FILE01', '~Program Files\\Vantrell\\Deliv\\deliv.hlp'),
                             ('FILE02', '~Program Files\\Vantrell\\Deliv\\readme.txt'),
                             ('FILE03', '~Program Files\\Vantrell\\Deliv\\Lang\\deliv_ja.dll'),
                             ('FILE04', '~Program Files\\Vantrell\\Deliv\\Help\\deliv.chm'),
                             ('FILE05', '~Program Files\\Vantrell\\Deliv\\Samples\\Mail\\sample.eml'),
                             ('REGPATH00', 'Software\\Vantrell\\MailConfig\\Settings'),
                             ('REGPATH01', 'Software\\Vantrell\\MailConfig')]),
            ('Paths_Deliv', [('PATH00', '~Program Files\\Vantrell\\Deliv\\Lang'),
                             ('PATH01', '~Program Files\\Vantrell\\Deliv\\Help'),
                             ('PATH02', '~Program Files\\Vantrell\\Deliv\\Samples\\Mail')]),
            ('Files_Common', [('FILE00', '~Program Files\\Vantrell\\Common\\common.dll'),
                              ('FILE01', '~Program Files\\Vantrell\\Common\\Fonts\\vantrell.fon')]),
            ('Paths_Common', [('PATH00', '~Program Files\\Vantrell\\Common\\Fonts')]),
            ('Files_DLL', [('FILE00', '~Windows\\System32\\duzore32.dll'),
                           ('FILE01', '~Windows\\System32\\duzore32.ini')]),
        ]
        blocks = []
        for name, entries in sections:
            lines = ['[' + name + ']']
            for key, value in entries:
                lines.append(key + '=' + (self.p(value[1:]) if value.startswith('~') else value))
            blocks.append('\r\n'.join(lines) + '\r\n')
        # No blank lines between sections: Wine's profile writer drops them when it rewrites
        # the file, and the check compares the list file byte for byte.
        return ''.join(blocks)

    def registry_text(self, applications):
        values = ''.join(f'"{name}"="1"\r\n' for name in applications)
        return (
            'REGEDIT4\r\n\r\n'
            f'[{UNINSTALL_KEY}\\E2eDeliveryUtility]\r\n"DisplayName"="Delivery utility"\r\n\r\n'
            f'[{UNINSTALL_KEY}\\E2eFileUtility]\r\n"DisplayName"="File utility"\r\n\r\n'
            f'[{VENDOR_KEY}\\MailConfig]\r\n"Version"="1.0"\r\n\r\n'
            f'[{VENDOR_KEY}\\MailConfig\\Settings]\r\n"Server"="mail.example"\r\n\r\n'
            f'[{VENDOR_KEY}\\ScanFileUtil]\r\n"Version"="1.0"\r\n\r\n'
            f'[{VENDOR_KEY}\\DUZORE32]\r\n"Version"="3.2"\r\n\r\n'
            f'[{VENDOR_KEY}\\DUZORE32\\Application]\r\n{values}\r\n'
        )

    def install(self, exe, applications=('ScannerUtility',), message_file=None, view=None):
        for folder in (self.root, self.wine.unix(self.work)):
            if os.path.exists(folder):
                for parent, dirs, files in os.walk(folder):
                    for name in dirs + files:
                        os.chmod(os.path.join(parent, name), 0o755)
                shutil.rmtree(folder)
        os.makedirs(self.wine.unix(self.work))
        for relative, data in self.FILES.items():
            path = self.wine.unix(self.p(relative))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'wb') as f:
                f.write(data)
        for relative in self.EMPTY_FOLDERS:
            os.makedirs(self.wine.unix(self.p(relative)), exist_ok=True)
        with open(self.wine.unix(self.list_file), 'wb') as f:
            f.write(self.list_text().encode(CODE_PAGE))
        os.makedirs(self.wine.unix(self.base + '\\Uninst'))
        shutil.copy(exe, self.wine.unix(self.exe))
        if message_file is not None:
            with open(self.wine.unix(self.message_file), 'wb') as f:
                f.write(message_file.encode(CODE_PAGE))
        # Read-only last, once everything is written. Wine maps the Windows read-only
        # attribute to the Unix write bits.
        for relative in self.READ_ONLY:
            path = self.wine.unix(self.p(relative))
            os.chmod(path, os.stat(path).st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
        self.register(self.registry_text(applications), view)

    KEYS = (VENDOR_KEY, UNINSTALL_KEY + '\\E2eDeliveryUtility', UNINSTALL_KEY + '\\E2eFileUtility')

    def register(self, text, view=None):
        """The installation's keys in one registry view, as `text` gives them, and nothing else there."""
        for key in self.KEYS:
            self.wine.reg_delete(key, view)
        self.wine.reg_import(text, self.work + '\\install.reg', view)

    def registry_export(self, view):
        return [self.wine.reg_export(key, self.work + '\\export.reg', view) for key in self.KEYS]

    # -- the end state --

    def files(self):
        """Every file and folder below the base folder: {relative path: bytes digest or 'folder'}."""
        found = {}
        for parent, dirs, files in os.walk(self.root):
            for name in dirs:
                found[os.path.relpath(os.path.join(parent, name), self.root).replace('/', '\\')] = 'folder'
            for name in files:
                path = os.path.join(parent, name)
                with open(path, 'rb') as f:
                    digest = hashlib.sha256(f.read()).hexdigest()[:16]
                found[os.path.relpath(path, self.root).replace('/', '\\')] = digest
        return found

    def registry(self, view=None):
        tree = self.wine.reg_tree(VENDOR_KEY, view)
        for name in ('E2eDeliveryUtility', 'E2eFileUtility'):
            tree.update(self.wine.reg_tree(UNINSTALL_KEY + '\\' + name, view))
        return tree

    def list_bytes(self):
        with open(self.wine.unix(self.list_file), 'rb') as f:
            return f.read()

    def snapshot(self):
        return {'files': self.files(), 'registry': self.registry(), 'list': self.list_bytes()}


# ---- Running the uninstaller ---------------------------------------------------------------

class Run:
    def __init__(self, exit_code, events):
        self.exit_code = exit_code
        self.events = events

    def dialogs(self):
        """The dialogs seen, in order: ('box', caption, text, buttons) or ('progress',)."""
        seen = []
        for event in self.events:
            if event[0] == 'box':
                seen.append(('box', event[1], event[2], event[3]))
            elif event[0] == 'progress':
                seen.append(('progress',))
        return seen


def unescape(raw):
    """The clicker escapes byte by byte, a trail byte of 0x5C (the second byte of 表) included,
    so the escapes are undone on the bytes before they are decoded."""
    out, i = bytearray(), 0
    while i < len(raw):
        if raw[i] == 0x5C and i + 1 < len(raw):
            following = raw[i + 1:i + 2]
            out += {b'n': b'\n', b'r': b'\r', b't': b'\t'}.get(following, following)
            i += 2
        else:
            out.append(raw[i])
            i += 1
    return out.decode(CODE_PAGE, 'replace')


def parse_event(line):
    fields = line.split(b'\t')
    kind = fields[0].decode(CODE_PAGE, 'replace')
    if kind == 'box':
        rect = tuple(int(v) for v in fields[4].split(b',')) if len(fields) > 4 else None
        return ('box', unescape(fields[1]), unescape(fields[2]), fields[3].decode(CODE_PAGE), rect)
    if kind == 'progress':
        rect = tuple(int(v) for v in fields[2].split(b',')) if len(fields) > 2 else None
        return ('progress', unescape(fields[1]), rect)
    return tuple(field.decode(CODE_PAGE, 'replace') for field in fields)


def run_uninstaller(wine, installation, arguments, answers, clicker, screenshots=None, timeout=60, lock=None,
                    cwd=None):
    log_path = wine.unix(installation.clicker_log)
    hold = ['--hold'] if screenshots else []
    hold += ['--lock', lock] if lock else []
    clicker_process = wine.popen(clicker, *hold, installation.clicker_log, *answers)
    for _ in range(300 if lock else 0):  # a run without a prompt to wait at would not wait for the lock
        if os.path.exists(log_path) and b'locked' in open(log_path, 'rb').read():
            break
        time.sleep(0.05)
    uninstaller = wine.popen(installation.exe, *arguments, cwd=cwd)
    trace('uninstaller started')
    events, boxes, offset = [], 0, 0
    deadline = time.monotonic() + timeout
    shots = {1: 'prompt', 2: 'complete'}
    try:
        while True:
            finished = uninstaller.poll() is not None
            if os.path.exists(log_path):
                with open(log_path, 'rb') as f:
                    f.seek(offset)
                    chunk = f.read()
                complete = chunk[:chunk.rfind(b'\n') + 1]
                offset += len(complete)
                for line in complete.splitlines():
                    event = parse_event(line)
                    events.append(event)
                    trace(f'event {event[:2]}')
                    if event[0] == 'box':
                        boxes += 1
                        if screenshots:
                            if boxes in shots:
                                wine.screenshot(os.path.join(screenshots, shots[boxes] + '.png'), event[4])
                            open(log_path + '.ack%d' % boxes, 'wb').close()
                    elif event[0] == 'progress' and screenshots:
                        # The run first empties the extra folder (half a second, bar still
                        # empty); a little later the bar is on its way.
                        time.sleep(PROGRESS_SHOT_DELAY)
                        wine.screenshot(os.path.join(screenshots, 'progress.png'), event[2])
            if finished:
                trace(f'uninstaller ended with {uninstaller.returncode}')
                break
            if time.monotonic() > deadline:
                uninstaller.kill()
                raise CheckFailed('exit code', f'the uninstaller did not end within {timeout} s; events {events}')
            time.sleep(0.03)
    finally:
        open(log_path + '.stop', 'wb').close()
        try:
            clicker_process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            clicker_process.kill()
        trace('clicker ended')
    return Run(uninstaller.returncode, events)


# ---- Expectations --------------------------------------------------------------------------

def prompt(caption=DEFAULT_CAPTION, heading=DEFAULT_HEADING, question=DEFAULT_QUESTION):
    return ('box', caption, heading + '\n' + question, 'yes,no')


def message(caption, text):
    return ('box', caption, text, 'ok')


def expect_on_screen(run):
    for box in [event for event in run.events if event[0] == 'box']:
        check(0 <= box[4][0] and box[4][0] + box[4][2] <= SCREEN_WIDTH, 'dialogs', f'a box off the screen: {box}')


def expect_dialogs(run, expected):
    expect_on_screen(run)
    actual = run.dialogs()
    check(actual == expected, 'dialogs', f'\n  expected {expected}\n  seen     {actual}')


def expect_exit_code(run, expected):
    check(run.exit_code == expected, 'exit code', f'expected {expected}, got {run.exit_code}')


def expect_files(before, after, removed):
    """Everything in `removed` is gone; every other file and folder is still there, unchanged
    (the list file aside, which is checked byte for byte on its own)."""
    expected = {path: digest for path, digest in before.items() if path not in removed and path != 'list.ini'}
    actual = {path: digest for path, digest in after.items() if path != 'list.ini'}
    left_behind = sorted(set(actual) & set(removed))
    check(not left_behind, 'files', f'left behind: {left_behind}')
    missing = sorted(set(expected) - set(actual))
    check(not missing, 'files', f'removed but not listed for removal: {missing}')
    changed = sorted(p for p in expected if p in actual and expected[p] != actual[p])
    check(not changed, 'files', f'changed: {changed}')
    extra = sorted(set(actual) - set(expected))
    check(not extra, 'files', f'appeared: {extra}')


def expect_registry(before, after, removed_keys=(), removed_values=()):
    """The keys in `removed_keys` (and everything below them) and the (key, value) pairs in
    `removed_values` are gone; every other key and value is as before."""
    removed_keys = [k.lower() for k in removed_keys]
    expected = {}
    for key, values in before.items():
        if any(key == r or key.startswith(r + '\\') for r in removed_keys):
            continue
        expected[key] = {n: d for n, d in values.items()
                         if (key, n) not in {(k.lower(), v) for k, v in removed_values}}
    check(after == expected, 'registry', f'\n  expected {expected}\n  found    {after}')


def expect_list(before, after, own_key=None):
    if own_key is None:
        check(after == before, 'list file', f'changed:\n{after!r}')
        return
    wanted = before.replace(own_key.encode() + b'=1\r\n', own_key.encode() + b'=0\r\n')
    check(wanted != before, 'list file', f'{own_key}=1 not in the list file before the run')
    check(after == wanted, 'list file', f'\n  expected {wanted!r}\n  found    {after!r}')


def expect_unchanged(before, after):
    """Files, registry and list file exactly as they were before the run."""
    expect_files(before['files'], after['files'], [])
    expect_registry(before['registry'], after['registry'])
    expect_list(before['list'], after['list'])


# Removed by a complete uninstall of the delivery utility, shared parts included.
DELIVERY_FILES = [
    'Program Files\\Vantrell\\Deliv',
    'Program Files\\Vantrell\\Deliv\\deliv.exe',
    'Program Files\\Vantrell\\Deliv\\deliv.hlp',
    'Program Files\\Vantrell\\Deliv\\readme.txt',
    'Program Files\\Vantrell\\Deliv\\Lang',
    'Program Files\\Vantrell\\Deliv\\Lang\\deliv_ja.dll',
    'Program Files\\Vantrell\\Deliv\\Help',
    'Program Files\\Vantrell\\Deliv\\Help\\deliv.chm',
    'Program Files\\Vantrell\\Deliv\\Samples',
    'Program Files\\Vantrell\\Deliv\\Samples\\Mail',
    'Program Files\\Vantrell\\Deliv\\Samples\\Mail\\sample.eml',
    'Deliv Data\\Outbox',
    'Deliv Data\\Outbox\\mail1.eml',
    'Deliv Data\\Outbox\\mail2.eml',
]
COMMON_FILES = [
    'Program Files\\Vantrell\\Common',
    'Program Files\\Vantrell\\Common\\common.dll',
    'Program Files\\Vantrell\\Common\\Fonts',
    'Program Files\\Vantrell\\Common\\Fonts\\vantrell.fon',
]
COMPONENT_FILES = [
    'Windows\\System32\\duzore32.dll',
    'Windows\\System32\\duzore32.ini',
]
DELIVERY_KEYS = [UNINSTALL_KEY + '\\E2eDeliveryUtility', VENDOR_KEY + '\\MailConfig']
COMPONENT_KEYS = [VENDOR_KEY + '\\DUZORE32']

CUSTOM_MESSAGES = (
    '[TITLE]\r\n'
    'DIALOG=Delivery Remover\r\n'
    'MSGBOX=All Done\r\n'
    '\r\n'
    '[STATIC]\r\n'
    'DIALOG00_F=Remove the file utility.\r\n'
    'DIALOG00_D=Remove the delivery utility and its mail folders.\r\n'
    'DIALOG01=Go ahead?\r\n'
    'MSGBOX00=The delivery utility is gone.\r\n'
    'CLOSEMON_F=Close the file utility first.\r\n'
    'CLOSEMON_D=Close the delivery utility first.\r\n'
    'WINNAME_D=E2eMailWindow\r\n'
    'APPNAMEFORDLL=E2eDelivery\r\n'
)


# ---- Scenarios -----------------------------------------------------------------------------

def delivery_arguments(installation):
    return ['-cFiles_Deliv', '-f' + installation.list_file]


def scenario_road(wine, options, sabotage):
    """The delivery utility's uninstall from prompt to completion: its files, folders and keys,
    the files both applications share and the shared component go; the flag is cleared."""
    inst = Installation(wine, 'road')
    inst.install(options.exe)
    before = inst.snapshot()
    run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker,
                          screenshots=options.screenshots)
    after = inst.snapshot()

    question = 'Are you sure?' if sabotage == 'text' else DEFAULT_QUESTION
    removed = DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES
    if sabotage == 'leftover':
        removed = removed + ['Program Files\\Vantrell\\FileUtil\\fileutil.exe']
    expect_exit_code(run, 1 if sabotage == 'exit_code' else 0)
    expect_dialogs(run, [prompt(question=question), ('progress',),
                         message(DEFAULT_COMPLETE_CAPTION, DEFAULT_COMPLETE_TEXT)])
    expect_files(before['files'], after['files'], removed)
    expect_registry(before['registry'], after['registry'], DELIVERY_KEYS + COMPONENT_KEYS)
    expect_list(before['list'], after['list'], 'DelivUtility')


def scenario_answer_no(wine, options, sabotage):
    """No to the prompt: nothing changes and no other dialog follows."""
    inst = Installation(wine, 'answer_no')
    inst.install(options.exe)
    before = inst.snapshot()
    run = run_uninstaller(wine, inst, delivery_arguments(inst), ['no'], options.clicker)
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [prompt()])
    expect_unchanged(before, after)


def scenario_held_file(wine, options, sabotage):
    """A listed file held open without delete sharing stays, with its folder, and is named.
    With --screenshots the completion message is kept as leftovers.png."""
    inst = Installation(wine, 'held_file')
    inst.install(options.exe)
    before = inst.snapshot()
    held = 'Program Files\\Vantrell\\Deliv\\deliv.hlp'
    with tempfile.TemporaryDirectory() as shots:
        run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker,
                              screenshots=shots if options.screenshots else None, lock=inst.p(held))
        if options.screenshots:
            os.makedirs(options.screenshots, exist_ok=True)
            shutil.copy(os.path.join(shots, 'complete.png'), os.path.join(options.screenshots, 'leftovers.png'))
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [prompt(), ('progress',),
                         message(DEFAULT_COMPLETE_CAPTION, 'Some items could not be removed:\n' +
                                 inst.p('Program Files\\Vantrell\\\n    Deliv\\deliv.hlp'))])
    expect_files(before['files'], after['files'], [path for path in DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES
                                                   if path not in (held, 'Program Files\\Vantrell\\Deliv')])
    expect_registry(before['registry'], after['registry'], DELIVERY_KEYS + COMPONENT_KEYS)
    expect_list(before['list'], after['list'], 'DelivUtility')


def scenario_long_leftover(wine, options, sabotage):
    """A kept uninstall entry of 255 characters, the most a key name holds: named whole, on screen."""
    inst = Installation(wine, 'long_leftover')
    inst.install(options.exe)
    name = 'W' * 255
    wine.reg_import(f'REGEDIT4\r\n\r\n[{UNINSTALL_KEY}\\{name}\\Keep]\r\n\r\n', inst.work + '\\long.reg')
    with open(wine.unix(inst.list_file), 'wb') as f:
        f.write(inst.list_text().replace('E2eDeliveryUtility', name).encode(CODE_PAGE))
    run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker)
    wine.reg_delete(UNINSTALL_KEY + '\\' + name)
    expect_on_screen(run)
    text = run.dialogs()[-1][2].replace('\n    ', '')
    check(text == 'Some items could not be removed:\n' + UNINSTALL_KEY.split('\\', 1)[1] + '\\' + name,
          'dialogs', f'not named whole: {text!r}')


def run_with_window(wine, options, inst, class_name, arguments, answers, hidden=False):
    ready = inst.work + '\\window.ready'
    stop = inst.work + '\\window.stop'
    window = wine.popen(options.window, class_name, ready, stop, *(['hidden'] if hidden else []))
    try:
        deadline = time.monotonic() + 30
        while not os.path.exists(wine.unix(ready)):
            check(window.poll() is None, 'setup', f'the window helper ended with {window.returncode}')
            check(time.monotonic() < deadline, 'setup', 'the window helper did not open its window')
            time.sleep(0.05)
        return run_uninstaller(wine, inst, arguments, answers, options.clicker)
    finally:
        open(wine.unix(stop), 'wb').close()
        try:
            window.wait(timeout=15)
        except subprocess.TimeoutExpired:
            window.kill()


def scenario_running_program(wine, options, sabotage):
    """A window of the delivery utility's class is open: the close-program message, nothing
    removed, exit code 0, no prompt."""
    inst = Installation(wine, 'running_program')
    inst.install(options.exe)
    before = inst.snapshot()
    run = run_with_window(wine, options, inst, 'VantrellMailConfig', delivery_arguments(inst), ['ok'])
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [message(DEFAULT_CAPTION, DEFAULT_CLOSE_TEXT)])
    expect_unchanged(before, after)


def scenario_running_file_utility(wine, options, sabotage):
    """Uninstalling the delivery utility also waits for the file utility: a hidden window whose
    class name begins with the file utility's class counts as running."""
    inst = Installation(wine, 'running_file_utility')
    inst.install(options.exe)
    before = inst.snapshot()
    run = run_with_window(wine, options, inst, 'VantrellScanFileUtilMain', delivery_arguments(inst), ['ok'],
                          hidden=True)
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [message(DEFAULT_CAPTION, DEFAULT_CLOSE_TEXT)])
    expect_unchanged(before, after)


def scenario_custom_texts(wine, options, sabotage):
    """Texts from the message file beside the exe, and its name for this application under
    the shared component: another application still registered keeps the component."""
    inst = Installation(wine, 'custom_texts')
    inst.install(options.exe, applications=('E2eDelivery', 'OtherScanner'), message_file=CUSTOM_MESSAGES)
    before = inst.snapshot()
    run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker)
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [prompt('Delivery Remover', 'Remove the delivery utility and its mail folders.', 'Go ahead?'),
                         ('progress',), message('All Done', 'The delivery utility is gone.')])
    expect_files(before['files'], after['files'], DELIVERY_FILES + COMMON_FILES)
    expect_registry(before['registry'], after['registry'], DELIVERY_KEYS,
                    [(VENDOR_KEY + '\\DUZORE32\\Application', 'E2eDelivery')])
    expect_list(before['list'], after['list'], 'DelivUtility')


def scenario_custom_running(wine, options, sabotage):
    """The message file names the delivery utility's window class and the close-program text."""
    inst = Installation(wine, 'custom_running')
    inst.install(options.exe, message_file=CUSTOM_MESSAGES)
    before = inst.snapshot()
    run = run_with_window(wine, options, inst, 'E2eMailWindowMain', delivery_arguments(inst), ['ok'])
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [message('Delivery Remover', 'Close the delivery utility first.')])
    expect_unchanged(before, after)


def scenario_registry_views(wine, options, sabotage):
    """The same keys in both registry views with different contents. The 32-bit view holds this
    application's registration with the shared component alone, the 64-bit view another one
    too. The 32-bit program acts on the 32-bit view only, so the shared component goes; the
    64-bit program acts on the 64-bit view only, where the other registration keeps the
    component. The view a program does not see stays byte for byte."""
    inst = Installation(wine, 'registry_views')
    inst.install(options.exe, view='32')
    inst.register(inst.registry_text(('ScannerUtility', 'OtherScanner'))
                  .replace('utility"', 'utility, 64-bit view"').replace('"1.0"', '"1.0-x64"'), view='64')
    other = '64' if wine.view == '32' else '32'
    before = {'files': inst.files(), 'registry': inst.registry(wine.view), 'list': inst.list_bytes(),
              'other': inst.registry_export(other)}
    check(inst.registry('32') != inst.registry('64'), 'setup', 'the two views hold the same')
    check(all(before['other']), 'setup', f'the {other}-bit view could not be exported')
    run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker)
    expect_exit_code(run, 0)
    expect_dialogs(run, [prompt(), ('progress',), message(DEFAULT_COMPLETE_CAPTION, DEFAULT_COMPLETE_TEXT)])
    if wine.view == '32':
        expect_files(before['files'], inst.files(), DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES)
        expect_registry(before['registry'], inst.registry(wine.view), DELIVERY_KEYS + COMPONENT_KEYS)
    else:
        expect_files(before['files'], inst.files(), DELIVERY_FILES + COMMON_FILES)
        expect_registry(before['registry'], inst.registry(wine.view), DELIVERY_KEYS,
                        [(VENDOR_KEY + '\\DUZORE32\\Application', 'ScannerUtility')])
    check(inst.registry_export(other) == before['other'], 'registry',
          f'the {other}-bit view changed: the program did not keep to its own view')
    expect_list(before['list'], inst.list_bytes(), 'DelivUtility')


class JapaneseInstallation(Installation):
    """The same installation with Japanese names whose second byte is 0x5C, the byte of the
    backslash: the delivery utility in ...\\ソフト\\予定表, its extra folder ...\\データ\\一覧表, and
    beside that folder two files nobody listed whose names begin as the folder's does."""

    RENAMES = [('Vantrell\\Deliv', 'ソフト\\予定表'), ('Deliv Data\\Outbox', 'データ\\一覧表'),
               ('readme.txt', '表示.txt')]
    NEIGHBOURS = ['データ\\一覧表b.txt', 'データ\\一覧表一覧表b.txt']

    @classmethod
    def rename(cls, text):
        for old, new in cls.RENAMES:
            text = text.replace(old, new)
        return text

    def __init__(self, wine, name):
        super().__init__(wine, name)
        self.FILES = {self.rename(path): data for path, data in Installation.FILES.items()}
        self.FILES.update({path: b'not listed' for path in self.NEIGHBOURS})
        self.READ_ONLY = {self.rename(path) for path in Installation.READ_ONLY}

    def list_text(self):
        return self.rename(super().list_text())


JAPANESE_MESSAGES = (
    '[TITLE]\r\n'
    'DIALOG=予定表ソフトの削除\r\n'
    'MSGBOX=完了\r\n'
    '[STATIC]\r\n'
    'DIALOG00_D=予定表ソフトと一覧表のメールを削除します。\r\n'
    'DIALOG01=よろしいですか？\r\n'
    'MSGBOX00=予定表ソフトを削除しました。\r\n'
)


def scenario_japanese(wine, options, sabotage):
    """On the Japanese prefix, with Shift-JIS list and message files: exactly what is listed
    goes, through folder names that end in a 0x5C trail byte, and the texts read as written.
    With --screenshots the prompt is kept as prompt-ja.png."""
    inst = JapaneseInstallation(wine, 'japanese')
    inst.install(options.exe, message_file=JAPANESE_MESSAGES)
    before = inst.snapshot()
    with tempfile.TemporaryDirectory() as shots:
        run = run_uninstaller(wine, inst, delivery_arguments(inst), ['yes', 'ok'], options.clicker,
                              screenshots=shots if options.screenshots else None)
        if options.screenshots:
            os.makedirs(options.screenshots, exist_ok=True)
            shutil.copy(os.path.join(shots, 'prompt.png'), os.path.join(options.screenshots, 'prompt-ja.png'))
    after = inst.snapshot()
    expect_exit_code(run, 0)
    expect_dialogs(run, [prompt('予定表ソフトの削除', '予定表ソフトと一覧表のメールを削除します。', 'よろしいですか？'),
                         ('progress',), message('完了', '予定表ソフトを削除しました。')])
    removed = [inst.rename(path) for path in DELIVERY_FILES] + ['Program Files\\ソフト'] + COMMON_FILES + COMPONENT_FILES
    expect_files(before['files'], after['files'], removed)
    expect_registry(before['registry'], after['registry'], DELIVERY_KEYS + COMPONENT_KEYS)
    expect_list(before['list'], after['list'], 'DelivUtility')


class OddNamesInstallation(Installation):
    """Names the system's ANSI functions cannot take: ..¥keep.txt in the extra folder and an empty
    ..¥Keep in the file utility's install folder, whose yen sign the ANSI search gives as a
    backslash (reaching the keep.txt and Keep beside them), and uninstall entries of 220
    characters (there) and 230 (not there), whose full key paths pass 260."""

    LONG_ENTRY = 'E2eDeliveryUtility' + 'L' * 202
    KEYS = Installation.KEYS + (UNINSTALL_KEY + '\\' + LONG_ENTRY,)
    FILES = dict(Installation.FILES, **{'Deliv Data\\Outbox\\..¥keep.txt': b'', 'Deliv Data\\keep.txt': b''})
    EMPTY_FOLDERS = Installation.EMPTY_FOLDERS + ['Program Files\\Vantrell\\FileUtil\\..¥Keep',
                                                  'Program Files\\Vantrell\\Keep']

    def list_text(self):
        return (super().list_text().replace('=E2eDeliveryUtility', '=' + self.LONG_ENTRY)
                .replace('=E2eFileUtility', '=E2eFileUtility' + 'M' * 216))

    def registry_text(self, applications):
        return super().registry_text(applications).replace('\\E2eDeliveryUtility]', '\\' + self.LONG_ENTRY + ']')

    def registry(self, view=None):
        return dict(super().registry(view), **self.wine.reg_tree(UNINSTALL_KEY + '\\' + self.LONG_ENTRY, view))


def scenario_odd_names(wine, options, sabotage):
    """Each utility's uninstall on a fresh installation ends complete: nothing outside is
    touched through a look-alike name, the long entry goes and the missing one is not named."""
    inst = OddNamesInstallation(wine, 'odd_names')
    delivery = ([path for path in DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES if path != 'Deliv Data\\Outbox'],
                [UNINSTALL_KEY + '\\' + inst.LONG_ENTRY, VENDOR_KEY + '\\MailConfig'] + COMPONENT_KEYS, 'DelivUtility')
    file_utility = (['Program Files\\Vantrell\\FileUtil\\fileutil.exe', 'Program Files\\Vantrell\\FileUtil\\Empty'],
                    [VENDOR_KEY + '\\ScanFileUtil'], None)
    for section, (removed, removed_keys, own_key) in (('Files_Deliv', delivery), ('Files_File', file_utility)):
        inst.install(options.exe)
        before = inst.snapshot()
        run = run_uninstaller(wine, inst, ['-c' + section, '-f' + inst.list_file], ['yes', 'ok'], options.clicker)
        after = inst.snapshot()
        expect_exit_code(run, 0)
        expect_dialogs(run, [prompt(), ('progress',), message(DEFAULT_COMPLETE_CAPTION, DEFAULT_COMPLETE_TEXT)])
        expect_files(before['files'], after['files'], removed)
        expect_registry(before['registry'], after['registry'], removed_keys)
        expect_list(before['list'], after['list'], own_key)


def scenario_unattended(wine, options, sabotage):
    """-s and nobody to answer. No display: the dialog cannot be made, all goes, code 0. A window
    open: no box (the clicker would record one), nothing gone, code 1618 (82 to Unix: its low byte)."""
    inst = Installation(wine, options.scenario)
    inst.install(options.exe)
    before, arguments = inst.snapshot(), ['-s'] + delivery_arguments(inst)
    if options.scenario == 'unattended_running':
        run = run_with_window(wine, options, inst, 'VantrellMailConfig', arguments, [])
        return expect_exit_code(run, 1618 & 0xFF), expect_dialogs(run, []), expect_unchanged(before, inst.snapshot())
    if options.scenario == 'unattended_held_file':  # a file in use stays, the rest goes: code 1603 (67)
        held = 'Program Files\\Vantrell\\Deliv\\deliv.hlp'
        run = run_uninstaller(wine, inst, arguments, [], options.clicker, lock=inst.p(held))
        expect_exit_code(run, 1603 & 0xFF), expect_dialogs(run, [('progress',)])
        return expect_files(before['files'], inst.files(), [p for p in DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES
                                                            if p not in (held, 'Program Files\\Vantrell\\Deliv')])
    env = dict(os.environ, UNINST_WINE_NO_DISPLAY='1')
    expect_exit_code(Run(subprocess.run([wine.wine_run, inst.exe, *arguments], env=env, timeout=60).returncode, []), 0)
    expect_files(before['files'], inst.files(), DELIVERY_FILES + COMMON_FILES + COMPONENT_FILES)
    expect_registry(before['registry'], inst.registry(), DELIVERY_KEYS + COMPONENT_KEYS)
    expect_list(before['list'], inst.list_bytes(), 'DelivUtility')


SCENARIOS = {
    'road': scenario_road,
    'held_file': scenario_held_file,
    'answer_no': scenario_answer_no,
    'running_program': scenario_running_program,
    'running_file_utility': scenario_running_file_utility,
    'custom_texts': scenario_custom_texts,
    'custom_running': scenario_custom_running,
    'registry_views': scenario_registry_views,
    'japanese': scenario_japanese,
    'long_leftover': scenario_long_leftover,
    'odd_names': scenario_odd_names,
}
SCENARIOS.update(dict.fromkeys(('unattended_no_desktop', 'unattended_running', 'unattended_held_file'),
                               scenario_unattended))


# The exit code that CTest reports as a skipped test.
SKIPPED = 77


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--exe', required=True, help='uninst.exe to test')
    parser.add_argument('--clicker', required=True, help='clicker.exe')
    parser.add_argument('--window', required=True, help='the window helper exe')
    parser.add_argument('--wine-run', required=True, help='the wine-run script')
    parser.add_argument('--scenario', required=True, choices=sorted(SCENARIOS))
    parser.add_argument('--screenshots', help='folder for the screenshots of the road')
    parser.add_argument('--sabotage', choices=['text', 'leftover', 'exit_code'],
                        help='make one expectation wrong on purpose, to see the checks fail')
    options = parser.parse_args()
    if options.scenario not in ('road', 'japanese', 'held_file'):
        options.screenshots = None

    skip = os.path.join(os.environ.get('UNINST_WINE_STATE', ''), 'skip')
    if os.path.exists(skip):
        with open(skip) as f:
            print('SKIPPED:', f.read().strip())
        return SKIPPED
    wine = Wine(options.wine_run, registry_view(options.exe))
    started = time.monotonic()
    try:
        SCENARIOS[options.scenario](wine, options, options.sabotage)
    except CheckFailed as failure:
        print(failure)
        return 1
    print(f'{options.scenario}: passed in {time.monotonic() - started:.1f} s')
    return 0


if __name__ == '__main__':
    sys.exit(main())
