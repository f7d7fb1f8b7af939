#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the Debian packages (scripts/make-packages.sh) and checks them as a
# user meets them, without installing anything:
#  - each package holds exactly its files, with no trace of the build tree;
#  - unpacked with dpkg-deb -x into an empty folder, the tool there encodes
#    and decodes the sample (the same bytes and samples as the main build's
#    tool, G723_TOOL, default build/tools/g723) with the library from that
#    folder, its manual page renders without a warning, its completion loads;
#    the GStreamer plugin there loads and codes; baresip loads the codec
#    module there and lists G.723.1; a C program builds against
#    the unpacked development files through pkg-config and runs;
#  - the control fields: Homepage, Multi-Arch: same on the library and its
#    development files, whole descriptions, the Wireshark plugin tied to its
#    Wireshark; the library's symbols file lists exactly its exported calls;
#    the changelog and manual page name the Wireshark plugin;
#  - every date inside the packages (their ar members and every entry of
#    their tar archives) is SOURCE_DATE_EPOCH (scripts/package_dates.py,
#    shown to refuse a package made without it), and made again from the
#    same build, the packages are the same bytes;
#  - lintian reports no error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tool=${G723_TOOL:-$root/build/tools/g723}
[ -x "$tool" ] || { echo "no g723 tool at $tool: build the main tree first, or set G723_TOOL" >&2; exit 1; }
scripts/make-packages.sh >/dev/null
packages=$root/build/packages
version=$(sed -nE 's/^project\(g723 VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=usr/lib/$multiarch
gst_dir=$(pkg-config --variable=pluginsdir gstreamer-1.0)
completions=$(pkg-config --variable=completionsdir bash-completion)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
faults=0
fail() { echo "FAIL: $*" >&2; faults=$((faults + 1)); }

# What each package holds besides its copyright and changelog.
declare -A files=(
  [libg723-1]="$libdir/libg723.so.1 $libdir/libg723.so.$version"
  [libg723-dev]="usr/include/g723/g723.h $libdir/libg723.so $libdir/pkgconfig/g723.pc
    $libdir/cmake/g723/g723Config.cmake $libdir/cmake/g723/g723ConfigVersion.cmake
    $libdir/cmake/g723/g723Targets.cmake $libdir/cmake/g723/g723Targets-release.cmake"
  [g723-tools]="usr/bin/g723 usr/share/man/man1/g723.1.gz ${completions#/}/g723"
  [gstreamer1.0-g723]="${gst_dir#/}/libgstg723.so"
)
# The Wireshark plugin is built where Wireshark's development files are.
wireshark_plugins=$(pkg-config --variable=plugindir wireshark 2>/dev/null || true)
if [ -n "$wireshark_plugins" ]; then
  files[wireshark-g723]="${wireshark_plugins#/}/codecs/g723.so"
fi
# The baresip module is built where baresip and libre's headers are.
if [ -x /usr/bin/baresip ] && pkg-config --exists libre; then
  files[baresip-g723]="usr/lib/baresip/modules/g723.so"
fi
expected_debs=$(for p in "${!files[@]}"; do echo "${p}_${version}_$arch.deb"; done | sort)
built_debs=$(cd "$packages" && printf '%s\n' * | sort)
[ "$built_debs" = "$expected_debs" ] ||
  fail "packages built:"$'\n'"$built_debs"$'\n'"expected:"$'\n'"$expected_debs"

for package in "${!files[@]}"; do
  deb=$packages/${package}_${version}_$arch.deb
  [ -f "$deb" ] || continue
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$package: version is not $version"
  listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
  # shellcheck disable=SC2086
  expected=$(printf '%s\n' ${files[$package]} "usr/share/doc/$package/copyright" \
    "usr/share/doc/$package/changelog.gz" | sort)
  if ! difference=$(diff <(echo "$expected") <(echo "$listed")); then
    fail "$package: files ('<' missing, '>' unexpected):"$'\n'"$(grep '^[<>]' <<<"$difference")"
  fi
  # Unpacked alone: no path of the build machine's tree inside, no search
  # path of its own in the binaries.
  dpkg-deb -x "$deb" "$work/$package"
  if found=$(grep -rl --fixed-strings "$root" "$work/$package"); then
    fail "$package: names the build tree: $found"
  fi
  while read -r binary; do
    # grep reads all the input (no -q): with pipefail, a producer cut off by
    # an early exit would fail the pipeline.
    ! objdump -p "$binary" | grep 'R.*PATH' >/dev/null || fail "$package: $binary has an RPATH or RUNPATH"
  done < <(find "$work/$package" -type f \( -name '*.so*' -o -path '*/bin/*' \))
done

# The control fields and the library's symbols file.
for package in "${!files[@]}"; do
  deb=$packages/${package}_${version}_$arch.deb
  [ -f "$deb" ] || continue
  [[ $(dpkg-deb -f "$deb" Homepage) =~ ^https?://[^/]+/ ]] || fail "$package: no Homepage"
  multiarch_field=$(dpkg-deb -f "$deb" Multi-Arch)
  case $package in
    libg723-1 | libg723-dev) [ "$multiarch_field" = same ] || fail "$package: not Multi-Arch: same" ;;
    *) [ "${multiarch_field:-no}" = no ] || fail "$package: Multi-Arch: $multiarch_field" ;;
  esac
done
[[ $(dpkg-deb -f "$packages/gstreamer1.0-g723_${version}_$arch.deb" Description) == *"carry them over RTP." ]] ||
  fail "gstreamer1.0-g723: the description is cut short"
dpkg-deb --ctrl-tarfile "$packages/libg723-1_${version}_$arch.deb" | tar -xO ./symbols >"$work/symbols"
listed_calls=$(sed -n 's/^ \(g723_[a-z_0-9]*\)@G723_1\.0 1\.0\.0$/\1/p' "$work/symbols" | sort)
dpkg-deb -x "$packages/libg723-1_${version}_$arch.deb" "$work/symbols-check"
exported_calls=$(objdump -T "$work/symbols-check/$libdir/libg723.so.1" |
  awk 'NF > 2 && $(NF-1) == "G723_1.0" && $NF ~ /^g723_/ {print $NF}' | sort)
[ "$(grep -c . <<<"$exported_calls")" = 23 ] || fail "libg723.so.1 exports $(grep -c . <<<"$exported_calls") calls, not 23"
[ "$listed_calls" = "$exported_calls" ] || fail "the symbols file does not list exactly the exported calls"
head -n 1 "$work/symbols" | grep -qx "libg723.so.1 libg723-1 #MINVER#" || fail "the symbols file names another library"
if [ -n "${files[wireshark-g723]:-}" ]; then
  deb=$packages/wireshark-g723_${version}_$arch.deb
  series=$(pkg-config --modversion wireshark | cut -d. -f1,2)
  [[ $(dpkg-deb -f "$deb" Depends) == *"wireshark-common (>= $series), wireshark-common (<< "* ]] ||
    fail "wireshark-g723 does not depend on Wireshark $series: $(dpkg-deb -f "$deb" Depends)"
  [ "$(dpkg-deb -f "$deb" Enhances)" = "wireshark, tshark" ] || fail "wireshark-g723: no Enhances"
fi
for package in libg723-1 g723-tools; do
  dpkg-deb --fsys-tarfile "$packages/${package}_${version}_$arch.deb" |
    tar -xO "./usr/share/doc/$package/changelog.gz" | gzip -dc | grep -q Wireshark ||
    fail "$package: the changelog does not name the Wireshark plugin"
done
dpkg-deb --fsys-tarfile "$packages/g723-tools_${version}_$arch.deb" | tar -xO ./usr/share/man/man1/g723.1.gz |
  gzip -dc | grep -q wireshark-g723 || fail "the manual page does not name the Wireshark plugin"

# Every date inside the packages is SOURCE_DATE_EPOCH, as make-packages.sh
# sets it. The check itself refuses a package of one file made without it
# (its files dated a day after the epoch) and passes the same made with it.
epoch=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l cmake/debian/changelog -STimestamp)}
scripts/package_dates.py "$epoch" "$packages"/*.deb >&2 || fail "the packages hold dates other than SOURCE_DATE_EPOCH"
mkdir -p "$work/dated/DEBIAN" "$work/dated/usr/share/doc/dated"
printf '%s\n' "Package: dated" "Version: 1" "Architecture: all" "Maintainer: nobody <nobody@g723.invalid>" \
  "Description: a package dated as it is made" >"$work/dated/DEBIAN/control"
echo dated >"$work/dated/usr/share/doc/dated/note"
find "$work/dated" -exec touch -d "@$((epoch + 86400))" {} +
SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -b "$work/dated" "$work/dated-epoch.deb" >/dev/null
env -u SOURCE_DATE_EPOCH dpkg-deb --root-owner-group -b "$work/dated" "$work/dated-now.deb" >/dev/null
scripts/package_dates.py "$epoch" "$work/dated-epoch.deb" >/dev/null ||
  fail "package_dates.py refuses a package made with SOURCE_DATE_EPOCH"
! scripts/package_dates.py "$epoch" "$work/dated-now.deb" >/dev/null ||
  fail "package_dates.py passes a package made without SOURCE_DATE_EPOCH"

# Made again, the packages are the same bytes.
mkdir "$work/first"
cp "$packages"/*.deb "$work/first/"
scripts/make-packages.sh >/dev/null
for deb in "$work"/first/*.deb; do
  cmp -s "$deb" "$packages/${deb##*/}" || fail "${deb##*/} differs when made again"
done

# Everything unpacked into one empty folder, as apt would install it there.
unpacked=$work/unpacked
mkdir "$unpacked"
for deb in "$packages"/*.deb; do dpkg-deb -x "$deb" "$unpacked"; done
export LD_LIBRARY_PATH=$unpacked/$libdir
g723=$unpacked/usr/bin/g723
ldd "$g723" | grep "libg723.so.1 => $unpacked/" >/dev/null ||
  fail "the unpacked tool loads another libg723.so.1"
[[ $("$g723" --version) =~ ^g723\ $version\ \(library\ [^\)]+\)$ ]] ||
  fail "g723 --version: $("$g723" --version)"
"$g723" encode samples/speech.wav "$work/speech.g723"
"$g723" decode "$work/speech.g723" "$work/speech.wav"
"$tool" encode samples/speech.wav "$work/main.g723"
"$tool" decode "$work/main.g723" "$work/main.wav"
cmp -s "$work/speech.g723" "$work/main.g723" || fail "the packaged tool codes other bits than $tool"
cmp -s "$work/speech.wav" "$work/main.wav" || fail "the packaged tool decodes other samples than $tool"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$unpacked/usr/share/man/man1/g723.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
bash -c "source /usr/share/bash-completion/bash_completion && source '$unpacked$completions/g723' &&
  complete -p g723" >/dev/null || fail "the completion does not load"

export GST_PLUGIN_PATH=$unpacked$gst_dir GST_REGISTRY=$work/registry.bin
inspect=$(gst-inspect-1.0 g723 2>&1)
grep -Eq "^ +Version +$version\$" <<<"$inspect" || fail "gst-inspect-1.0 g723: not version $version"
grep -Eq "Filename +$unpacked" <<<"$inspect" || fail "gst-inspect-1.0 g723: not the unpacked plugin"
gst-launch-1.0 -q filesrc location=samples/speech.wav ! wavparse ! g723enc ! g723dec ! \
  wavenc ! filesink location="$work/gst.wav" || fail "the unpacked plugin does not code"
[ -s "$work/gst.wav" ] || fail "the unpacked plugin wrote nothing"

# Wireshark reads other plugin folders only for an unprivileged user.
if [ -n "$wireshark_plugins" ]; then
  as_user=()
  if [ "$(id -u)" = 0 ]; then
    chmod -R go+rX "$work"
    as_user=(runuser -u nobody --)
  fi
  loaded=$("${as_user[@]}" env HOME="$work" LD_LIBRARY_PATH="$LD_LIBRARY_PATH" \
    WIRESHARK_PLUGIN_DIR="$unpacked${wireshark_plugins%/*}" tshark -G plugins 2>&1 || true)
  grep -q "^g723\.so.*codec.*$unpacked" <<<"$loaded" ||
    fail "tshark does not load the unpacked Wireshark plugin"
fi

# baresip loads the unpacked module from a module folder of its own (in a
# network namespace of its own where there is one) and lists its codec.
if [ -n "${files[baresip-g723]:-}" ]; then
  mkdir -p "$work/baresip/modules"
  ln -s "$unpacked/usr/lib/baresip/modules/g723.so" "$work/baresip/modules/g723.so"
  printf '%s\n' "module_path $work/baresip/modules" "module g723.so" "g723_ptime 60" \
    "sip_listen 127.0.0.1:5960" "net_interface 127.0.0.1" >"$work/baresip/config"
  namespace=()
  unshare --net true 2>/dev/null && namespace=(unshare --net)
  listed=$("${namespace[@]}" timeout 20 baresip -f "$work/baresip" -t 1 2>&1 </dev/null || true)
  grep -q '^aucodec: G723/8000/1' <<<"$listed" ||
    fail "baresip does not load the unpacked module: $(tail -n 5 <<<"$listed")"
fi

# The .pc file names /usr, as installed; pkg-config puts the unpacked
# folder in front.
export PKG_CONFIG_PATH=$unpacked/$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$unpacked
grep -qx "prefix=/usr" "$unpacked/$libdir/pkgconfig/g723.pc" || fail "g723.pc does not name /usr"
[ "$(pkg-config --modversion g723)" = "$version" ] || fail "pkg-config g723: not version $version"
# shellcheck disable=SC2046
if ! cc -Wall -Wextra -Werror tests/api/consumer/consumer.c $(pkg-config --cflags --libs g723) \
  -o "$work/consumer" || ! "$work/consumer" >/dev/null; then
  fail "a program built with pkg-config g723"
fi

lintian_output=$(lintian --no-cfg "$packages"/*.deb 2>&1 | grep -v 'running with root privileges' || true)
echo "${lintian_output:-lintian: nothing to report}"
! grep -q '^E:' <<<"$lintian_output" || fail "lintian reports errors"

if ((faults)); then
  exit 1
fi
echo "packages: $(cd "$packages" && echo *.deb) checked"
