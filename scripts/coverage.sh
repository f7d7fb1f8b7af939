#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Line and branch coverage of the test suite, per folder.
#   scripts/coverage.sh                 the whole CTest suite, and the Python tests
#   scripts/coverage.sh -R Rtp          only the tests ctest -R selects (no Python)
# Builds with gcc's coverage instrumentation (unoptimized) in build/coverage,
# runs the tests, and writes with gcovr, into build/coverage-report:
#   summary.txt      lines and branches per folder (g723/, rtp/, media/,
#                    tools/, the plugins, the Python binding's C++)
#   files.txt        lines and branches per file, with the lines not run
#   index.html       the same as pages, each file's lines and branches marked
# COVERAGE_BUILD and COVERAGE_REPORT name other folders; COVERAGE_TARGETS
# builds only the targets named, COVERAGE_OPTIONS adds configure options
# (the smoke test uses both: the library and one test). Branches the
# compiler adds for exceptions and branches it proves unreachable are not
# counted.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${COVERAGE_BUILD:-$root/build/coverage}
report=${COVERAGE_REPORT:-$root/build/coverage-report}
jobs=${COVERAGE_JOBS:-$(nproc)}
command -v gcovr >/dev/null || scripts/install-deps.sh

# The preset coverage of CMakePresets.json: unoptimized, with atomic
# counters (the suite's many-threads and real-time tests would otherwise race
# on them and leave counts gcov prints as negative).
cmake --preset coverage -B "$build" ${COVERAGE_OPTIONS:-} >/dev/null
targets=()
for target in ${COVERAGE_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$build" -j"$jobs" "${targets[@]}" >/dev/null
# Counts from an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
rm -rf "$report" && mkdir -p "$report"

status=0
python_ran=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" "$@" >"$report/ctest.log" 2>&1 || status=$?
tail -n 3 "$report/ctest.log"

# The Python binding: built by its own package build (CMake, Release) with
# the instrumentation added, into a folder of the build, and its tests run
# against it. Only the binding's own objects are counted from there: the
# libraries beneath it are counted from the unoptimized build above (the
# same sources at -O3 would give other lines and branches to merge).
if [[ $# -eq 0 && ${COVERAGE_PYTHON:-1} != 0 ]]; then
  python_build=$build/python
  rm -rf "$python_build" && mkdir -p "$python_build"
  if (cd python && CFLAGS="--coverage -fprofile-update=atomic" CXXFLAGS="--coverage -fprofile-update=atomic" \
        LDFLAGS=--coverage G723_BUILD_JOBS=$jobs \
        /usr/bin/python3 setup.py -q build --build-base "$python_build" >"$report/python-build.log" 2>&1); then
    lib=$(find "$python_build" -maxdepth 1 -name 'lib.*' | head -n 1)
    (cd "$python_build" && G723_TOOL=$build/tools/g723 PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=$lib \
       /usr/bin/python3 -m pytest -p no:cacheprovider -q "$root/python/tests" >"$report/pytest.log" 2>&1) || status=$?
    tail -n 1 "$report/pytest.log"
    python_ran=1
    find "$python_build" \( -name '*.gcda' -o -name '*.gcno' \) -not -path '*/g723_python.dir/*' -delete
  else
    echo "coverage: the Python binding did not build (see $report/python-build.log)" >&2
    status=1
  fi
fi

# The counts into JSON, then the reports from it: the build's own, and the
# Python binding's own sources from its package build.
gcovr_options=(--root "$root" --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors
               --exclude "$root/tests/" --exclude "$root/fuzz/" --exclude "$root/bench/" --exclude '/usr/'
               --exclude "$build/")
gcovr "${gcovr_options[@]}" --exclude-directories "$build/python" --json "$report/build.json" -j"$jobs" "$build" \
  2>"$report/gcovr.log"
tracefiles=(--add-tracefile "$report/build.json")
if [[ $python_ran == 1 ]]; then
  gcovr "${gcovr_options[@]}" --filter "$root/python/" --json "$report/python.json" -j"$jobs" "$build/python" \
    2>>"$report/gcovr.log"
  tracefiles+=(--add-tracefile "$report/python.json")
fi
gcovr "${tracefiles[@]}" --root "$root" --json "$report/coverage.json" 2>>"$report/gcovr.log"
gcovr --add-tracefile "$report/coverage.json" --root "$root" --txt "$report/files.txt" \
  --html-details "$report/index.html" --html-title "g723 test coverage" 2>>"$report/gcovr.log"
python3 scripts/coverage_summary.py "$report/coverage.json" | tee "$report/summary.txt"
echo "coverage: reports in $report (summary.txt, files.txt, index.html)"
exit $status
