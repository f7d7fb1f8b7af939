#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The same bits on ARM64 and Windows. Cross-builds the library for
# aarch64-linux-gnu (build-arm64/) and x86_64-w64-mingw32 (build-windows/)
# with the toolchain files in cmake/, then checks under emulation that
#  1. the conformance program (tests/conformance) prints the native build's
#     digests of the coded and decoded bits, for every combination of silence
#     compression, high-pass filter and postfilter, on the bundled sample and
#     on the speech corpus given by CORPUS (WAV files; default: none), under
#     qemu-aarch64 and under Wine;
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
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
step() { echo "== cross: $1 ($((SECONDS - start)) s)"; }

# Only the library, its tests and the conformance program: the calls library,
# the tool and the plugin need packages of their own for each target.
cross_options=(-DCMAKE_BUILD_TYPE=Release -DG723_BUILD_TESTS=ON -DG723_BUILD_RTP=OFF
               -DG723_BUILD_TOOL=OFF -DG723_BUILD_GST=OFF -DG723_BUILD_BENCH=OFF)
step "builds"
cmake --build build -j"$jobs" --target g723_conformance >/dev/null
cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake "${cross_options[@]}" >/dev/null
cmake --build build-arm64 -j"$jobs" --target g723_conformance g723_unit_tests \
  g723_exported_calls_check g723_c_header_check >/dev/null
cmake -S . -B build-windows --toolchain cmake/x86_64-w64-mingw32.cmake "${cross_options[@]}" >/dev/null
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

step "ARM64 unit tests under qemu-aarch64"
qemu=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
"${qemu[@]}" build-arm64/tests/g723_unit_tests --gtest_brief=1
ctest --test-dir build-arm64 --output-on-failure -R '^(exported_|c_header_check$)'

step "conformance digests"
inputs=build-cross/inputs
rm -rf "$inputs" && mkdir -p "$inputs"
# Raw 16-bit little-endian 8 kHz mono from each WAV file.
/usr/bin/python3 - "$inputs" samples/speech.wav ${CORPUS:-} <<'PY'
import os, sys, wave
out = sys.argv[1]
for path in sys.argv[2:]:
    with wave.open(path) as w:
        if (w.getframerate(), w.getnchannels(), w.getsampwidth()) != (8000, 1, 2):
            sys.exit(f"{path}: not 8 kHz 16-bit mono")
        name = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".raw")
        with open(name, "wb") as f:
            f.write(w.readframes(w.getnframes()))
PY
raws=("$inputs"/*.raw)
results=build-cross
build/tests/conformance/g723_conformance "${raws[@]}" >"$results/native.txt"
"${qemu[@]}" build-arm64/tests/conformance/g723_conformance "${raws[@]}" >"$results/arm64.txt"
"$wine" build-windows/bin/g723_conformance.exe "${raws[@]}" | tr -d '\r' >"$results/windows.txt"
status=0
for build in arm64 windows; do
  if diff -u "$results/native.txt" "$results/$build.txt"; then
    echo "$build: $(wc -l <"$results/$build.txt") digest lines equal to the native build's"
  else
    echo "$build: digests differ from the native build's" >&2
    status=1
  fi
done
step "done"
exit $status
