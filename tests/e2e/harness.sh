# shellcheck shell=bash
# The harness shared by the end-to-end scripts (uninstall_cases.sh and
# ../hostile/hostile_cases.sh): reporting, the machine root, running the program, the checks
# both make, and the main part that runs one case. It defines no cases of its own.
#
# The script sourcing it sets, before it runs a case:
#   sabotage   1 when one expectation is to be made wrong on purpose, else 0
#   work       the temporary folder of the run
#   root       the machine root, below work
#   bin        the folder holding the copy of the program (uninst.bin), below work
# shellcheck disable=SC2154  # sabotage, work, root and bin: see above

failures=0
status=0    # the exit code of the last run of the program
display=""  # the X display the program sees; none unless a case starts one
locale=""   # the program's LC_ALL when a case sets one; else the caller's

# --- reporting -------------------------------------------------------------------------

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

pass() {
  echo "ok: $*"
}

# Its first argument normally, its second when the case runs sabotaged.
expectation() {
  if ((sabotage)); then printf '%s' "$2"; else printf '%s' "$1"; fi
}

# --- the machine -----------------------------------------------------------------------

# The native path of a Windows path on the machine root: C:\A\B -> root/drive_c/A/B. The
# scripts write Japanese names in UTF-8, as the program writes them on disk.
win() {
  local path="$1" drive rest
  drive="$(printf '%s' "${path:0:1}" | tr 'A-Z' 'a-z')"
  rest="${path:2}"
  printf '%s/drive_%s%s' "$root" "$drive" "${rest//\\//}"
}

# Creates files (with a line of content naming them) from Windows paths.
make_files() {
  local path target
  for path in "$@"; do
    target="$(win "$path")"
    mkdir -p "$(dirname "$target")"
    printf 'content of %s\n' "$path" > "$target"
  done
}

make_folders() {
  local path
  for path in "$@"; do mkdir -p "$(win "$path")"; done
}

# Text with CR LF line ends, as the installers write their files.
crlf() {
  sed 's/$/\r/'
}

# UTF-8 text in code page 932 (Shift-JIS), as a Japanese installer writes its files.
cp932() {
  iconv -f UTF-8 -t CP932
}

# --- running ---------------------------------------------------------------------------

# Runs the program with ANSWER as its standard input (a line; "<eof>" for no input at all),
# from a folder that is not the machine root, on $display or without a display.
run_uninstaller() {
  local answer="$1"
  shift
  local input="$work/answer"
  if [ "$answer" = "<eof>" ]; then : > "$input"; else printf '%s\n' "$answer" > "$input"; fi
  local environment=(env -u DISPLAY)
  [ -n "$display" ] && environment=(env DISPLAY="$display")
  [ -n "$locale" ] && environment+=(LC_ALL="$locale")
  # A case that may hang the program sets time_limit (seconds) for the run.
  [ -n "${time_limit:-}" ] && environment=(timeout "$time_limit" "${environment[@]}")
  (cd "$work" && "${environment[@]}" UNINST_ROOT="$root" "$bin/uninst.bin" "$@" < "$input" > "$work/stdout" 2> "$work/stderr")
  status=$?
}

# snapshot FOLDER [LEFT_OUT...]: every entry below a folder with its type, permissions, link
# target and content checksum; the paths LEFT_OUT (written ./a/b, from the folder) are not
# part of it.
snapshot() {
  local folder="$1" left_out=() path
  shift
  for path in "$@"; do left_out+=(! -path "$path"); done
  (
    cd "$folder" || exit 1
    find . "${left_out[@]}" -printf '%y %m %p %l\n' | LC_ALL=C sort
    find . -type f "${left_out[@]}" -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum
  )
}

# --- checks ----------------------------------------------------------------------------

expect_status() {
  if [ "$status" = "$1" ]; then pass "exit code $1"; else fail "exit code $status, expected $1"; fi
}

expect_gone() {
  local path
  for path in "$@"; do
    if [ -e "$(win "$path")" ] || [ -L "$(win "$path")" ]; then fail "$path still there"; else pass "$path gone"; fi
  done
}

# --- expected texts --------------------------------------------------------------------

# What the program prints with its built-in texts when the user answers ANSWER and it runs
# to the end.
prompt_and_completion() {
  printf '\n[Uninstaller]\nUninstall Programs.\nAre you Sure ?\n[y/N] %s\n\n[Complete]\nUninstall is Complete\n' "$1"
}

# --- main ------------------------------------------------------------------------------

# run_case NAME: runs the case NAME (the function case_NAME); exits with 1 if a check
# failed, with 2 if there is no such case.
run_case() {
  local case_name="$1"
  if [ "$(type -t "case_$case_name")" != "function" ]; then
    echo "no case named $case_name" >&2
    exit 2
  fi
  ((sabotage)) && echo "(sabotaged: one expectation is wrong on purpose)"
  "case_$case_name"
  if ((failures)); then
    echo "$failures check(s) failed in $case_name"
    exit 1
  fi
  echo "all checks passed in $case_name"
}
