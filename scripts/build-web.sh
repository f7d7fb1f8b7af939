#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the page into build/web: the library compiled to WebAssembly with
# emscripten (build/web-wasm), with the calls library's capture code and
# libpcap in a second module, and the page's own files; the test tools
# (puppeteer-core, axe-core) come from the npm registry at the versions of
# web/package-lock.json (installed into build/web-node, with the download
# cache in build/npm-cache). The result is a static folder that needs
# nothing from outside; scripts/serve-web.sh serves it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript parts with Debian's acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# libpcap for the page's packet captures and libsrtp2 for their SRTP
# streams: Debian's source packages of this release (apt-get source, through
# a source list of its own in build/web-*, so the system's apt configuration
# stays as it is), each built once with emscripten, libpcap as a library that
# only reads capture files, libsrtp2 with its own ciphers (AES counter mode
# and HMAC-SHA1; AES-GCM needs a crypto library the page has not).
targets=(g723_wasm)
# The source lines of this machine's own package archive: every "deb" entry
# of the apt sources (one-line or deb822 form) for this release's own suite,
# as "deb-src" of its main component, with the same signing key. No host is
# written here; the machine's configuration names it.
source_list() {
  . /etc/os-release
  /usr/bin/python3 - "$VERSION_CODENAME" /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
      /etc/apt/sources.list.d/*.sources <<'PY'
import re, sys
release, entries = sys.argv[1], []
for path in sys.argv[2:]:
    try:
        text = open(path).read()
    except OSError:
        continue
    if path.endswith(".sources"):
        for stanza in re.split(r"\n\s*\n", text):
            fields = {}
            for line in stanza.splitlines():
                if ":" in line and not line.lstrip().startswith("#"):
                    key, value = line.split(":", 1)
                    fields[key.strip().lower()] = value.split()
            if "deb" in fields.get("types", []) and fields.get("enabled", ["yes"]) != ["no"]:
                entries += [(uri, suite, fields.get("signed-by", [""])[0])
                            for uri in fields.get("uris", []) for suite in fields.get("suites", [])]
    else:
        for line in text.splitlines():
            match = re.match(r"\s*deb\s+(\[[^]]*\]\s+)?(\S+)\s+(\S+)", line)
            if match:
                key = re.search(r"signed-by=(\S+?)[\s\]]", match.group(1) or "")
                entries.append((match.group(2), match.group(3), key.group(1) if key else ""))
for uri, suite, key in entries:
    if suite == release:
        print(f"deb-src [signed-by={key}] {uri} {release} main" if key else f"deb-src {uri} {release} main")
PY
}
# Fetches and unpacks Debian's source package $2 into $1/source; false when
# it cannot be fetched.
debian_source() {
  local folder=$1 package=$2
  rm -rf "$folder"
  mkdir -p "$folder/lists/partial" "$folder/cache/archives/partial"
  source_list > "$folder/sources.list"
  [ -s "$folder/sources.list" ] || return 1
  local apt=(apt-get -qq -o "Dir::Etc::SourceList=$folder/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$folder/lists" -o "Dir::Cache=$folder/cache")
  "${apt[@]}" update && (cd "$folder" && "${apt[@]}" source --download-only "$package" 2>/dev/null) || return 1
  # apt has checked the files against the signed index.
  dpkg-source --no-check -x "$folder/${package}"_*.dsc "$folder/source" >/dev/null
}
pcap=$PWD/build/web-pcap
if [ ! -f "$pcap/build/libpcap.a" ]; then
  if debian_source "$pcap" libpcap; then
    emcmake cmake -S "$pcap/source" -B "$pcap/build" -DCMAKE_BUILD_TYPE=Release -DPCAP_TYPE=null \
      -DBUILD_SHARED_LIBS=OFF -DENABLE_REMOTE=OFF -DBUILD_WITH_LIBNL=OFF -DDISABLE_DBUS=ON \
      -DDISABLE_RDMA=ON -DDISABLE_BLUETOOTH=ON -DDISABLE_LINUX_USBMON=ON -DDISABLE_NETMAP=ON \
      -DDISABLE_DPDK=ON -DDISABLE_DAG=ON -DDISABLE_SEPTEL=ON -DDISABLE_SNF=ON -DDISABLE_TC=ON \
      -Wno-dev >"$pcap/configure.log" 2>&1
    cmake --build "$pcap/build" -j"$(nproc)" --target pcap_static >"$pcap/build.log" 2>&1
  else
    echo "warning: libpcap's source could not be fetched: the page is built without captures" >&2
  fi
fi
srtp=$PWD/build/web-srtp
if [ ! -f "$srtp/build/libsrtp2.a" ]; then
  if debian_source "$srtp" libsrtp2; then
    emcmake cmake -S "$srtp/source" -B "$srtp/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
      -DTEST_APPS=OFF -DBUILD_WITH_WARNINGS=OFF -Wno-dev >"$srtp/configure.log" 2>&1
    cmake --build "$srtp/build" -j"$(nproc)" --target srtp2 >"$srtp/build.log" 2>&1
    mkdir -p "$srtp/include/srtp2"
    cp "$srtp/source/include/srtp.h" "$srtp/include/srtp2/"
  else
    echo "warning: libsrtp2's source could not be fetched: the page lists SRTP streams without decrypting them" >&2
  fi
fi
pcap_options=()
if [ -f "$pcap/build/libpcap.a" ]; then
  pcap_options=(-DG723_WEB_PCAP_INCLUDE="$pcap/source" -DG723_WEB_PCAP_LIBRARY="$pcap/build/libpcap.a")
  targets+=(g723_capture_wasm)
  if [ -f "$srtp/build/libsrtp2.a" ]; then
    pcap_options+=(-DG723_WEB_SRTP_INCLUDE="$srtp/include" -DG723_WEB_SRTP_LIBRARY="$srtp/build/libsrtp2.a")
  fi
fi

# WebAssembly SIMD, and through it the library's SSE2 kernels: the same
# operations in the same order as the native vector paths, so the same bits.
# (the preset web of CMakePresets.json).
emcmake cmake --preset web "${pcap_options[@]}" -Wno-dev >/dev/null 2>&1
cmake --build build/web-wasm -j"$(nproc)" --target "${targets[@]}"

# npm ci again only when the lock file changed.
mkdir -p build/web-node
if ! cmp -s web/package-lock.json build/web-node/package-lock.json || [ ! -d build/web-node/node_modules ]; then
  cp web/package.json web/package-lock.json build/web-node/
  (cd build/web-node && npm ci --cache ../npm-cache --prefer-offline --no-audit --no-fund --loglevel=error)
fi

page=build/web
rm -rf "$page"
mkdir -p "$page/src"
cp web/index.html web/page.css "$page/"
cp web/src/*.js build/web-wasm/web/g723.mjs build/web-wasm/web/g723.wasm "$page/src/"
if [ -f "$pcap/build/libpcap.a" ]; then
  cp build/web-wasm/web/g723_capture.mjs build/web-wasm/web/g723_capture.wasm "$page/src/"
fi
echo "the page is in $page (scripts/serve-web.sh serves it)"
