#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs the Debian packages the project needs, when they are missing.
#   scripts/install-deps.sh core   the library and the g723 tool only
#   scripts/install-deps.sh        everything: tests, plugins, Python, page,
#                                  cross builds, fuzzers, peer benchmark
# Safe to run again; does nothing when all are present. None of these
# carries another implementation of G.723.1: GStreamer comes as the core,
# "base" and "good" sets only (the "good" set holds the RTP payloader and
# depayloader, not a codec), and everything is installed without
# recommendations, which would pull in media libraries that do.
set -euo pipefail
core=(
  # library and tool
  cmake g++ make pkg-config libsndfile1-dev libsoxr-dev
  # packet captures and RTP (the calls library), SRTP
  libpcap-dev libsrtp2-dev
)
rest=(
  # tests and benchmarks
  libgtest-dev googletest libbenchmark-dev tcpdump
  # coverage reports (scripts/coverage.sh)
  gcovr
  # GStreamer plugin and its tests
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # fuzzing and sanitizers
  clang libclang-rt-14-dev valgrind
  # Python package, and captures on Dask
  python3-dev python3-venv python3-pip python3-setuptools python3-pybind11
  python3-numpy python3-pytest python3-pandas python3-dask python3-distributed
  # Wireshark codec plugin and its tests
  libwireshark-dev libwsutil-dev tshark wireshark-common
  # baresip codec module and its tests: baresip's core alone (its
  # metapackage recommends a media library), libre's headers and flags,
  # SIPp as the other endpoint
  baresip-core libre-dev librem-dev sip-tester
  # Debian packages, man page, bash completion
  lintian scdoc bash-completion dpkg-dev
  # the page: WebAssembly and a headless browser
  emscripten node-acorn chromium
  # libpcap for the page, built from its Debian source package
  flex bison
  # the same bits on ARM64 and Windows, under emulation, on synthetic speech
  g++-aarch64-linux-gnu g++-mingw-w64-x86-64 qemu-user wine64 espeak-ng
  # peer codecs, for the side-by-side benchmark only
  libopus-dev libspeex-dev libopencore-amrnb-dev libgsm1-dev libcodec2-dev
)
packages=("${core[@]}")
[ "${1:-all}" = core ] || packages+=("${rest[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
