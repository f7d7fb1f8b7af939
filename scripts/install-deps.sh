#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs the Debian packages the build, the tests, the tool, the GStreamer
# plugin, the Python package, the fuzzers and the peer benchmark need, when
# they are missing. Safe to run again; does nothing when all are present.
# None of these carries another implementation of G.723.1: GStreamer comes
# as the core, "base" and "good" sets only (the "good" set holds the RTP
# payloader and depayloader, not a codec).
set -euo pipefail
packages=(
  # library, tool, tests and benchmarks
  cmake g++ make pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev libsoxr-dev
  # packet captures and RTP
  libpcap-dev tcpdump
  # GStreamer plugin and its tests
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # fuzzing and sanitizers
  clang libclang-rt-14-dev valgrind
  # Python package
  python3-dev python3-venv python3-pip python3-setuptools python3-pybind11
  python3-numpy python3-pytest
  # peer codecs, for the side-by-side benchmark only
  libopus-dev libspeex-dev libopencore-amrnb-dev libgsm1-dev libcodec2-dev
)
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
