#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The hardening part of CI, after the main test suite:
#  1. every libFuzzer target (fuzz/) built with clang under AddressSanitizer
#     and UndefinedBehaviorSanitizer, and run for a bounded time on a scratch
#     copy of its seed corpus; any crash, invariant failure, leak, time-out or
#     memory blow-up fails the run, and the input is kept in build-fuzz/findings;
#  2. the whole test suite built and run under AddressSanitizer and
#     UndefinedBehaviorSanitizer, with the standard library's bounds checks
#     (_GLIBCXX_ASSERTIONS: an index past a vector, array or span), halting
#     on the first report;
#  3. the many-threads test built under ThreadSanitizer and run.
# FUZZ_SECONDS sets the time per target (default 15); each stage prints
# what it cost.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-15}
# The configurations are the presets fuzz, asan and tsan (CMakePresets.json):
# the fuzz targets are optimized enough to run at a useful speed; the
# sanitized test suite is built unoptimized, which halves the whole stage on
# two cores (its tests are short either way).

stage_start=$SECONDS
times_file=$(mktemp)
stage() { echo "== hardening: $1"; stage_start=$SECONDS; }
# Wall time of the stage, and the processor time of everything run so far.
cost() {
  echo "== hardening: $1 took $((SECONDS - stage_start)) s"
  times >"$times_file"
  echo "== hardening: processor time so far (user, system): $(tail -n 1 "$times_file")"
}

stage "fuzz targets (clang, ASan + UBSan, ${fuzz_seconds} s each)"
cmake --preset fuzz >/dev/null
targets=()
for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build build-fuzz -j"$jobs" --target "${targets[@]}" >/dev/null
cost "fuzz build"

stage "fuzz runs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch" "$times_file"' EXIT
mkdir -p build-fuzz/findings
run_target() {
  local target=$1 corpus="$scratch/corpus/$1" options=()
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
  if build-fuzz/fuzz/"$target" -max_total_time="$fuzz_seconds" -timeout=20 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$target-" "${options[@]}" "$corpus" \
       >"$scratch/$target.log" 2>&1; then
    echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/$target.log" | tail -n 1)"
  else
    echo "$target: FAILED" >&2
    tail -n 60 "$scratch/$target.log" >&2
    return 1
  fi
}
export -f run_target
export scratch fuzz_seconds
# Two targets at a time; every target runs even when one fails.
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_target {}' || {
  echo "== hardening: a fuzz target found a fault (inputs in build-fuzz/findings)" >&2
  exit 1
}
cost "fuzz runs"

stage "test suite under ASan + UBSan"
cmake --preset asan >/dev/null
cmake --build build-asan -j"$jobs" >/dev/null
cost "ASan + UBSan build"
stage "ASan + UBSan tests"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
cost "ASan + UBSan tests"

stage "threads under TSan"
cmake --preset tsan >/dev/null
cmake --build build-tsan -j"$jobs" --target g723_thread_tests >/dev/null
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/threads/g723_thread_tests
cost "TSan build and test"
