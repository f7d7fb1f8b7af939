#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the Debian packages of every part that builds here (the library,
# its development files, the tool, the GStreamer plugin, the Wireshark
# plugin when Wireshark's development files are installed, and the baresip
# module when baresip and libre's development files are) and leaves the
# .deb files in build/packages/. The build uses Debian's own compiler and
# linker flags (dpkg-buildflags) and its own folder, build/package-tree.
#   G723_DEB_MAINTAINER="Name <address>"  the packages' Maintainer field
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tree=$root/build/package-tree
out=$root/build/packages

# Debian's hardening flags (stack protector, fortified calls, read-only
# relocations, source paths in the binaries relative to the project). No
# debugging information: the packages are stripped and there is no debug
# symbol package.
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
eval "$(dpkg-buildflags --export=sh)"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" \
  -DG723_DEBIAN_PACKAGES=ON -DG723_BUILD_TESTS=OFF -DG723_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$tree" -j"$(nproc)"
rm -rf "$out" "$tree/_CPack_Packages"
(cd "$tree" && cpack -G DEB -B "$tree/cpack" >"$tree/cpack.log" 2>&1) || {
  cat "$tree/cpack.log" >&2
  exit 1
}
mkdir -p "$out"
mv "$tree"/cpack/*.deb "$out/"
ls "$out"
