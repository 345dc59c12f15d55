#!/usr/bin/env bash
# End-to-end cases of the native uninstaller: each case lays out a machine root in a
# temporary folder, runs a copy of the program on it with an answer piped in, and checks
# the files and folders left, the registry file's text, the list file's bytes, what was
# printed and the exit code.
#
#   uninstall_cases.sh UNINSTALLER SOURCE_DIR CASE [--sabotage]
#
# With --sabotage the case runs with one of its expectations made wrong on purpose; it must
# then report a failure, which shows that its checks can fail at all.
set -uo pipefail
# The harness shared with the hostile-input script: reporting, the machine's paths, running
# the program, the common checks and the main part.
# shellcheck source=harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh" || exit 2

if (($# < 3)); then
  echo "usage: $0 UNINSTALLER SOURCE_DIR CASE [--sabotage]" >&2
  exit 2
fi
program="$1"
source_dir="$2"
case_name="$3"
sabotage=0
[ "${4:-}" = "--sabotage" ] && sabotage=1

work="$(mktemp -d "${TMPDIR:-/tmp}/uninst-e2e.XXXXXX")"
root="$work/root"
bin="$work/bin"
background=()  # processes this case started (a display, a window), ended on exit
cleanup() {
  local pid
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$root" "$bin"
cp "$program" "$bin/uninst.bin"

# --- the machine -----------------------------------------------------------------------

# The list file of the test machine with the two flags given; CR LF line ends.
list_file() {
  crlf <<EOF
; written by the installers
[Utility]
FileUtility=$1
DelivUtility=$2

[UnInstKey]
UnInstKey_File=ScanFile
UnInstKey_Deliv=ScanDeliv

[UNINSTALL_Files_File]
PATH=C:\\Apps\\Vantrell\\ScanFile

[UNINSTALL_Files_Deliv]
PATH=C:\\Apps\\Vantrell\\ScanDeliv

[Extra_Deliv]
Folder00=C:\\Apps\\Vantrell\\ScanDeliv\\Outbox

[Files_File]
FILE00=C:\\Apps\\Vantrell\\ScanFile\\ScanFile.exe
FILE01=C:\\Apps\\Vantrell\\ScanFile\\Help\\ScanFile.chm
REGPATH00=Software\\Vantrell\\ScanFile

[Paths_File]
PATH00=C:\\Apps\\Vantrell\\ScanFile\\Help

[Files_Deliv]
FILE00=C:\\Apps\\Vantrell\\ScanDeliv\\ScanDeliv.exe
FILE01=C:\\Apps\\Vantrell\\ScanDeliv\\Forms\\Letter.tpl
REGPATH00=Software\\Vantrell\\ScanDeliv\\Accounts
REGPATH01=Software\\Vantrell\\ScanDeliv

[Paths_Deliv]
PATH00=C:\\Apps\\Vantrell\\ScanDeliv\\Forms

[Files_Common]
FILE00=C:\\Apps\\Vantrell\\Common\\Core.dll
REGPATH00=Software\\Vantrell\\Common

[Paths_Common]
PATH00=C:\\Apps\\Vantrell\\Common

[Files_DLL]
FILE00=C:\\Windows\\System32\\Vantrell\\DUZORE32.DLL
REGPATH00=Software\\Vantrell\\DUZORE32\\Settings

[Paths_DLL]
PATH00=C:\\Windows\\System32\\Vantrell
EOF
}

# The registry: the uninstall entries of the utilities named (file, deliv), the shared
# component with the application values named by $REGISTERED (default ScannerUtility), and
# keys of another program that must survive every run.
registry_file() {
  local which
  echo 'REGEDIT4'
  echo
  for which in "$@"; do
    case "$which" in
      file) printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScanFile]\n"DisplayName"="Scan File Utility"\n\n' ;;
      deliv) printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScanDeliv]\n"DisplayName"="Scan Delivery Utility"\n\n' ;;
    esac
  done
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PaintBox]\n"DisplayName"="PaintBox"\n\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32]\n"Version"="3.2"\n\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Settings]\n"Port"=dword:00000001\n\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\n'
  local name
  for name in ${REGISTERED:-ScannerUtility}; do printf '"%s"="1"\n' "$name"; done
  printf '\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\Common]\n"Devices"=dword:00000002\n\n'
  for which in "$@"; do
    case "$which" in
      file) printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanFile]\n"Language"="en"\n\n' ;;
      deliv) printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanDeliv]\n"Language"="en"\n\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanDeliv\\Accounts]\n"Office"="scan@example.com"\n\n' ;;
    esac
  done
  printf '[HKEY_LOCAL_MACHINE\\Software\\PaintBox]\n"Brush"="round"\n'
}

# What every machine has besides the utilities: another program and a system file, which
# keep C:\Apps and C:\Windows\System32 in place.
lay_out_base() {
  make_files 'C:\Apps\PaintBox\PaintBox.exe' 'C:\Windows\System32\system.dll'
  make_folders 'C:\Windows'
}

lay_out_file_utility() {
  make_files 'C:\Apps\Vantrell\ScanFile\ScanFile.exe' 'C:\Apps\Vantrell\ScanFile\Help\ScanFile.chm'
  # An empty folder in the install folder: swept before the file utility's files go.
  make_folders 'C:\Apps\Vantrell\ScanFile\Cache'
}

lay_out_delivery_utility() {
  make_files 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe' 'C:\Apps\Vantrell\ScanDeliv\Forms\Letter.tpl' \
    'C:\Apps\Vantrell\ScanDeliv\Outbox\scan-0001.pdf' 'C:\Apps\Vantrell\ScanDeliv\Outbox\scan-0002.pdf'
}

lay_out_shared() {
  make_files 'C:\Apps\Vantrell\Common\Core.dll' 'C:\Windows\System32\Vantrell\DUZORE32.DLL'
}

# A machine with the utilities named installed, the list file at C:\Windows\ZADAvuz.ini
# with the flags given, and the registry to match: lay_out FILEFLAG DELIVFLAG [file] [deliv]
lay_out() {
  local file_flag="$1" deliv_flag="$2"
  shift 2
  lay_out_base
  lay_out_shared
  local which
  for which in "$@"; do
    case "$which" in
      file) lay_out_file_utility ;;
      deliv) lay_out_delivery_utility ;;
    esac
  done
  list_file "$file_flag" "$deliv_flag" > "$(win 'C:\Windows\ZADAvuz.ini')"
  registry_file "$@" > "$root/hklm.reg"
}

# --- running ---------------------------------------------------------------------------

# Every entry below the machine root, one per line: type letter (d, f, l) and path, in the
# order of the paths.
listing() {
  (cd "$root" && find . -mindepth 1 -printf '%P\t%y\n' | LC_ALL=C sort | awk -F '\t' '{ print $2 " " $1 }')
}

# --- checks ----------------------------------------------------------------------------

# expect_text WHAT ACTUAL_FILE EXPECTED_TEXT: the file's bytes equal the text and a final
# line end (which the text leaves out, as command substitution drops it).
expect_text() {
  local what="$1" actual="$2" expected="$work/expected"
  printf '%s\n' "$3" > "$expected"
  if cmp -s "$expected" "$actual"; then
    pass "$what"
  else
    fail "$what differs (- expected, + actual):"
    diff -u "$expected" "$actual" | tail -n +3 | cat -A | sed 's/^/    /'
  fi
}

# expect_same_bytes WHAT EXPECTED_FILE ACTUAL_FILE
expect_same_bytes() {
  if cmp -s "$2" "$3"; then pass "$1"; else fail "$1 differs:"; diff -u "$2" "$3" | tail -n +3 | cat -A | sed 's/^/    /'; fi
}

# A link counts as there only while what it points to exists.
expect_present() {
  local path
  for path in "$@"; do
    if [ -e "$(win "$path")" ]; then pass "$path still there"; else fail "$path is gone"; fi
  done
}

# The machine root holds exactly these entries ("d path" or "f path" lines).
expect_listing() {
  listing > "$work/listing"
  expect_text "files and folders left" "$work/listing" "$1"
}

expect_output() {
  expect_text "standard output" "$work/stdout" "$1"
}

expect_no_errors() {
  if [ -s "$work/stderr" ]; then fail "standard error not empty:"; sed 's/^/    /' "$work/stderr"; else pass "standard error empty"; fi
}

expect_list_file() {
  list_file "$1" "$2" > "$work/expected-list"
  expect_same_bytes "list file bytes (flags $1 $2)" "$work/expected-list" "$(win 'C:\Windows\ZADAvuz.ini')"
}

# --- expected texts --------------------------------------------------------------------

# The registry file once both utilities and the shared component are gone: the untouched
# keys byte for byte, and the parents of deleted keys kept as empty keys.
registry_after_everything='REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\PaintBox]
"DisplayName"="PaintBox"

[HKEY_LOCAL_MACHINE\SOFTWARE\Vantrell]

[HKEY_LOCAL_MACHINE\Software\PaintBox]
"Brush"="round"'

# --- the cases -------------------------------------------------------------------------

# The delivery utility alone is installed and the user answers Yes: its files, folders,
# extra folders and keys go, and so do the shared files and the shared component.
case_delivery_road_yes() {
  lay_out 0 1 deliv
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status 0
  expect_output "$(prompt_and_completion y)"
  expect_no_errors
  expect_listing "d drive_c
d drive_c/Apps
$(expectation 'd drive_c/Apps/PaintBox' 'd drive_c/Apps/Vantrell')
f drive_c/Apps/PaintBox/PaintBox.exe
d drive_c/Windows
d drive_c/Windows/System32
f drive_c/Windows/System32/system.dll
f drive_c/Windows/ZADAvuz.ini
f hklm.reg"
  expect_text "registry file" "$root/hklm.reg" "$registry_after_everything"
  expect_list_file 0 0
}

# The same machine answered No in several ways: nothing at all changes.
case_delivery_answered_no() {
  local answer
  for answer in n N no "" "maybe" "yes please" "<eof>"; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out 0 1 deliv
    snapshot "$root" > "$work/before"
    run_uninstaller "$answer" -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
    echo "answer '$answer':"
    expect_status 0
    [ "$answer" = "<eof>" ] && answer=""
    expect_output "$(printf '\n[Uninstaller]\nUninstall Programs.\nAre you Sure ?\n[y/N] %s\n' "$answer")"
    expect_no_errors
    snapshot "$root" > "$work/after"
    expect_same_bytes "every file, folder and byte of the machine" "$work/before" "$work/after"
  done
  if ((sabotage)); then
    make_files 'C:\Apps\Vantrell\ScanDeliv\stray.txt'
    snapshot "$root" > "$work/after"
    expect_same_bytes "every file, folder and byte of the machine" "$work/before" "$work/after"
  fi
}

# Both utilities installed. Removing the file utility leaves the shared parts (the delivery
# utility still needs them) and clears its own flag only; removing the delivery utility
# afterwards finds the file utility's flag 0 and takes the shared parts too.
case_file_then_delivery() {
  lay_out 1 1 file deliv
  run_uninstaller y -cFiles_File '-fC:\Windows\ZADAvuz.ini'
  echo "file utility:"
  expect_status 0
  expect_output "$(prompt_and_completion y)"
  expect_no_errors
  expect_gone 'C:\Apps\Vantrell\ScanFile'
  expect_present 'C:\Apps\Vantrell\Common\Core.dll' 'C:\Windows\System32\Vantrell\DUZORE32.DLL' \
    'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe' 'C:\Apps\Vantrell\ScanDeliv\Outbox\scan-0001.pdf'
  expect_list_file "$(expectation 0 1)" 1
  registry_file deliv | grep -v -e 'ScanFile' -e 'Scan File' > "$work/expected-registry"
  # The file utility's two blocks were the only lines naming it; what is left is unchanged.
  expect_same_bytes "registry file" "$work/expected-registry" "$root/hklm.reg"

  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  echo "delivery utility:"
  expect_status 0
  expect_output "$(prompt_and_completion y)"
  expect_no_errors
  expect_gone 'C:\Apps\Vantrell' 'C:\Windows\System32\Vantrell'
  expect_present 'C:\Apps\PaintBox\PaintBox.exe' 'C:\Windows\System32\system.dll'
  expect_text "registry file" "$root/hklm.reg" "$registry_after_everything"
  expect_list_file 0 0
}

# -s with nothing on standard input, as a deployment tool runs it: nothing printed, all gone.
case_unattended_prints_nothing() {
  lay_out 0 1 deliv
  run_uninstaller "<eof>" -s -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status "$(expectation 0 1603)"
  if [ -s "$work/stdout" ]; then fail "standard output not empty"; else pass "standard output empty"; fi
  expect_gone 'C:\Apps\Vantrell\ScanDeliv' 'C:\Apps\Vantrell\Common'
}

# Without -f the list file is ZADAvuz.ini in the Windows folder, not one in the current
# folder.
case_default_list_file() {
  lay_out 0 1 deliv
  mv "$(win 'C:\Windows')" "$root/drive_c/windows"
  # A decoy in the folder the program runs from, naming a file that must stay.
  printf '[Utility]\nDelivUtility=1\n[Files_Deliv]\nFILE00=%s\n' "$work/decoy.txt" > "$work/ZADAvuz.ini"
  echo decoy > "$work/decoy.txt"
  cp "$work/ZADAvuz.ini" "$work/decoy-list-before"
  run_uninstaller y -cFiles_Deliv
  expect_status 0
  expect_output "$(prompt_and_completion y)"
  expect_gone 'C:\Apps\Vantrell' "$(expectation 'C:\windows\System32\Vantrell' 'C:\windows\System32')"
  expect_present 'C:\windows\System32\system.dll' 
  list_file 0 0 > "$work/expected-list"
  expect_same_bytes "list file in the Windows folder" "$work/expected-list" "$root/drive_c/windows/ZADAvuz.ini"
  expect_same_bytes "list file in the current folder" "$work/decoy-list-before" "$work/ZADAvuz.ini"
  if [ -e "$work/decoy.txt" ]; then pass "decoy file still there"; else fail "decoy file deleted"; fi
}

# The message file beside the program gives the texts, chosen by the list section, and the
# name of this application's value under the shared component.
case_message_file_beside_binary() {
  cat > "$bin/uninst.ini" <<'EOF'
[TITLE]
DIALOG=Scanner Uninstaller
MSGBOX=Done
[STATIC]
DIALOG00_F=Remove the file utility.
DIALOG00_D=Remove the delivery utility.
DIALOG01=Go on?
MSGBOX00=All removed.
APPNAMEFORDLL=PhotoDesk
EOF
  cp "$bin/uninst.ini" "$work/message-before"
  local section heading
  for section in Files_File Files_Deliv files_file; do
    case "$section" in
      Files_File) heading='Remove the file utility.' ;;
      *) heading='Remove the delivery utility.' ;;
    esac
    rm -rf "$root" && mkdir -p "$root"
    lay_out 1 1 file deliv
    run_uninstaller n "-c$section" '-fC:\Windows\ZADAvuz.ini'
    echo "list section $section:"
    expect_status 0
    expect_output "$(printf '\n[Scanner Uninstaller]\n%s\nGo on?\n[y/N] n\n' "$heading")"
  done

  # Two applications registered with the shared component; this one is PhotoDesk. Its value
  # goes, the other keeps the shared component and its files in place.
  rm -rf "$root" && mkdir -p "$root"
  REGISTERED="ScannerUtility PhotoDesk" lay_out 0 1 deliv
  run_uninstaller yes -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  echo "removal:"
  expect_status 0
  expect_output "$(printf '\n[Scanner Uninstaller]\nRemove the delivery utility.\nGo on?\n[y/N] yes\n\n[%s]\nAll removed.\n' "$(expectation Done Complete)")"
  expect_no_errors
  expect_gone 'C:\Apps\Vantrell\ScanDeliv' 'C:\Apps\Vantrell\Common'
  expect_present 'C:\Windows\System32\Vantrell\DUZORE32.DLL'
  expect_text "registry file" "$root/hklm.reg" 'REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\PaintBox]
"DisplayName"="PaintBox"

[HKEY_LOCAL_MACHINE\Software\Vantrell\DUZORE32]
"Version"="3.2"

[HKEY_LOCAL_MACHINE\Software\Vantrell\DUZORE32\Settings]
"Port"=dword:00000001

[HKEY_LOCAL_MACHINE\Software\Vantrell\DUZORE32\Application]
"ScannerUtility"="1"

[HKEY_LOCAL_MACHINE\Software\PaintBox]
"Brush"="round"'
  expect_same_bytes "message file never written" "$work/message-before" "$bin/uninst.ini"
}

# Read-only files are deleted: listed ones and those in an extra folder.
case_read_only_files_deleted() {
  lay_out 0 1 deliv
  chmod a-w "$(win 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe')" "$(win 'C:\Apps\Vantrell\Common\Core.dll')" \
    "$(win 'C:\Apps\Vantrell\ScanDeliv\Outbox\scan-0001.pdf')"
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status 0
  expect_no_errors
  expect_gone 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe' 'C:\Apps\Vantrell\Common\Core.dll' \
    'C:\Apps\Vantrell\ScanDeliv\Outbox' "$(expectation 'C:\Apps\Vantrell' 'C:\Apps')"
}

# A listed folder that still holds a file nobody listed stays, and so do its parents; the
# file keeps its content.
case_folder_with_unlisted_file_stays() {
  lay_out 0 1 deliv
  printf 'my own letter\n' > "$(win 'C:\Apps\Vantrell\ScanDeliv\Forms\mine.txt')"
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status 0
  expect_no_errors
  expect_listing "d drive_c
d drive_c/Apps
d drive_c/Apps/PaintBox
f drive_c/Apps/PaintBox/PaintBox.exe
d drive_c/Apps/Vantrell
d drive_c/Apps/Vantrell/ScanDeliv
$(expectation 'd drive_c/Apps/Vantrell/ScanDeliv/Forms' 'd drive_c/Apps/Vantrell/ScanDeliv/Outbox')
f drive_c/Apps/Vantrell/ScanDeliv/Forms/mine.txt
d drive_c/Windows
d drive_c/Windows/System32
f drive_c/Windows/System32/system.dll
f drive_c/Windows/ZADAvuz.ini
f hklm.reg"
  expect_text "the unlisted file" "$(win 'C:\Apps\Vantrell\ScanDeliv\Forms\mine.txt')" 'my own letter'
}

# What stays is named at the end and the rest goes: an immutable file, listed keys keeping a
# subkey, an immutable list file's flag; a file already gone is no failure. Needs chattr +i.
case_leftovers_are_named() {
  lay_out 0 1 deliv
  local held list
  held="$(win 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe')" list="$(win 'C:\Windows\ZADAvuz.ini')"
  rm "$(win 'C:\Apps\Vantrell\ScanDeliv\Forms\Letter.tpl')"
  printf '\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanDeliv\\Accounts\\Office]\n' >> "$root/hklm.reg"
  cp "$list" "$work/list-before"
  chattr +i "$held" "$list" 2> /dev/null || { echo "skipped: needs chattr +i"; exit 77; }
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  chattr -i "$held" "$list"
  expect_status 0
  expect_output "$(prompt_and_completion y | sed '$d')
Some items could not be removed:
C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe
Software\Vantrell\ScanDeliv\Accounts
$(expectation 'Software\Vantrell\ScanDeliv' 'Uninstall is Complete')
C:\Windows\ZADAvuz.ini (installed flag
    not cleared)"
  expect_present 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe'
  expect_gone 'C:\Apps\Vantrell\ScanDeliv\Forms' 'C:\Apps\Vantrell\ScanDeliv\Outbox' 'C:\Apps\Vantrell\Common'
  expect_same_bytes "list file" "$work/list-before" "$list"
}

# A registry file that cannot be read is left byte for byte; the message names the file and
# the line; the files are still removed, and the keys that stay are named at the end.
case_malformed_registry_untouched() {
  lay_out 0 1 deliv
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanDeliv]\n"Language"="en"\n'
    printf 'this line is no registry line\n'
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\n"ScannerUtility"="1"\n'
  } > "$root/hklm.reg"
  cp "$root/hklm.reg" "$work/registry-before"
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status 0
  expect_output "$(prompt_and_completion y | sed '$d')
Some items could not be removed:
SOFTWARE\Microsoft\Windows\\
    CurrentVersion\Uninstall\ScanDeliv
Software\Vantrell\ScanDeliv\Accounts
Software\Vantrell\ScanDeliv
Software\Vantrell\Common"
  expect_same_bytes "registry file" "$work/registry-before" "$root/hklm.reg"
  if grep -q -F "$root/hklm.reg" "$work/stderr" && grep -q "line $(expectation 5 4)\b" "$work/stderr"; then
    pass "message names the file and line 5"
  else
    fail "no message naming $root/hklm.reg and line 5 on standard error:"
    sed 's/^/    /' "$work/stderr"
  fi
  expect_gone 'C:\Apps\Vantrell\ScanDeliv\ScanDeliv.exe' 'C:\Apps\Vantrell\Common\Core.dll'
  expect_list_file 0 0
}

# A symbolic link planted where an extra folder should be: the folder it points to keeps
# every file; only the link goes. A listed file that is a link goes without its target.
case_linked_extra_folder_keeps_target() {
  lay_out 0 1 deliv
  local outbox
  outbox="$(win 'C:\Apps\Vantrell\ScanDeliv\Outbox')"
  rm -rf "$outbox"
  mkdir -p "$work/elsewhere/documents/sub"
  printf 'precious\n' > "$work/elsewhere/documents/a.doc"
  printf 'precious too\n' > "$work/elsewhere/documents/sub/b.doc"
  printf 'target of a listed link\n' > "$work/elsewhere/letter.tpl"
  ln -s "$work/elsewhere/documents" "$outbox"
  rm "$(win 'C:\Apps\Vantrell\ScanDeliv\Forms\Letter.tpl')"
  ln -s "$work/elsewhere/letter.tpl" "$(win 'C:\Apps\Vantrell\ScanDeliv\Forms\Letter.tpl')"
  snapshot "$work/elsewhere" > "$work/elsewhere-before"
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini'
  expect_status 0
  expect_no_errors
  snapshot "$work/elsewhere" > "$work/elsewhere-after"
  if ((sabotage)); then rm "$work/elsewhere/documents/a.doc"; snapshot "$work/elsewhere" > "$work/elsewhere-after"; fi
  expect_same_bytes "the linked folder's files" "$work/elsewhere-before" "$work/elsewhere-after"
  expect_gone 'C:\Apps\Vantrell\ScanDeliv\Outbox' 'C:\Apps\Vantrell\ScanDeliv\Forms\Letter.tpl' 'C:\Apps\Vantrell'
}

# Waits up to five seconds for a file to hold a line.
wait_for_line() {
  local _
  for _ in $(seq 50); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# A utility's window open on the desktop stops the uninstaller before its question, with
# nothing changed; which windows count depends on the utility being removed. Needs Xvfb and
# the test's window program (UNINST_E2E_WINDOW); skipped without them.
case_running_utility_stops_before_prompt() {
  if [ -z "${UNINST_E2E_WINDOW:-}" ] || ! command -v Xvfb > /dev/null; then
    echo "skipped: needs Xvfb and the window program"
    exit 77
  fi
  if [ ! -x "$UNINST_E2E_WINDOW" ]; then
    fail "the window program $UNINST_E2E_WINDOW is not built"
    return
  fi
  Xvfb -displayfd 3 -nolisten tcp 3> "$work/display-number" > "$work/xvfb.log" 2>&1 &
  background+=("$!")
  wait_for_line "$work/display-number" || { fail "Xvfb did not start"; cat "$work/xvfb.log"; return; }
  display=":$(head -n 1 "$work/display-number")"

  local stopped='
[Uninstaller]
Terminate the program before uninstall the software.'
  local asked='
[Uninstaller]
Uninstall Programs.
Are you Sure ?
[y/N] n'
  local row section class expected window
  # list section | class of the open window | what happens
  for row in "Files_Deliv|VantrellScanFileUtil|stopped" "Files_Deliv|VantrellMailConfig|stopped" \
    "FILES|VantrellMailConfig|stopped" "Files_File|VantrellScanFileUtil|stopped" \
    "Files_File|VantrellScanFileUtil2|stopped" "Files_File|VantrellMailConfig|asked" \
    "Files_Deliv|vantrellscanfileutil|asked" "Files_Deliv|VantrellScanFil|asked"; do
    IFS='|' read -r section class expected <<< "$row"
    ((sabotage)) && [ "$class" = VantrellScanFil ] && expected=stopped
    rm -rf "$root" && mkdir -p "$root"
    lay_out 1 1 file deliv
    snapshot "$root" > "$work/before"
    DISPLAY="$display" "$UNINST_E2E_WINDOW" "$class" > "$work/window-ready" 2>&1 &
    window=$!
    background+=("$window")
    wait_for_line "$work/window-ready" || fail "the window did not open"
    run_uninstaller n "-c$section" '-fC:\Windows\ZADAvuz.ini'
    kill "$window" 2>/dev/null; wait "$window" 2>/dev/null
    echo "list section $section, window $class open:"
    expect_status 0
    if [ "$expected" = stopped ]; then expect_output "$stopped"; else expect_output "$asked"; fi
    expect_no_errors
    snapshot "$root" > "$work/after"
    expect_same_bytes "every file, folder and byte of the machine" "$work/before" "$work/after"
  done
}

# The road as a person at a terminal sees it, in a tmux pane 40 columns wide: the prompt, the
# progress line finished cleanly (a full bar, the steps made, nothing stale, no wrap) and the
# completion box asking for Enter. Skipped without tmux.
case_terminal_screen_at_the_road() {
  command -v tmux > /dev/null || { echo "skipped: needs tmux"; exit 77; }
  lay_out 0 1 deliv
  local tmux_run=(tmux -L "uninst-e2e-$$" -f /dev/null) screen="$work/screen" _
  "${tmux_run[@]}" new-session -d -x 40 -y 16 -c "$work" \
    "env -u DISPLAY UNINST_ROOT='$root' '$bin/uninst.bin' -cFiles_Deliv '-fC:\\Windows\\ZADAvuz.ini'; echo \"exit code \$?\"; sleep 60"
  # Shows the pane once TEXT is on it, or after five seconds.
  pane_once_it_shows() {
    for _ in $(seq 50); do
      "${tmux_run[@]}" capture-pane -p > "$screen"
      grep -qF "$1" "$screen" && return 0
      sleep 0.1
    done
    return 1
  }
  pane_once_it_shows '[y/N]' || fail "no prompt on the screen"
  "${tmux_run[@]}" send-keys y Enter
  pane_once_it_shows '[Press Enter]' || fail "no completion box on the screen"
  "${tmux_run[@]}" send-keys Enter
  pane_once_it_shows 'exit code' || fail "the program did not end"
  "${tmux_run[@]}" kill-server
  sed -e 's/[[:space:]]*$//' "$screen" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' > "$work/screen-text"
  expect_text "the screen" "$work/screen-text" "
[Uninstaller]
Uninstall Programs.
Are you Sure ?
[y/N] y
[#####################]  done, $(expectation 25 24) steps

[Complete]
Uninstall is Complete
[Press Enter]
exit code 0"
}

# The list file and the message file shown in docs/list-file.md are the demo's files.
case_documented_example_matches_demo() {
  local doc="$source_dir/docs/list-file.md" file
  # Every ```ini block of the document, one file each.
  awk -v out="$work/block" '
    /^```ini[[:space:]]*$/ { n++; inside = 1; file = out n; printf "" > file; next }
    /^```[[:space:]]*$/ && inside { inside = 0; close(file); next }
    inside { print > file }
  ' "$doc"
  for file in list.ini uninst.ini; do
    local found=0 block
    for block in "$work"/block*; do
      [ -e "$block" ] || continue
      cmp -s "$block" "$source_dir/docs/demo-machine/$file" && found=1
    done
    ((sabotage)) && [ "$file" = uninst.ini ] && found=0
    if ((found)); then pass "docs/list-file.md shows docs/demo-machine/$file verbatim"; else fail "docs/list-file.md does not show docs/demo-machine/$file verbatim"; fi
  done
}

# The demo's sample machine: the delivery utility goes, the file utility and the shared
# parts stay, the list file changes in its flag line only.
case_demo_machine_delivery_uninstall() {
  local demo="$source_dir/docs/demo-machine"
  rm -rf "$root"
  "$demo/lay-out" "$root" "$program" || { fail "lay-out failed"; return; }
  local uninstaller="$root/drive_c/Program Files/Vantrell/Uninstall/uninst.bin"
  (cd "$work" && printf 'y\n' | env -u DISPLAY UNINST_ROOT="$root" "$uninstaller" -cFiles_Deliv '-fC:\Windows\ZADAvuz.ini' \
    > "$work/stdout" 2> "$work/stderr")
  # shellcheck disable=SC2034  # read by expect_status
  status=$?
  expect_status 0
  expect_output '
[Vantrell Scanner Utilities]
This removes the Scan Delivery Utility from this computer.
Do you want to go on?
[y/N] y

[Uninstall finished]
The utility has been removed.'
  expect_no_errors
  expect_gone 'C:\Program Files\Vantrell\ScanDeliv'
  expect_present 'C:\Program Files\Vantrell\ScanFile\ScanFile.exe' 'C:\Program Files\Vantrell\Common\ScanCore.dll' \
    'C:\Windows\System32\DUZORE32.DLL' 'C:\Program Files\PaintBox\PaintBox.exe' \
    "$(expectation 'C:\Program Files\Vantrell\Uninstall\uninst.ini' 'C:\Program Files\Vantrell\ScanDeliv\Sent')"
  sed 's/^DelivUtility=1$/DelivUtility=0/' "$demo/list.ini" > "$work/expected-list-utf8"
  if cmp -s "$work/expected-list-utf8" "$demo/list.ini"; then fail "the demo's list file has no DelivUtility=1 line"; fi
  cp932 < "$work/expected-list-utf8" > "$work/expected-list"
  expect_same_bytes "list file bytes" "$work/expected-list" "$root/drive_c/Windows/ZADAvuz.ini"
  # The registry loses exactly the delivery utility's uninstall entry and keys.
  awk '
    /^\[/ { skip = ($0 ~ /Uninstall\\VantrellScanDeliv\]$/ || $0 ~ /\\ScanDeliv(\\Accounts)?\]$/) }
    !skip
  ' "$demo/hklm.reg" > "$work/expected-registry"
  expect_same_bytes "registry file" "$work/expected-registry" "$root/hklm.reg"
}

# A Japanese machine (code page 932): Shift-JIS list, message and registry files, names on
# disk in UTF-8, the program itself and the list file in Japanese folders. The extra folder ends in 表, whose
# second byte is a backslash's: it is emptied and removed, and its look-alike neighbours
# stay. The install path runs through ソフト (83 5C) and goes exactly as listed; the texts
# read correctly in a UTF-8 terminal.
case_japanese_machine() {
  lay_out_base
  make_files 'C:\データ\表\scan.pdf' 'C:\データ\表b.txt' 'C:\データ\表表b.txt' 'C:\ソフト\配達\配達.exe' \
    'C:\ソフト\配達\帳票\予定表.txt'
  crlf <<'EOF2' | cp932 > "$work/list-before"
[Utility]
DelivUtility=1
FileUtility=1
[UNINSTALL_Files_Deliv]
PATH=C:\ソフト\配達
[Extra_Deliv]
Folder00=C:\データ\表
[Files_Deliv]
FILE00=C:\ソフト\配達\配達.exe
FILE01=C:\ソフト\配達\帳票\予定表.txt
REGPATH00=Software\ソフト\配達
[Paths_Deliv]
PATH00=C:\ソフト\配達\帳票
EOF2
  cp "$work/list-before" "$(win 'C:\データ\一覧.ini')"
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\ソフト\\配達]\n"表"="C:\\\\ソフト"\n\n[HKEY_LOCAL_MACHINE\\Software\\ソフト\\表]\n' |
    cp932 > "$root/hklm.reg"
  mkdir "$work/配布" && mv "$bin/uninst.bin" "$work/配布/" && bin="$work/配布"
  printf '[TITLE]\nDIALOG=ソフト\n[STATIC]\nDIALOG00_D=配達ソフトを削除します。\nDIALOG01=よろしいですか？\nMSGBOX00=完了しました。\n' |
    crlf | cp932 > "$bin/uninst.ini"
  locale=C.UTF-8 run_uninstaller y -cFiles_Deliv '-fC:\データ\一覧.ini'
  expect_status 0
  expect_output "
[ソフト]
配達ソフトを削除します。
よろしいですか？
[y/N] y

[Complete]
$(expectation 完了しました。 完了)"
  expect_no_errors
  expect_listing "d drive_c
d drive_c/Apps
d drive_c/Apps/PaintBox
f drive_c/Apps/PaintBox/PaintBox.exe
d drive_c/Windows
d drive_c/Windows/System32
f drive_c/Windows/System32/system.dll
d drive_c/データ
f drive_c/データ/一覧.ini
f drive_c/データ/表b.txt
f drive_c/データ/表表b.txt
f hklm.reg"
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\ソフト\\表]\n' | cp932 > "$work/expected-registry"
  expect_same_bytes "registry file (code page 932)" "$work/expected-registry" "$root/hklm.reg"
  LC_ALL=C sed 's/^DelivUtility=1\r$/DelivUtility=0\r/' "$work/list-before" > "$work/expected-list"
  expect_same_bytes "list file: the flag cleared" "$work/expected-list" "$(win 'C:\データ\一覧.ini')"
}

# --- main ------------------------------------------------------------------------------

run_case "$case_name"
