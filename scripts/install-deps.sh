#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tool need, when
# they are missing. Safe to run again; does nothing when all are present.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev libsoxr-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}"
fi
