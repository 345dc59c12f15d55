#!/usr/bin/env bash
# Replays the committed seed corpora through every fuzz target, then fuzzes each target for
# a bounded time. A crash or a broken property fails the run; libFuzzer leaves the input that
# caused it (crash-*, leak-*, timeout-*) in the artifact folder, to be added to the corpus
# once the bug is fixed.
#
#   run.sh [BUILD_DIR] [TARGET...]
#
# BUILD_DIR   the fuzz preset's build folder (default: build/fuzz beside this script's tree)
# TARGET      fuzz only these targets (default: all of them)
#
# Environment:
#   FUZZ_SECONDS   time spent fuzzing each target, in seconds (default 30; 0 only replays)
#   FUZZ_JOBS      libFuzzer worker processes per target (default 1)
#   FUZZ_ARTIFACTS folder for crash inputs (default BUILD_DIR/fuzz-artifacts)
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="${1:-$source_dir/build/fuzz}"
shift $(($# > 0 ? 1 : 0))
seconds="${FUZZ_SECONDS:-30}"
jobs="${FUZZ_JOBS:-1}"
artifacts="${FUZZ_ARTIFACTS:-$build_dir/fuzz-artifacts}"

targets=("$@")
if ((${#targets[@]} == 0)); then
  for corpus in "$here"/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
  program="$build_dir/tests/fuzz/$target"
  seeds="$here/corpus/$target"
  if [ ! -x "$program" ]; then
    echo "== $target: not built ($program); build the fuzz preset first" >&2
    failed+=("$target")
    continue
  fi

  echo "== $target: replaying $(find "$seeds" -type f | wc -l) seed input(s)"
  if ! "$program" -runs=0 "$seeds"; then
    failed+=("$target")
    continue
  fi
  ((seconds > 0)) || continue

  # New inputs found while fuzzing go to a scratch corpus, so the committed one stays small;
  # keep the interesting ones by hand (libFuzzer's -merge=1 picks them).
  scratch="$build_dir/fuzz-corpus/$target"
  mkdir -p "$scratch"
  echo "== $target: fuzzing for ${seconds}s"
  parallel=()
  ((jobs > 1)) && parallel=(-jobs="$jobs" -workers="$jobs")
  if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${parallel[@]}" \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$scratch" "$seeds"; then
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]} (inputs in $artifacts)"
  exit 1
fi
echo "all fuzz targets passed"
