#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the Debian packages of every part that builds here (the library,
# its development files, the tool, the GStreamer plugin, the Wireshark
# plugin when Wireshark's development files are installed, and the baresip
# module when baresip and libre's development files are) and leaves the
# .deb files in build/packages/. The build uses Debian's own compiler and
# linker flags (dpkg-buildflags) and its own folder, build/package-tree.
#   G723_DEB_MAINTAINER="Name <address>"  the packages' Maintainer field
#   SOURCE_DATE_EPOCH   the date of every file in the packages (default: the
#                       date of the latest entry of cmake/debian/changelog),
#                       so that the same sources give the same packages
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

cmake --preset packages \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" "${launcher[@]}" >/dev/null
cmake --build "$tree" -j"$(nproc)"
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l cmake/debian/changelog -STimestamp)}
export SOURCE_DATE_EPOCH
rm -rf "$out" "$tree/_CPack_Packages"
(cd "$tree" && cpack -G DEB -B "$tree/cpack" >"$tree/cpack.log" 2>&1) || {
  cat "$tree/cpack.log" >&2
  exit 1
}
# "Multi-Arch: same" for the library and its development files (their
# files are the same on every architecture or lie in its own folder), which
# CPack cannot write: each is unpacked and packed again with the field.
for deb in "$tree"/cpack/libg723-1_*.deb "$tree"/cpack/libg723-dev_*.deb; do
  unpacked=$tree/multiarch
  rm -rf "$unpacked"
  dpkg-deb -R "$deb" "$unpacked"
  sed -i '/^Architecture:/a Multi-Arch: same' "$unpacked/DEBIAN/control"
  dpkg-deb --root-owner-group -Zxz -b "$unpacked" "$deb" >/dev/null
  rm -rf "$unpacked"
done
mkdir -p "$out"
mv "$tree"/cpack/*.deb "$out/"
ls "$out"
