#!/usr/bin/env python3
"""Removal benchmark of the uninstaller: how long it takes to remove n listed files, next to
the time a plain `xargs rm -f` needs for an identical copy of the same files.

For each size n a sample machine is laid out afresh for every run: n files listed as
"FILE%02d" entries, split between the delivery utility's section and "Files_Common", a fixed
number of "REGPATH%02d" keys, the uninstall entry, and no "PATH%02d" or extra folders (those
carry deliberate pauses). The native program runs on it with "y" piped in; the floor removes
its own copy of the files. Each run checks that everything listed is really gone, so a
program that removes nothing cannot look fast. Both are timed on files flushed to disk
(`sync` before each timed run), one right after the other, taking turns at going first; the
ratio reported is the median of the ratios of these pairs, next to the medians of the times.
One more run of the native program under `strace -c` (when strace is there, not timed)
counts the system calls per listed file.

The Windows program can be measured the same way under Wine (--wine-exe): the list file and
the files go below the prefix's drive C, the keys into Wine's registry, and the clicker
helper answers the prompt and the completion box. With --wine-calls a probe then times Wine's
own calls for each listed file (two look-ups, the attribute change, the deletion, the
progress step) on the same files, which tells the uninstaller's own share of its time under
Wine from Wine's.

Run through scripts/bench, which builds the programs first.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

LIST_NAME = 'ZADAvuz.ini'          # the default list file, found in the Windows folder
DELIVERY_ENTRY = 'BenchDelivery'    # its key below the system uninstall key
UNINSTALL_KEY = 'SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall'
BENCH_KEY = 'Software\\BenchVendor'
FILES_PER_FOLDER = 250


# ---- The sample machine ----------------------------------------------------------------------

class Layout:
    """What a machine of n entries holds, as Windows paths below drive C, and the list file."""

    def __init__(self, n, keys):
        self.n = n
        deliv = n // 2
        self.sections = {
            'Files_Deliv': self._files('Deliv', deliv),
            'Files_Common': self._files('Common', n - deliv),
        }
        half = keys // 2
        self.keys = {
            'Files_Deliv': [f'{BENCH_KEY}\\Deliv\\Key{i:03d}' for i in range(half)],
            'Files_Common': [f'{BENCH_KEY}\\Common\\Key{i:03d}' for i in range(keys - half)],
        }

    @staticmethod
    def _files(part, count):
        # Relative to drive C, with backslashes.
        return [f'Bench\\{part}\\d{i // FILES_PER_FOLDER:04d}\\f{i:06d}.dat' for i in range(count)]

    def all_files(self):
        for files in self.sections.values():
            yield from files

    def all_keys(self):
        for keys in self.keys.values():
            yield from keys

    def list_text(self):
        lines = ['[Utility]', 'FileUtility=0', 'DelivUtility=1',
                 '[UnInstKey]', f'UnInstKey_Deliv={DELIVERY_ENTRY}',
                 '[UNINSTALL_Files_Deliv]', 'PATH=C:\\Bench\\Deliv']
        for section, files in self.sections.items():
            lines.append(f'[{section}]')
            # "%02d": FILE00 .. FILE99, then FILE100 and on.
            lines.extend(f'FILE{i:02d}=C:\\{path}' for i, path in enumerate(files))
            lines.extend(f'REGPATH{i:02d}={key}' for i, key in enumerate(self.keys[section]))
        return '\r\n'.join(lines) + '\r\n'

    def registry_keys(self):
        """Every key the registry starts with, below HKEY_LOCAL_MACHINE."""
        return [f'{UNINSTALL_KEY}\\{DELIVERY_ENTRY}', *self.all_keys()]


def registry_text(keys):
    parts = ['REGEDIT4', '']
    for key in keys:
        parts += [f'[HKEY_LOCAL_MACHINE\\{key}]', '"Bench"="1"', '']
    return '\r\n'.join(parts) + '\r\n'


def make_files(drive_c, relative_paths):
    """Creates each file, empty, below the native folder of drive C; returns their native
    paths. Empty, because a file with data has blocks on disk, and freeing them can cost far
    more than the removal itself (a file system mounted with "discard" trims them on every
    unlink): the benchmark is about the removal path, not the disk."""
    made = []
    folders = set()
    for relative in relative_paths:
        path = os.path.join(drive_c, *relative.split('\\'))
        folder = os.path.dirname(path)
        if folder not in folders:
            os.makedirs(folder, exist_ok=True)
            folders.add(folder)
        open(path, 'wb').close()
        made.append(path)
    return made


def remaining_files(folder):
    count = 0
    for _, _, files in os.walk(folder):
        count += len(files)
    return count


def wipe(folder):
    if os.path.isdir(folder):
        shutil.rmtree(folder)


# ---- Measuring -------------------------------------------------------------------------------

def timed(command, stdin_path, cwd, env, log_path):
    """Runs the command under /usr/bin/time -v; returns (wall seconds, peak RSS in KiB, exit code)."""
    with open(stdin_path, 'rb') as stdin, open(log_path + '.out', 'wb') as stdout, \
            open(log_path + '.err', 'wb') as stderr:
        start = time.perf_counter()
        result = subprocess.run(['/usr/bin/time', '-v', '-o', log_path + '.time', *command],
                                stdin=stdin, stdout=stdout, stderr=stderr, cwd=cwd, env=env)
        wall = time.perf_counter() - start
    return wall, peak_rss(log_path + '.time'), result.returncode


def peak_rss(time_log):
    with open(time_log) as f:
        for line in f:
            if 'Maximum resident set size' in line:
                return int(line.rsplit(':', 1)[1])
    return 0


def fail(message):
    print(f'bench: FAILED: {message}', file=sys.stderr)
    sys.exit(1)


def floor_run(work, layout):
    """An identical copy of the files, removed by `xargs rm -f`: the file system's floor."""
    floor_root = os.path.join(work, 'floor')
    wipe(floor_root)
    paths = make_files(os.path.join(floor_root, 'drive_c'), layout.all_files())
    list_path = os.path.join(work, 'floor.list')
    with open(list_path, 'w') as f:
        f.write('\n'.join(paths) + '\n')
    subprocess.run(['sync'], check=True)
    wall, rss, code = timed(['xargs', 'rm', '-f'], list_path, work, os.environ.copy(),
                            os.path.join(work, 'floor'))
    if code != 0:
        fail(f'xargs rm -f ended with {code}')
    left = remaining_files(floor_root)
    if left:
        fail(f'the floor left {left} files')
    wipe(floor_root)
    return wall, rss


def native_run(work, program, layout, trace=None):
    """One run of the uninstaller; under `strace -c` writing its table to `trace` when given."""
    root = os.path.join(work, 'root')
    wipe(root)
    drive_c = os.path.join(root, 'drive_c')
    windows = os.path.join(drive_c, 'windows')
    os.makedirs(windows)
    make_files(drive_c, layout.all_files())
    with open(os.path.join(windows, LIST_NAME), 'wb') as f:
        f.write(layout.list_text().encode())
    with open(os.path.join(root, 'hklm.reg'), 'wb') as f:
        f.write(registry_text(layout.registry_keys()).encode())
    answer = os.path.join(work, 'answer')
    with open(answer, 'w') as f:
        f.write('y\n')
    subprocess.run(['sync'], check=True)

    env = os.environ.copy()
    env.pop('DISPLAY', None)  # no window check against the desktop
    env['UNINST_ROOT'] = root
    command = [program, '-cFiles_Deliv']
    if trace:
        command = ['strace', '-c', '-f', '-o', trace, *command]
    wall, rss, code = timed(command, answer, work, env, os.path.join(work, 'uninst'))
    if code != 0:
        fail(f'the uninstaller ended with {code}; see {work}/uninst.err')
    left = remaining_files(os.path.join(drive_c, 'Bench'))
    if left:
        fail(f'the uninstaller left {left} of {layout.n} files')
    with open(os.path.join(root, 'hklm.reg'), 'rb') as f:
        registry = f.read().decode()
    kept = [key for key in layout.registry_keys() if f'[HKEY_LOCAL_MACHINE\\{key}]' in registry]
    if kept:
        fail(f'the uninstaller left {len(kept)} registry keys, the first {kept[0]}')
    with open(os.path.join(windows, LIST_NAME), 'rb') as f:
        if b'DelivUtility=0' not in f.read():
            fail('the uninstaller did not clear its flag')
    wipe(root)
    return wall, rss


# ---- Wine ------------------------------------------------------------------------------------

# The benchmark runs the 64-bit build, so its keys go into the 64-bit view. reg.exe is told
# the view: where Wine's 32-bit half is installed, a plain "wine reg" is the 32-bit one.
REG_VIEW = '/reg:64'


class Wine:
    def __init__(self, wine_run, state, exe, clicker):
        self.wine_run = wine_run
        self.state = state
        self.exe = exe
        self.clicker = clicker
        self.drive_c = os.path.join(state, 'prefix', 'drive_c')
        self.env = dict(os.environ, UNINST_WINE_STATE=state)

    def run(self, *args, timeout=120):
        return subprocess.run([self.wine_run, *args], env=self.env, capture_output=True, timeout=timeout)

    def reg_import(self, text):
        path = os.path.join(self.drive_c, 'bench-keys.reg')
        with open(path, 'wb') as f:
            f.write(text.encode())
        result = self.run('reg', 'import', 'C:\\bench-keys.reg', REG_VIEW)
        if result.returncode != 0:
            fail(f'reg import under Wine failed: {result.stderr!r}')

    def lay_out(self, layout, program, name):
        """A fresh C:\\Bench with the layout's files and the program in C:\\Bench\\Uninst\\<name>,
        and the list file in the Windows folder. Returns the Bench folder."""
        bench = os.path.join(self.drive_c, 'Bench')
        wipe(bench)
        make_files(self.drive_c, layout.all_files())
        os.makedirs(os.path.join(bench, 'Uninst'), exist_ok=True)
        shutil.copy(program, os.path.join(bench, 'Uninst', name))
        with open(os.path.join(self.drive_c, 'windows', LIST_NAME), 'wb') as f:
            f.write(layout.list_text().encode())
        return bench

    def calls(self, layout, probe, timeout):
        """Wine's own time for the calls the uninstaller makes per listed file, timed by the
        probe on the same files: {call name: mean microseconds per call}."""
        bench = self.lay_out(layout, probe, 'wine_calls.exe')
        subprocess.run(['sync'], check=True)
        result = self.run('C:\\Bench\\Uninst\\wine_calls.exe', f'C:\\windows\\{LIST_NAME}', *layout.sections,
                          timeout=timeout)
        lines = result.stdout.decode('ascii', 'replace').split()
        if result.returncode != 0 or lines[:4] != ['files', str(layout.n), 'deleted', str(layout.n)]:
            fail(f'the Wine call probe did not remove the {layout.n} files: {result.stdout!r}')
        left = remaining_files(bench) - 1  # the probe itself stays
        if left:
            fail(f'the Wine call probe left {left} of {layout.n} files')
        words = lines[4:]
        return {words[i]: float(words[i + 2]) for i in range(0, len(words) - 2, 3)}

    def key_exists(self, key):
        return self.run('reg', 'query', f'HKEY_LOCAL_MACHINE\\{key}', REG_VIEW).returncode == 0

    def uninstall(self, layout, work, timeout):
        bench = self.lay_out(layout, self.exe, 'uninst.exe')
        self.reg_import(registry_text(layout.registry_keys()))
        log = os.path.join(self.drive_c, 'bench-clicker.log')
        for stale in (log, log + '.stop'):
            if os.path.exists(stale):
                os.remove(stale)
        subprocess.run(['sync'], check=True)

        # The clicker answers Yes to the prompt and OK to the completion box.
        clicker = subprocess.Popen([self.wine_run, self.clicker, 'C:\\bench-clicker.log', 'yes', 'ok'],
                                   env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time_log = os.path.join(work, 'wine.time')
        # The removal runs between the answer to the prompt and the completion box: the
        # clicker notes each box when it finds it, and the log is watched closely, so the
        # time from the first note to the second is the removal (plus the progress dialog
        # and one polling interval of the clicker), without Wine's start and end.
        start = time.perf_counter()
        uninstaller = subprocess.Popen(['/usr/bin/time', '-v', '-o', time_log, self.wine_run,
                                        'C:\\Bench\\Uninst\\uninst.exe', '-cFiles_Deliv'], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        box_seen = []
        code = None
        while True:
            code = uninstaller.poll()
            if len(box_seen) < 2 and os.path.exists(log):
                with open(log, 'rb') as f:
                    boxes = sum(1 for line in f.read().split(b'\n') if line.startswith(b'box\t'))
                while len(box_seen) < boxes:
                    box_seen.append(time.perf_counter())
            if code is not None:
                break
            if time.perf_counter() - start > timeout:
                uninstaller.kill()
                uninstaller.wait()
                code = None
                break
            time.sleep(0.002)
        wall = time.perf_counter() - start
        open(log + '.stop', 'wb').close()
        try:
            clicker.wait(timeout=15)
        except subprocess.TimeoutExpired:
            clicker.kill()
        if code is None:
            return None
        if code != 0:
            fail(f'the Windows uninstaller ended with {code} under Wine')
        with open(log, 'rb') as f:
            boxes = [line for line in f.read().decode('cp1252', 'replace').splitlines() if line.startswith('box')]
        if len(boxes) != 2 or len(box_seen) != 2:
            fail(f'expected the prompt and the completion box under Wine, saw {boxes}')
        left = remaining_files(os.path.join(bench)) - 1  # the uninstaller itself stays
        if left:
            fail(f'the Windows uninstaller left {left} of {layout.n} files')
        if layout.n and self.key_exists(next(layout.all_keys())):
            fail('the Windows uninstaller left its registry keys')
        return box_seen[1] - box_seen[0], wall, peak_rss(time_log)


# ---- Reporting -------------------------------------------------------------------------------

def system_calls(work, program, layout):
    """The uninstaller's system calls on a layout, from `strace -c`: (total, [(calls, name)])."""
    trace = os.path.join(work, 'strace.txt')
    native_run(work, program, layout, trace)
    total, rows = 0, []
    with open(trace) as f:
        for line in f:
            words = line.split()
            # "% time  seconds  usecs/call  calls  [errors]  syscall"; the errors column may be empty.
            if len(words) < 5 or not words[3].isdigit():
                continue
            if words[-1] == 'total':
                total = int(words[3])
            else:
                rows.append((int(words[3]), words[-1]))
    return total, sorted(rows, reverse=True)


def print_system_calls(counts):
    print()
    print('System calls of the native uninstaller per listed file (strace -c of one more run, not timed;')
    print('the calls made at least once per 100 files, then the total):')
    for n, (total, rows) in counts.items():
        print(f'  n={n}:')
        for calls, name in rows:
            if calls * 100 >= n:
                print(f'    {name:<18} {calls:>9} {calls / n:>7.2f}')
        print(f'    {"total":<18} {total:>9} {total / n:>7.2f}')
    sys.stdout.flush()


def machine_line(work):
    try:
        fs = subprocess.run(['findmnt', '-n', '-o', 'FSTYPE,OPTIONS', '-T', work],
                            capture_output=True, text=True).stdout.strip()
    except OSError:
        fs = ''
    fs = ' '.join(fs.split())
    return (f'{time.strftime("%Y-%m-%d %H:%M")}, {os.cpu_count()} cores, {os.uname().release}, '
            f'{fs or "unknown file system"} ({work})')


def fmt_seconds(s):
    return f'{s * 1000:9.1f} ms'


def print_table(title, rows):
    print()
    print(title)
    header = f'{"n":>8} {"runs":>4} {"uninstaller":>12} {"floor":>12} {"ratio":>6} {"per entry":>10} {"peak RSS":>9}'
    print(header)
    print('-' * len(header))
    for row in rows:
        print(f'{row["n"]:>8} {row["runs"]:>4} {fmt_seconds(row["wall"]):>12} {fmt_seconds(row["floor"]):>12} '
              f'{row.get("ratio", row["wall"] / row["floor"]):>6.2f} {row["wall"] / row["n"] * 1e6:>7.1f} us '
              f'{row["rss"] / 1024:>5.1f} MiB')
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--native', help='the native program (uninst.bin)')
    parser.add_argument('--sizes', default='1000,10000,100000')
    parser.add_argument('--runs', default='5,5,3', help='runs per size, one number or one per size')
    parser.add_argument('--keys', type=int, default=100, help='REGPATH keys, split between the sections')
    parser.add_argument('--wine-exe', help='the Windows program (uninst.exe); Wine part skipped without it')
    parser.add_argument('--wine-clicker')
    parser.add_argument('--wine-run')
    parser.add_argument('--wine-calls', help='the call probe (wine_calls.exe): times Wine\'s own calls per file')
    parser.add_argument('--wine-state', help='a folder prepared by wine-setup')
    parser.add_argument('--wine-sizes', default='1000,10000')
    parser.add_argument('--wine-runs', type=int, default=3)
    parser.add_argument('--wine-timeout', type=float, default=300, help='seconds one Wine run may take')
    parser.add_argument('--work', help='scratch folder (default: a new temporary folder)')
    parser.add_argument('--no-strace', action='store_true', help='leave out the count of system calls')
    args = parser.parse_args()

    sizes = [int(s) for s in args.sizes.split(',') if s]
    runs = [int(r) for r in args.runs.split(',')]
    runs = runs * len(sizes) if len(runs) == 1 else runs
    if len(runs) != len(sizes):
        parser.error('--runs needs one number or one per size')

    work = args.work or tempfile.mkdtemp(prefix='uninst-bench-')
    os.makedirs(work, exist_ok=True)
    program = os.path.join(work, 'bin', 'uninst.bin')
    if args.native:
        # A copy, so that no message file beside the build's program changes the texts.
        os.makedirs(os.path.dirname(program), exist_ok=True)
        shutil.copy(args.native, program)

    floors = {}
    native_rows = []
    trace = not args.no_strace and shutil.which('strace') is not None
    print(f'Measured {machine_line(work)}')
    try:
        if args.native:
            calls = {}
            for n, count in zip(sizes, runs):
                layout = Layout(n, args.keys)
                walls, floor_walls, ratios, rsses = [], [], [], []
                for run in range(count):
                    # Taking turns at going first, so neither always meets the disk the other left.
                    if run % 2 == 0:
                        floor_walls.append(floor_run(work, layout)[0])
                    wall, rss = native_run(work, program, layout)
                    if run % 2 == 1:
                        floor_walls.append(floor_run(work, layout)[0])
                    walls.append(wall)
                    rsses.append(rss)
                    ratios.append(wall / floor_walls[-1])
                    print(f'  native n={n} run {run + 1}/{count}: {wall * 1000:.1f} ms, '
                          f'floor {floor_walls[-1] * 1000:.1f} ms, ratio {ratios[-1]:.2f}, {rss} KiB',
                          file=sys.stderr, flush=True)
                floors[n] = statistics.median(floor_walls)
                native_rows.append({'n': n, 'runs': count, 'wall': statistics.median(walls),
                                    'floor': floors[n], 'ratio': statistics.median(ratios), 'rss': max(rsses)})
                if trace:
                    calls[n] = system_calls(work, program, layout)
            print_table('Native uninstaller (medians of the times and of the paired ratios; peak RSS the largest seen)',
                        native_rows)
            if len(native_rows) >= 2:
                by_n = {row['n']: row['wall'] for row in native_rows}
                if 10000 in by_n and 100000 in by_n:
                    print(f'growth from 10 000 to 100 000 entries: {by_n[100000] / by_n[10000]:.1f}-fold')
            if trace:
                print_system_calls(calls)
            else:
                print('(system calls not counted: strace is not installed, or --no-strace)')

        if args.wine_exe:
            wine = Wine(args.wine_run, args.wine_state, args.wine_exe, args.wine_clicker)
            wine_sizes = [0] + [int(s) for s in args.wine_sizes.split(',') if s]
            wine_rows = []
            baseline = 0.0
            for n in wine_sizes:
                layout = Layout(n, args.keys if n else 0)
                removals, walls, rsses = [], [], []
                for run in range(args.wine_runs):
                    measured = wine.uninstall(layout, work, args.wine_timeout)
                    if measured is None:
                        break
                    removals.append(measured[0])
                    walls.append(measured[1])
                    rsses.append(measured[2])
                    print(f'  wine n={n} run {run + 1}/{args.wine_runs}: removal {measured[0] * 1000:.1f} ms, '
                          f'whole run {measured[1] * 1000:.1f} ms, {measured[2]} KiB', file=sys.stderr, flush=True)
                if len(removals) < args.wine_runs:
                    print(f'Wine, n={n}: a run took more than {args.wine_timeout:.0f} s; not measured further')
                    break
                if n == 0:
                    baseline = statistics.median(removals)
                    continue
                if n not in floors:
                    floors[n] = statistics.median([floor_run(work, layout)[0] for _ in range(3)])
                wine_rows.append({'n': n, 'runs': len(removals), 'wall': statistics.median(removals) - baseline,
                                  'floor': floors[n], 'rss': max(rsses), 'whole': statistics.median(walls)})
            print_table('Windows program under Wine: from the answer to the prompt to the completion box, '
                        f'less the {baseline * 1000:.0f} ms this takes with an empty list (medians)', wine_rows)
            for row in wine_rows:
                print(f'  n={row["n"]}: whole run under Wine, start and end included: {row["whole"] * 1000:.0f} ms')
            if args.wine_calls:
                for row in wine_rows:
                    calls = wine.calls(Layout(row['n'], 0), args.wine_calls, args.wine_timeout)
                    lookup = calls['GetPrivateProfileStringA']
                    attributes = calls['SetFileAttributesA']
                    deletion = calls['DeleteFileA']
                    step = calls['PBM_STEPIT']
                    total = 2 * lookup + attributes + deletion + step
                    print(f'  n={row["n"]}: Wine\'s own calls per listed file: 2 look-ups of {lookup:.1f} us, '
                          f'attribute change {attributes:.1f} us, deletion {deletion:.1f} us, '
                          f'progress step {step:.1f} us: {total:.1f} us '
                          f'(the uninstaller: {row["wall"] / row["n"] * 1e6:.1f} us per entry)')
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
