#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The same bits on ARM64 and Windows. Cross-builds the library for
# aarch64-linux-gnu (build-arm64/) and x86_64-w64-mingw32 (build-windows/)
# with the toolchain files in cmake/, then checks under emulation that
#  1. the conformance program (tests/conformance) prints the native build's
#     digests of the coded and decoded bits, for every combination of silence
#     compression, high-pass filter and postfilter: under Wine on the bundled
#     sample and the whole speech corpus (scripts/make-speech-corpus.sh),
#     under qemu-aarch64, which runs about twenty times slower, on the sample
#     and the first 15 s of each of the corpus's six takes;
#  2. the library's unit tests and its exported-symbol checks pass under
#     qemu-aarch64;
#  3. the DLL exports exactly the calls of g723/g723.h and imports only
#     Windows' own DLLs (x86_64-w64-mingw32-objdump -p), and the public header
#     builds into a Windows program that runs under Wine.
# Wine's prefix lives in build-windows/wine, so only the first run pays for
# setting it up. Needs the native build in build/ (scripts/test.sh makes it).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
start=$SECONDS
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
step() { echo "== cross: $1 ($((SECONDS - start)) s)"; }

# Only the library, its tests and the conformance program: the calls library,
# the tool and the plugin need packages of their own for each target.
# (the presets arm64 and windows of CMakePresets.json)
step "builds"
cmake --build build -j"$jobs" --target g723_conformance >/dev/null
cmake --preset arm64 >/dev/null
cmake --build build-arm64 -j"$jobs" --target g723_conformance g723_unit_tests \
  g723_exported_calls_check g723_c_header_check >/dev/null
cmake --preset windows >/dev/null
cmake --build build-windows -j"$jobs" --target g723_conformance g723_c_header_check >/dev/null

step "Windows DLL tables and header check"
export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
"$wine" cmd /c exit >/dev/null 2>&1 || true  # sets up the prefix on the first run
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
ctest --test-dir build-windows --output-on-failure -R '^(dll_tables|c_header_check)$' -V |
  grep -E '^[0-9]+: -- (exports|imports)' || true
ctest --test-dir build-windows --output-on-failure -R '^(dll_tables|c_header_check)$' >/dev/null

step "speech corpus and raw inputs"
results=build-cross
rm -rf "$results" && mkdir -p "$results/short" "$results/long"
scripts/make-speech-corpus.sh "$results/speech-corpus" >/dev/null
# Raw 16-bit little-endian 8 kHz mono: the sample and the corpus's takes
# whole (long/), the sample and each take's first 15 s (short/).
/usr/bin/python3 - "$results" samples/speech.wav "$results"/speech-corpus/*.wav <<'PY'
import os, sys, wave
out = sys.argv[1]
for path in sys.argv[2:]:
    with wave.open(path) as w:
        if (w.getframerate(), w.getnchannels(), w.getsampwidth()) != (8000, 1, 2):
            sys.exit(f"{path}: not 8 kHz 16-bit mono")
        pcm = w.readframes(w.getnframes())
    stem = os.path.splitext(os.path.basename(path))[0]
    for folder, length in ("long", len(pcm)), ("short", 15 * 8000 * 2):
        with open(os.path.join(out, folder, stem + ".raw"), "wb") as f:
            f.write(pcm[:length])
PY
short=("$results"/short/*.raw)
long=("$results"/long/*.raw)

step "ARM64 unit tests and conformance digests under qemu-aarch64"
qemu=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
# The two emulated runs side by side, one per core.
"${qemu[@]}" build-arm64/tests/conformance/g723_conformance "${short[@]}" >"$results/arm64-short.txt" &
conformance=$!
"${qemu[@]}" build-arm64/tests/g723_unit_tests --gtest_brief=1
ctest --test-dir build-arm64 --output-on-failure -R '^(exported_|c_header_check$)'
wait $conformance

step "native and Windows conformance digests"
build/tests/conformance/g723_conformance "${short[@]}" >"$results/native-short.txt"
build/tests/conformance/g723_conformance "${long[@]}" >"$results/native-long.txt"
"$wine" build-windows/bin/g723_conformance.exe "${long[@]}" | tr -d '\r' >"$results/windows-long.txt"
"$wine" build-windows/bin/g723_conformance.exe "${short[@]}" | tr -d '\r' >"$results/windows-short.txt"
status=0
for run in arm64-short windows-short windows-long; do
  native=$results/native-${run#*-}.txt
  if diff -u "$native" "$results/$run.txt"; then
    echo "$run: $(wc -l <"$results/$run.txt") digest lines equal to the native build's"
  else
    echo "$run: digests differ from the native build's" >&2
    status=1
  fi
done
step "done"
times_file=$(mktemp)
times >"$times_file"
echo "== cross: processor time (user, system): $(tail -n 1 "$times_file")"
rm -f "$times_file"
exit $status
