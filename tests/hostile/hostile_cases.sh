#!/usr/bin/env bash
# Hostile input for the native uninstaller, end to end: list, message and registry files
# that are garbage, hold NUL bytes, very long lines, very many sections, odd line ends or a
# wrong header; values of every length around each buffer's capacity; gaps in the
# numbering; Shift-JIS text; symbolic links planted where the list file names folders.
# Every case checks three promises: the program ends normally (exit code 0), it does what it
# should with the input, and nothing is lost (files nobody listed stay, the list file keeps
# every byte but its flag, a registry file it cannot read stays byte for byte).
#
#   hostile_cases.sh UNINSTALLER CASE [--sabotage]
#
# With --sabotage the case runs with one expectation made wrong on purpose and must then
# report a failure: proof that its checks can fail at all. With KEEP_WORK set, the
# temporary machine is kept for a look after the run.
set -uo pipefail
# A check fed by a pipe runs in this shell, so the failures it counts are kept.
shopt -s lastpipe
# The harness shared with the other end-to-end script: reporting, the machine's paths,
# running the program, the common checks and the main part.
# shellcheck source=../e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/harness.sh" || exit 2

if (($# < 2)); then
  echo "usage: $0 UNINSTALLER CASE [--sabotage]" >&2
  exit 2
fi
program="$1"
case_name="$2"
sabotage=0
[ "${3:-}" = "--sabotage" ] && sabotage=1

work="$(mktemp -d "${TMPDIR:-/tmp}/uninst-hostile.XXXXXX")"
root="$work/root"
bin="$work/bin"
[ -n "${KEEP_WORK:-}" ] || trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$root" "$bin" "$work/elsewhere"
cp "$program" "$bin/uninst.bin"

# --- the machine -----------------------------------------------------------------------

# N bytes that look like nothing in particular, the same on every run.
garbage() {
  perl -e 'srand($ARGV[1]); print map { chr(int(rand(256))) } 1 .. $ARGV[0]' "$1" "${2:-7}"
}

# A string of N copies of the character C.
repeat() {
  local n="$1" c="$2"
  printf "%${n}s" '' | tr ' ' "$c"
}

# Files nobody lists: they must outlive every case.
lay_out_bystanders() {
  make_files 'C:\Apps\PaintBox\PaintBox.exe' 'C:\Windows\System32\system.dll' 'C:\Apps\Tool\notes.txt'
  make_folders 'C:\Windows'
}

# A small registry: the delivery utility's entry and keys, and another program's.
registry_file() {
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScanDeliv]\r\n"DisplayName"="Scan Delivery Utility"\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PaintBox]\r\n"DisplayName"="PaintBox"\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\ScanDeliv]\r\n"Language"="en"\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\PaintBox]\r\n"Brush"="round"\r\n'
}

# The same registry once the delivery utility's entry and key are gone. Their parent stays
# as an empty key, spelt as the file first spelt each of its names.
registry_without_delivery() {
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PaintBox]\r\n"DisplayName"="PaintBox"\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrell]\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\PaintBox]\r\n"Brush"="round"\r\n'
}

# A plain list file for the delivery utility: two files, one folder, one key; flags given.
list_file() {
  crlf <<EOF
[Utility]
FileUtility=$1
DelivUtility=$2

[UnInstKey]
UnInstKey_Deliv=ScanDeliv

[Files_Deliv]
FILE00=C:\\Apps\\Tool\\a.exe
FILE01=C:\\Apps\\Tool\\Data\\b.dat
REGPATH00=Software\\Vantrell\\ScanDeliv

[Paths_Deliv]
PATH00=C:\\Apps\\Tool\\Data
EOF
}

lay_out_tool() {
  make_files 'C:\Apps\Tool\a.exe' 'C:\Apps\Tool\Data\b.dat'
}

list_path() {
  win 'C:\Windows\list.ini'
}

# --- running ---------------------------------------------------------------------------

run_delivery() {
  run_uninstaller y -cFiles_Deliv '-fC:\Windows\list.ini'
}

# A snapshot of the machine root; the list file and the registry file, which the run may
# change, are left out.
snapshot_machine() {
  snapshot "$root" ./drive_c/Windows/list.ini ./hklm.reg
}

# --- checks ----------------------------------------------------------------------------

expect_same_bytes() {
  if cmp -s "$2" "$3"; then
    pass "$1"
  else
    fail "$1 differs:"
    cmp "$2" "$3" 2>&1 | head -n 3 | sed 's/^/    /'
  fi
}

# expect_bytes WHAT FILE: the file's bytes equal standard input's.
expect_bytes() {
  cat > "$work/expected-bytes"
  expect_same_bytes "$1" "$work/expected-bytes" "$2"
}

# A link counts as there even when what it points to is gone.
expect_present() {
  local path
  for path in "$@"; do
    if [ -e "$(win "$path")" ] || [ -L "$(win "$path")" ]; then pass "$path still there"; else fail "$path is gone"; fi
  done
}

expect_default_dialogue() {
  prompt_and_completion y | expect_bytes "standard output" "$work/stdout"
}

# The same, but a registry file that cannot be read keeps the delivery utility's uninstall
# entry and key, and the completion names them.
expect_registry_kept_dialogue() {
  { prompt_and_completion y | sed '$d'
    printf 'Some items could not be removed:\n'
    printf 'SOFTWARE\\Microsoft\\Windows\\\n    CurrentVersion\\Uninstall\\ScanDeliv\n'
    printf 'Software\\Vantrell\\ScanDeliv\n'
  } | expect_bytes "standard output" "$work/stdout"
}

# The machine, apart from the list file and the registry file, is as it was.
expect_machine_unchanged() {
  snapshot_machine > "$work/after"
  expect_same_bytes "every other file and folder" "$work/before" "$work/after"
}

# Of the list file, only the named flag changed to 0: every other byte is as before.
# expect_flag_cleared KEY ORIGINAL
expect_flag_cleared() {
  local key="$1" original="$2"
  perl -0777 -pe "s/^(\\Q$key\\E=)[^\\r\\n]*/\${1}0/m" "$original" > "$work/expected-list"
  expect_same_bytes "list file: every byte but the $key flag" "$work/expected-list" "$(list_path)"
}

# Of the list file, nothing changed but a new [Utility] section at its end.
expect_flag_section_appended() {
  local key="$1" original="$2"
  {
    cat "$original"
    [ -s "$original" ] && [ "$(tail -c 1 "$original" | od -An -c | tr -d ' ')" != '\n' ] &&
      [ "$(tail -c 1 "$original" | od -An -c | tr -d ' ')" != '\r' ] && printf '\r\n'
    printf '[Utility]\r\n%s=0\r\n' "$key"
  } > "$work/expected-list"
  expect_same_bytes "list file: every byte kept, the $key flag added" "$work/expected-list" "$(list_path)"
}

expect_registry_message() {
  if grep -q -F "cannot read registry file $root/hklm.reg" "$work/stderr"; then
    pass "the unreadable registry file is named on standard error"
  else
    fail "no message naming the registry file on standard error:"
    sed 's/^/    /' "$work/stderr"
  fi
}

# --- garbage, NUL bytes, long lines, many sections, line ends ----------------------------

# A list file of binary garbage: nothing is removed, and the list file keeps every byte, the
# flag being added at its end.
case_garbage_list_file() {
  lay_out_bystanders
  lay_out_tool
  garbage 65536 > "$(list_path)"
  registry_file > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  cp "$root/hklm.reg" "$work/registry-before"
  snapshot_machine > "$work/before"
  ((sabotage)) && rm "$(win 'C:\Apps\Tool\notes.txt')"
  run_delivery
  expect_status 0
  expect_default_dialogue
  expect_machine_unchanged
  expect_same_bytes "registry file" "$work/registry-before" "$root/hklm.reg"
  expect_flag_section_appended DelivUtility "$work/list-before"
}

# A message file of binary garbage gives the built-in texts; one of NUL bytes likewise.
case_garbage_message_file() {
  local kind
  for kind in garbage nul; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out_bystanders
    lay_out_tool
    list_file 0 1 > "$(list_path)"
    registry_file > "$root/hklm.reg"
    case "$kind" in
      garbage) garbage 65536 11 > "$bin/uninst.ini" ;;
      nul) head -c 65536 /dev/zero > "$bin/uninst.ini" ;;
    esac
    cp "$bin/uninst.ini" "$work/message-before"
    echo "message file of $kind:"
    run_delivery
    expect_status 0
    expect_default_dialogue
    expect_gone 'C:\Apps\Tool\a.exe' 'C:\Apps\Tool\Data'
    expect_present 'C:\Apps\Tool\notes.txt' "$(expectation 'C:\Apps\PaintBox\PaintBox.exe' 'C:\Apps\Tool\a.exe')"
    expect_same_bytes "message file never written" "$work/message-before" "$bin/uninst.ini"
  done
}

# A registry file of garbage, one with a NUL byte, one with a wrong header, one with CR-only
# line ends (one long line to the reader), one with a key deletion the provider does not
# take: each is left byte for byte, named on standard error, and the listed files still go.
# The shared component's files stay: its registrations cannot be read, so it may be in use
# (the last file holds another application's).
case_unreadable_registry_files() {
  local kind
  for kind in garbage nul-byte wrong-header cr-only utf16 key-deletion; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out_bystanders
    lay_out_tool
    make_files 'C:\Shared\core.dll'
    { list_file 0 1; printf '[Files_DLL]\r\nFILE00=C:\\Shared\\core.dll\r\n'; } > "$(list_path)"
    cp "$(list_path)" "$work/list-before"
    case "$kind" in
      garbage) garbage 4096 3 > "$root/hklm.reg" ;;
      nul-byte) registry_file | sed 's/"en"/"e\x00n"/' > "$root/hklm.reg" ;;
      wrong-header) registry_file | sed '1s/.*/Windows Registry Editor Version 5.00\r/' > "$root/hklm.reg" ;;
      cr-only) registry_file | tr -d '\n' > "$root/hklm.reg" ;;
      utf16) { printf '\xff\xfe'; registry_file | sed 's/./&\x00/g'; } > "$root/hklm.reg" ;;
      key-deletion)
        { registry_file; printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n"Other"="1"\r\n'
          printf '\r\n[-HKEY_LOCAL_MACHINE\\Software\\Gone]\r\n'; } > "$root/hklm.reg" ;;
    esac
    cp "$root/hklm.reg" "$work/registry-before"
    echo "registry file with $kind:"
    run_delivery
    expect_status 0
    expect_registry_kept_dialogue
    expect_same_bytes "registry file" "$work/registry-before" "$root/hklm.reg"
    expect_registry_message
    expect_gone 'C:\Apps\Tool\a.exe' 'C:\Apps\Tool\Data'
    expect_present 'C:\Apps\Tool\notes.txt' 'C:\Shared\core.dll'
    expect_flag_cleared DelivUtility "$work/list-before"
  done
  ((sabotage)) && expect_gone 'C:\Apps\Tool\notes.txt'
}

# A list, message or registry file that is a device, a FIFO, a folder or a file over 64 MiB
# counts as unreadable, like a missing one: nothing waits or runs out of memory, the list
# names nothing, the texts are the defaults, the registry is reported and left; exit code 0.
case_odd_files() {
  local kind which odd
  for kind in device fifo folder huge; do
    for which in list message registry; do
      rm -rf "$root" "$bin/uninst.ini" && mkdir -p "$root"
      lay_out_bystanders
      lay_out_tool
      list_file 0 1 > "$(list_path)"
      registry_file > "$root/hklm.reg"
      snapshot_machine > "$work/before"
      odd="$(list_path)"
      [ "$which" = message ] && odd="$bin/uninst.ini"
      [ "$which" = registry ] && odd="$root/hklm.reg"
      rm -f "$odd"
      case "$kind" in
        device) ln -s /dev/zero "$odd" ;;
        fifo) mkfifo "$odd" ;;
        folder) mkdir "$odd" ;;
        huge) truncate -s $((64 * 1024 * 1024 + 1)) "$odd" ;;
      esac
      stat -L -c '%F %s' "$odd" > "$work/odd-before"
      echo "$which file: $kind"
      time_limit=30 run_delivery
      expect_status 0
      if [ "$which" = registry ]; then expect_registry_kept_dialogue; else expect_default_dialogue; fi
      stat -L -c '%F %s' "$odd" | expect_bytes "the $kind left as it was" "$work/odd-before"
      case "$which" in
        list) expect_machine_unchanged ;;
        registry) expect_registry_message ;&
        message) expect_gone 'C:\Apps\Tool\a.exe' ;;
      esac
    done
  done
  echo "-f/dev/zero:"
  time_limit=30 run_uninstaller y -cFiles_Deliv -f/dev/zero
  expect_status "$(expectation 0 1)"
  expect_default_dialogue
}

# NUL bytes in the list file: in a comment, in a section of its own and inside a value.
# A value holding a NUL names no file: what stands before the NUL is another file, which
# must not be deleted.
case_nul_bytes_in_list_file() {
  lay_out_bystanders
  lay_out_tool
  make_files 'C:\Apps\Tool\keep' 'C:\Apps\Tool\c.exe'
  {
    printf '; written \x00 by the installer\r\n[Utility]\r\nDelivUtility=1\r\n'
    printf '[Files\x00_Deliv]\r\nFILE00=C:\\Apps\\Tool\\notes.txt\r\n'
    printf '[Files_Deliv]\r\nFILE00=C:\\Apps\\Tool\\a.exe\r\nFILE01=C:\\Apps\\Tool\\keep\x00.exe\r\n'
    printf 'FILE02=C:\\Apps\\Tool\\c.exe\r\n'
  } > "$(list_path)"
  registry_file > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  expect_default_dialogue
  expect_gone 'C:\Apps\Tool\a.exe' "$(expectation 'C:\Apps\Tool\c.exe' 'C:\Apps\Tool\keep')"
  expect_present 'C:\Apps\Tool\keep' 'C:\Apps\Tool\notes.txt' 'C:\Apps\PaintBox\PaintBox.exe'
  expect_flag_cleared DelivUtility "$work/list-before"
}

# Lines of 1 MiB: a comment, a file value (too long to act on; the next one still goes),
# an unrelated key in the list file; a message text (cut to its buffer); a registry value.
case_megabyte_lines() {
  lay_out_bystanders
  lay_out_tool
  local long
  long="$(repeat 1048576 x)"
  {
    printf '; %s\r\n[Utility]\r\nDelivUtility=1\r\nNote=%s\r\n' "$long" "$long"
    printf '[Files_Deliv]\r\nFILE00=C:\\Apps\\Tool\\notes.txt%s\r\nFILE01=C:\\Apps\\Tool\\a.exe\r\n' "$long"
    printf 'REGPATH00=Software\\Vantrell\\ScanDeliv\r\n[UnInstKey]\r\nUnInstKey_Deliv=ScanDeliv\r\n'
  } > "$(list_path)"
  { registry_file; printf '[HKEY_LOCAL_MACHINE\\Software\\Big]\r\n"Blob"="%s"\r\n' "$long"; } > "$root/hklm.reg"
  printf '[STATIC]\r\nDIALOG01=%s\r\nMSGBOX00=Gone.\r\n' "$long" > "$bin/uninst.ini"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  printf '\n[Uninstaller]\nUninstall Programs.\n%s\n[y/N] y\n\n[Complete]\n%s\n' \
    "$(repeat 235 x)" "$(expectation Gone. Gone)" | expect_bytes "standard output (the long text cut to fit the prompt)" "$work/stdout"
  expect_gone 'C:\Apps\Tool\a.exe'
  expect_present 'C:\Apps\Tool\notes.txt'
  expect_flag_cleared DelivUtility "$work/list-before"
  { registry_without_delivery; printf '[HKEY_LOCAL_MACHINE\\Software\\Big]\r\n"Blob"="%s"\r\n' "$long"; } |
    expect_bytes "registry file: the long value kept" "$root/hklm.reg"
}

# 100 000 sections before the real ones in the list file, the message file and keys in the
# registry file: the real ones are still found, and the rest is kept byte for byte.
case_hundred_thousand_sections() {
  lay_out_bystanders
  lay_out_tool
  local many="$work/many"
  awk 'BEGIN { for (i = 0; i < 100000; i++) printf "[Section%06d]\r\nKey=%d\r\n", i, i }' > "$many"
  { cat "$many"; list_file 0 1; } > "$(list_path)"
  { cat "$many"; printf '[STATIC]\r\nDIALOG01=Really?\r\n'; } > "$bin/uninst.ini"
  {
    registry_file
    awk 'BEGIN { for (i = 0; i < 100000; i++) printf "[HKEY_LOCAL_MACHINE\\Software\\Many\\Key%06d]\r\n\"v\"=dword:%08x\r\n", i, i }'
  } > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  printf '\n[Uninstaller]\nUninstall Programs.\n%s\n[y/N] y\n\n[Complete]\nUninstall is Complete\n' \
    "$(expectation 'Really?' 'Are you Sure ?')" | expect_bytes "standard output" "$work/stdout"
  expect_gone 'C:\Apps\Tool\a.exe' 'C:\Apps\Tool\Data'
  expect_present 'C:\Apps\Tool\notes.txt'
  expect_flag_cleared DelivUtility "$work/list-before"
  {
    registry_without_delivery
    awk 'BEGIN { for (i = 0; i < 100000; i++) printf "[HKEY_LOCAL_MACHINE\\Software\\Many\\Key%06d]\r\n\"v\"=dword:%08x\r\n", i, i }'
  } | expect_bytes "registry file" "$root/hklm.reg"
}

# CR-only line ends in the list file and the message file: lines are still lines; the flag
# is written in place and the line ends stay CR.
case_cr_only_line_ends() {
  lay_out_bystanders
  lay_out_tool
  list_file 0 1 | tr -d '\n' > "$(list_path)"
  printf '[STATIC]\rDIALOG01=CR only?\rMSGBOX00=Done.\r' > "$bin/uninst.ini"
  registry_file > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  printf '\n[Uninstaller]\nUninstall Programs.\nCR only?\n[y/N] y\n\n[Complete]\nDone.\n' |
    expect_bytes "standard output" "$work/stdout"
  expect_gone 'C:\Apps\Tool\a.exe' "$(expectation 'C:\Apps\Tool\Data' 'C:\Apps\Tool\notes.txt')"
  expect_present 'C:\Apps\Tool\notes.txt'
  list_file 0 0 | tr -d '\n' | expect_bytes "list file: CR line ends, flag 0" "$(list_path)"
  registry_without_delivery | expect_bytes "registry file" "$root/hklm.reg"
}

# No final line end: the last line of each file is still read; the flag on the list file's
# last line is written there, still without a line end.
case_no_final_newline() {
  lay_out_bystanders
  lay_out_tool
  {
    list_file 0 0 | sed '/^\[Utility\]/,/^\r$/d'
    printf '[Utility]\r\nDelivUtility=1'
  } > "$(list_path)"
  printf '[STATIC]\r\nMSGBOX00=No line end' > "$bin/uninst.ini"
  registry_file | head -c -2 > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  printf '\n[Uninstaller]\nUninstall Programs.\nAre you Sure ?\n[y/N] y\n\n[Complete]\n%s\n' \
    "$(expectation 'No line end' 'Uninstall is Complete')" | expect_bytes "standard output" "$work/stdout"
  expect_gone 'C:\Apps\Tool\a.exe' 'C:\Apps\Tool\Data'
  expect_present 'C:\Apps\Tool\notes.txt'
  { head -c -1 "$work/list-before"; printf '0'; } | expect_bytes "list file: flag 0, no line end" "$(list_path)"
  registry_without_delivery | head -c -2 | expect_bytes "registry file" "$root/hklm.reg"
}

# --- values around each capacity -------------------------------------------------------

# A Windows path of exactly N characters: PREFIX followed by as many copies of C as needed.
path_of_length() {
  local n="$1" prefix="$2" c="$3"
  printf '%s%s' "$prefix" "$(repeat $((n - ${#prefix})) "$c")"
}

# FILE, PATH and REGPATH values hold at most 127 characters: 126 and 127 are acted on, 128
# is not (a cut value would name another file), and the enumeration goes on after it.
case_entry_lengths_around_128() {
  lay_out_bystanders
  local n file folder key
  {
    printf '[Utility]\r\nDelivUtility=1\r\n[Files_Deliv]\r\n'
    for n in 126 127 128; do
      file="$(path_of_length "$n" "C:\\Cap\\F$n\\" f)"
      make_files "$file"
      printf 'FILE%02d=%s\r\n' $((n - 126)) "$file"
    done
    printf 'FILE03=C:\\Cap\\after.txt\r\n'
    for n in 126 127 128; do
      printf 'REGPATH%02d=%s\r\n' $((n - 126)) "$(path_of_length "$n" "Software\\Cap$n\\" k)"
    done
    printf '[Paths_Deliv]\r\n'
    for n in 126 127 128; do
      folder="$(path_of_length "$n" "C:\\Cap\\P$n\\" p)"
      make_folders "$folder"
      printf 'PATH%02d=%s\r\n' $((n - 126)) "$folder"
    done
  } > "$(list_path)"
  make_files 'C:\Cap\after.txt' 'C:\Cap\keep.txt'
  {
    printf 'REGEDIT4\r\n\r\n'
    for n in 126 127 128; do
      printf '[HKEY_LOCAL_MACHINE\\%s]\r\n"n"=dword:%08x\r\n\r\n' "$(path_of_length "$n" "Software\\Cap$n\\" k)" "$n"
    done
  } > "$root/hklm.reg"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  expect_default_dialogue
  for n in 126 127; do
    expect_gone "$(path_of_length "$n" "C:\\Cap\\F$n\\" f)" "C:\\Cap\\P$n"
  done
  expect_gone 'C:\Cap\after.txt'
  expect_present "$(path_of_length 128 'C:\Cap\F128\' f)" "$(path_of_length 128 'C:\Cap\P128\' p)" 'C:\Cap\keep.txt'
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Cap126]\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Cap127]\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\%s]\r\n"n"=dword:%08x\r\n\r\n' "$(path_of_length 128 'Software\Cap128\' k)" "$(expectation 128 127)"
  } | expect_bytes "registry file: only the 128-character key left" "$root/hklm.reg"
  expect_flag_cleared DelivUtility "$work/list-before"
}

# Extra folders hold at most 259 characters: empty ones of 258 and 259 are removed, one of
# 260 is not acted on. The folder's search pattern (folder, "\*.*") must fit the same buffer,
# so 255 characters is the longest folder that is emptied of its files before it goes.
case_extra_folder_lengths() {
  lay_out_bystanders
  local n folder index=0
  {
    printf '[Utility]\r\nDelivUtility=1\r\n[Extra_Deliv]\r\n'
    for n in 255 258 259 260; do
      folder="$(path_of_length "$n" "C:\\Cap\\X$n\\$(repeat 100 x)\\" y)"
      make_folders "$folder"
      printf 'Folder%02d=%s\r\n' $((index++)) "$folder"
    done
  } > "$(list_path)"
  # A name of three characters is the longest that still fits beside it.
  make_files "$(path_of_length 255 "C:\\Cap\\X255\\$(repeat 100 x)\\" y)\\pdf"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  expect_default_dialogue
  for n in 255 258 259; do
    expect_gone "$(path_of_length "$n" "C:\\Cap\\X$n\\$(repeat 100 x)\\" y)"
  done
  expect_present "$(path_of_length 260 "C:\\Cap\\X260\\$(repeat 100 x)\\" y)" \
    "$(expectation 'C:\Cap\X258' 'C:\Cap\X258\nothing')"
  expect_flag_cleared DelivUtility "$work/list-before"
}

# Uninstall entry names hold at most 259 characters: 258 and 259 are deleted, 260 stays.
case_uninstall_key_lengths() {
  local n name uninstall='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
  for n in 258 259 260; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out_bystanders
    name="$(repeat "$n" U)"
    printf '[UnInstKey]\r\nUnInstKey_Deliv=%s\r\n' "$name" > "$(list_path)"
    {
      printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s\\%s]\r\n"DisplayName"="%d"\r\n\r\n' "$uninstall" "$name" "$n"
      printf '[HKEY_LOCAL_MACHINE\\%s\\PaintBox]\r\n"DisplayName"="PaintBox"\r\n' "$uninstall"
    } > "$root/hklm.reg"
    cp "$root/hklm.reg" "$work/registry-before"
    echo "uninstall entry of $n characters:"
    run_delivery
    expect_status 0
    expect_default_dialogue
    if ((n < $(expectation 260 261))); then
      printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s\\PaintBox]\r\n"DisplayName"="PaintBox"\r\n' "$uninstall" |
        expect_bytes "registry file: the entry deleted" "$root/hklm.reg"
    else
      expect_same_bytes "registry file: the entry kept" "$work/registry-before" "$root/hklm.reg"
    fi
  done
}

# Install paths hold at most 259 characters: with 258 and 259 the folders it names that fit
# a chain node are removed; 260 is not acted on at all.
case_install_path_lengths() {
  local n install
  for n in 258 259 260; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out_bystanders
    install="$(path_of_length "$n" "C:\\Inst\\$(repeat 100 d)\\" e)"
    make_folders "C:\\Inst\\$(repeat 100 d)"
    printf '[UNINSTALL_Files_Deliv]\r\nPATH=%s\r\n' "$install" > "$(list_path)"
    echo "install path of $n characters:"
    run_delivery
    expect_status 0
    expect_default_dialogue
    if ((n < $(expectation 260 259))); then
      expect_gone 'C:\Inst'
    else
      expect_present "C:\\Inst\\$(repeat 100 d)"
    fi
  done
}

# Message texts hold at most 254 characters (79 for the names): longer ones are cut.
case_message_text_lengths() {
  local n
  for n in 254 255 256; do
    rm -rf "$root" && mkdir -p "$root"
    lay_out_bystanders
    lay_out_tool
    list_file 0 1 > "$(list_path)"
    printf '[TITLE]\r\nDIALOG=%s\r\nMSGBOX=%s\r\n[STATIC]\r\nMSGBOX00=%s\r\n' \
      "$(repeat "$n" t)" "$(repeat "$n" m)" "$(repeat "$n" c)" > "$bin/uninst.ini"
    echo "texts of $n characters:"
    run_delivery
    expect_status 0
    printf '\n[%s]\nUninstall Programs.\nAre you Sure ?\n[y/N] y\n\n[%s]\n%s\n' \
      "$(repeat 254 t)" "$(repeat 254 m)" "$(repeat "$(expectation 254 255)" c)" |
      expect_bytes "standard output: texts cut to 254 characters" "$work/stdout"
    expect_gone 'C:\Apps\Tool\a.exe'
  done
}

# --- numbering -------------------------------------------------------------------------

# Numbered keys end at the first gap or empty value: FILE00 to FILE100 go (FILE100 follows
# FILE99), FILE102 after the missing FILE101 stays; a paths section starting at PATH01 and
# a REGPATH00 that is empty name nothing; a section without FILE00 has no files.
case_numbering_with_gaps() {
  lay_out_bystanders
  local i
  {
    printf '[Utility]\r\nDelivUtility=1\r\nFileUtility=0\r\n[Files_Deliv]\r\n'
    for ((i = 0; i <= 100; i++)); do
      printf 'FILE%02d=C:\\Many\\f%d.txt\r\n' "$i" "$i"
    done
    make_files 'C:\Many\f102.txt' 'C:\Many\unpadded.txt'
    printf 'FILE102=C:\\Many\\f102.txt\r\nFILE7=C:\\Many\\unpadded.txt\r\n'
    printf 'REGPATH00=\r\nREGPATH01=Software\\Kept\r\n'
    printf '[Paths_Deliv]\r\nPATH01=C:\\Many\\Empty\r\n'
    printf '[Files_Common]\r\nFILE01=C:\\Shared\\common.dll\r\n'
  } > "$(list_path)"
  make_folders 'C:\Many\Empty'
  make_files 'C:\Shared\common.dll'
  for ((i = 0; i <= 100; i++)); do echo "file $i" > "$(win 'C:\Many')/f$i.txt"; done
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Kept]\r\n"v"="1"\r\n' > "$root/hklm.reg"
  cp "$root/hklm.reg" "$work/registry-before"
  cp "$(list_path)" "$work/list-before"
  run_delivery
  expect_status 0
  expect_default_dialogue
  local many
  many="$(win 'C:\Many')"
  for ((i = 0; i <= 100; i++)); do
    [ -e "$many/f$i.txt" ] && fail "C:\\Many\\f$i.txt still there"
  done
  pass "FILE00 to FILE100 deleted"
  expect_present 'C:\Many\f102.txt' "$(expectation 'C:\Many\unpadded.txt' 'C:\Many\f100.txt')" 'C:\Many\Empty' \
    'C:\Shared\common.dll'
  expect_same_bytes "registry file" "$work/registry-before" "$root/hklm.reg"
  expect_flag_cleared DelivUtility "$work/list-before"
}

# --- Shift-JIS -------------------------------------------------------------------------

# Shift-JIS list and message files: the names are found in UTF-8 on disk and deleted as
# listed, and a name differing only in a second byte that looks like an ASCII letter (ア is
# 83 41, ヂ 83 61) is another name. The texts are shown in the terminal's character set, also
# those with a second byte equal to a backslash (ソ and 表 end in 0x5C). An extra folder whose
# name ends in a lead byte alone (81) would take the backslash after it as its second byte
# (― is 81 5C) and empty its parent: it is no folder, and nothing goes.
case_shift_jis_names_and_texts() {
  lay_out_bystanders
  make_files 'C:\Apps\日本語\アプリ.exe' 'C:\Apps\日本語\メモ.txt' 'C:\Apps\日本語\ヂ.txt' \
    'C:\Apps\Half\―a.txt' 'C:\Apps\Half\――a.txt'
  make_folders 'C:\Apps\日本語\データ'
  { printf '[Utility]\nDelivUtility=1\n[Files_Deliv]\nFILE00=C:\\Apps\\日本語\\アプリ.exe\nFILE01=C:\\Apps\\日本語\\ア.txt\n[Paths_Deliv]\nPATH00=C:\\Apps\\日本語\\データ\n' |
      crlf | cp932; printf '[Extra_Deliv]\r\nFolder00=C:\\Apps\\Half\\\x81\r\n'; } > "$(list_path)"
  printf '[TITLE]\nDIALOG=アンインストール\nMSGBOX=完了\n[STATIC]\nDIALOG00_D=表示\\n\nDIALOG01=ソフトを削除しますか？\nMSGBOX00=完了\n' |
    crlf | cp932 > "$bin/uninst.ini"
  cp "$(list_path)" "$work/list-before"
  locale=C.UTF-8 run_delivery
  expect_status 0
  printf '\n[アンインストール]\n表示\\n\nソフトを削除しますか？\n[y/N] y\n\n[完了]\n%s\n' \
    "$(expectation 完了 表示)" | expect_bytes "standard output: Shift-JIS texts in UTF-8" "$work/stdout"
  expect_gone 'C:\Apps\日本語\アプリ.exe' 'C:\Apps\日本語\データ'
  expect_present 'C:\Apps\日本語\メモ.txt' 'C:\Apps\日本語\ヂ.txt' 'C:\Apps\Half\―a.txt' \
    'C:\Apps\Half\――a.txt'
  expect_flag_cleared DelivUtility "$work/list-before"
}

# Names no Windows folder can hold, found on disk: one with backslashes that reads as a way
# out of its folder, a folder likewise, and names with a colon and a control character. A
# search passes over them: nothing they seem to name elsewhere is touched, and the folders
# holding them are not empty, so they stay (an extra folder, and the swept install folder).
# Listed files with such names (a wild card, "|", a lead byte alone) name nothing: no failure.
case_names_windows_cannot_hold() {
  lay_out_bystanders
  make_files 'C:\App\Important\keep.txt' 'C:\App\Outbox\scan.pdf'
  make_folders 'C:\App\Other' 'C:\App\ScanFile'
  local outbox
  outbox="$(win 'C:\App\Outbox')"
  printf 'odd\n' | tee "$outbox/..\\Important\\keep.txt" "$outbox/a:b" "$outbox/$(printf 'tab\t')" > /dev/null
  mkdir "$(win 'C:\App\ScanFile')/..\\Other"
  printf '[Extra_Deliv]\r\nFolder00=C:\\App\\Outbox\r\n[UNINSTALL_Files_File]\r\nPATH=C:\\App\\ScanFile\r\n' \
    > "$(list_path)"
  printf '[Files_Deliv]\r\nFILE00=C:\\App\\Important\\*.txt\r\nFILE01=C:\\App\\a|b.txt\r\nFILE02=C:\\App\\a\x95\r\n' \
    >> "$(list_path)"
  run_delivery
  expect_status 0
  expect_default_dialogue
  # The sweep of the file utility's install folder runs for every other list section.
  run_uninstaller y -cFILES '-fC:\Windows\list.ini'
  expect_status 0
  expect_gone 'C:\App\Outbox\scan.pdf'
  expect_present 'C:\App\Important\keep.txt' 'C:\App\Other' 'C:\App\Outbox\a:b' 'C:\App\ScanFile'
  expect_present "$(expectation 'C:\App\Outbox' 'C:\App\Outbox\scan.pdf')"
}

# What the program cannot hand on as code page 932 exactly is refused before anything else:
# its own path (started from a folder "bé", it would find no message file and take the
# built-in APPNAMEFORDLL, another application's registration), a -f path outside code page 932,
# a Japanese one under LC_ALL=C (each would name a missing list file, and the run would say it
# was complete). Each run says why on standard error, ends with exit code 2 and removes nothing.
case_what_code_page_932_cannot_hold() {
  lay_out_bystanders
  lay_out_tool
  list_file 1 0 > "$(list_path)"
  { registry_file; printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n'
    printf '"ScannerUtility"="1"\r\n"Mine"="1"\r\n'; } > "$root/hklm.reg"
  mkdir "$work/bé"
  cp "$bin/uninst.bin" "$work/bé/"
  printf '[STATIC]\r\nAPPNAMEFORDLL=Mine\r\n' > "$work/bé/uninst.ini"
  cp "$(list_path)" "$work/list-before"
  cp "$root/hklm.reg" "$work/registry-before"
  snapshot_machine > "$work/before"
  local run
  for run in module utf8 c-locale; do
    echo "$run:"
    case "$run" in
      module) bin="$work/bé" run_uninstaller y -cFiles_File '-fC:\Windows\list.ini' ;;
      utf8) locale=C.UTF-8 run_uninstaller y -cFiles_Deliv '-fC:\Café\list.ini' ;;
      c-locale) locale=C run_uninstaller y -cFiles_Deliv '-fC:\データ\list.ini' ;;
    esac
    expect_status "$(expectation 2 0)"
    : | expect_bytes "standard output: nothing asked" "$work/stdout"
    if grep -q 'nothing was removed' "$work/stderr"; then pass "says why"; else fail "no reason given"; fi
  done
  expect_machine_unchanged
  expect_same_bytes "registry file" "$work/registry-before" "$root/hklm.reg"
  expect_same_bytes "list file" "$work/list-before" "$(list_path)"
}

# --- symbolic links --------------------------------------------------------------------

# Folders and files a link may point to: one outside the machine root, one on another drive
# of it. Both must come out of every case exactly as they went in.
lay_out_targets() {
  mkdir -p "$work/elsewhere/documents/sub" "$work/elsewhere/empty" "$(win 'D:\Target\Empty')"
  printf 'precious\n' > "$work/elsewhere/documents/a.doc"
  printf 'precious too\n' > "$work/elsewhere/documents/sub/b.doc"
  printf 'a file elsewhere\n' > "$work/elsewhere/file.txt"
  make_files 'D:\Target\keep.txt' 'D:\Target\Tool\a.exe' 'D:\Target\Tool\Data\b.dat'
  make_folders 'D:\Target\Tool\Empty'
  snapshot_targets > "$work/targets-before"
}

snapshot_targets() {
  snapshot "$work/elsewhere"
  snapshot "$(win 'D:\')"
}

expect_targets_intact() {
  snapshot_targets > "$work/targets-after"
  expect_same_bytes "everything the links point to" "$work/targets-before" "$work/targets-after"
}

# link WINDOWS_PATH TARGET: a symbolic link at the Windows path to a native target.
link() {
  local at
  at="$(win "$1")"
  mkdir -p "$(dirname "$at")"
  ln -s "$2" "$at"
}

# An extra folder that is a link, to a folder outside the root and to one on drive D: the
# folders pointed to keep every file.
case_link_as_extra_folder() {
  lay_out_bystanders
  lay_out_targets
  link 'C:\Apps\Tool\Outbox' "$work/elsewhere/documents"
  link 'C:\Apps\Tool\Sent' "$(win 'D:\Target')"
  printf '[Utility]\r\nDelivUtility=1\r\n[Extra_Deliv]\r\nFolder00=C:\\Apps\\Tool\\Outbox\r\nFolder01=C:\\Apps\\Tool\\Sent\r\n' \
    > "$(list_path)"
  ((sabotage)) && rm "$work/elsewhere/documents/sub/b.doc"
  run_delivery
  expect_status 0
  expect_default_dialogue
  expect_targets_intact
  expect_present 'C:\Apps\Tool\notes.txt'
}

# Entries of an extra folder that are links, to a file and to folders elsewhere: the
# folder's own files go, the files and folders linked to stay.
case_link_inside_extra_folder() {
  lay_out_bystanders
  lay_out_targets
  make_files 'C:\Apps\Tool\Outbox\scan-0001.pdf'
  link 'C:\Apps\Tool\Outbox\file.lnk' "$work/elsewhere/file.txt"
  link 'C:\Apps\Tool\Outbox\documents' "$work/elsewhere/documents"
  link 'C:\Apps\Tool\Outbox\target' "$(win 'D:\Target')"
  printf '[Utility]\r\nDelivUtility=1\r\n[Extra_Deliv]\r\nFolder00=C:\\Apps\\Tool\\Outbox\r\n' > "$(list_path)"
  run_delivery
  expect_status 0
  expect_default_dialogue
  expect_gone 'C:\Apps\Tool\Outbox\scan-0001.pdf'
  ((sabotage)) && rm "$work/elsewhere/file.txt"
  expect_targets_intact
  expect_present 'C:\Apps\Tool\notes.txt'
}

# An install path, files and folders listed through a folder that is a link: nothing behind
# the link is deleted or removed, and the listed files that stay there are named.
case_link_in_install_path() {
  lay_out_bystanders
  lay_out_targets
  link 'C:\Apps\Linked' "$(win 'D:\Target')"
  crlf > "$(list_path)" <<'EOF2'
[Utility]
DelivUtility=1
[UNINSTALL_Files_Deliv]
PATH=C:\Apps\Linked\Tool\Empty
[Files_Deliv]
FILE00=C:\Apps\Linked\Tool\a.exe
FILE01=C:\Apps\Linked\Tool\Data\b.dat
[Paths_Deliv]
PATH00=C:\Apps\Linked\Tool\Data
PATH01=C:\Apps\Linked\Tool\Empty
EOF2
  ((sabotage)) && rm "$(win 'D:\Target\Tool\a.exe')"
  run_delivery
  expect_status 0
  { prompt_and_completion y | sed '$d'
    printf 'Some items could not be removed:\nC:\\Apps\\Linked\\Tool\\a.exe\nC:\\Apps\\Linked\\Tool\\Data\\b.dat\n'
  } | expect_bytes "standard output" "$work/stdout"
  expect_targets_intact
  expect_present 'C:\Apps\Tool\notes.txt'
}

# A listed folder that is itself a link (PATH00), and a file listed that is a link: the
# links may go, what they point to stays, and so do the parents that still hold something.
case_link_as_listed_folder() {
  lay_out_bystanders
  lay_out_targets
  link 'C:\Apps\Tool\Data' "$work/elsewhere/empty"
  link 'C:\Apps\Tool\More' "$(win 'D:\Target\Tool\Empty')"
  link 'C:\Apps\Tool\file.lnk' "$work/elsewhere/file.txt"
  crlf > "$(list_path)" <<'EOF2'
[Utility]
DelivUtility=1
[Files_Deliv]
FILE00=C:\Apps\Tool\file.lnk
[Paths_Deliv]
PATH00=C:\Apps\Tool\Data
PATH01=C:\Apps\Tool\More
EOF2
  ((sabotage)) && rmdir "$work/elsewhere/empty"
  run_delivery
  expect_status 0
  expect_default_dialogue
  expect_gone 'C:\Apps\Tool\file.lnk'
  expect_targets_intact
  expect_present 'C:\Apps\Tool\notes.txt'
}

# The file utility's install folder holds links to empty folders: its empty subfolders are
# swept, the links and the folders they point to are left alone.
case_link_in_swept_install_folder() {
  lay_out_bystanders
  lay_out_targets
  make_folders 'C:\Apps\ScanFile\Cache'
  link 'C:\Apps\ScanFile\Empty' "$work/elsewhere/empty"
  link 'C:\Apps\ScanFile\Other' "$(win 'D:\Target\Tool\Empty')"
  printf '[UNINSTALL_Files_File]\r\nPATH=C:\\Apps\\ScanFile\r\n' > "$(list_path)"
  ((sabotage)) && rmdir "$(win 'D:\Target\Tool\Empty')"
  # The sweep runs for every list section but the delivery utility's.
  run_uninstaller y -cFILES '-fC:\Windows\list.ini'
  expect_status 0
  expect_default_dialogue
  expect_gone 'C:\Apps\ScanFile\Cache'
  expect_targets_intact
  expect_present 'C:\Apps\ScanFile\Empty' 'C:\Apps\ScanFile\Other'
}

# --- main ------------------------------------------------------------------------------

run_case "$case_name"
