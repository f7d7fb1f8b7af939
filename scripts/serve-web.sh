#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Serves the built page (scripts/build-web.sh) on this computer only:
#   scripts/serve-web.sh [PORT]     then open http://127.0.0.1:PORT/ (8723)
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/web/index.html ] || scripts/build-web.sh
echo "open http://127.0.0.1:${1:-8723}/" >&2
exec python3 -m http.server --bind 127.0.0.1 --directory build/web "${1:-8723}"
