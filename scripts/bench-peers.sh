#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The peer benchmark: g723 beside the narrowband speech codecs its users
# would pick instead (Opus, Speex, AMR-NB, GSM-FR, Codec 2), on the same
# speech. Installs the packages that are missing, builds what is not built,
# and prints the Markdown table on standard output (the build's messages go
# to standard error). Arguments go to the program: an audio file instead of
# the bundled sample, --repetitions N, --seconds S; --help tells more.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset default) >&2
cmake --build "$root/build" -j"$(nproc)" --target g723_peers >&2
exec "$root/build/bench/peers/g723_peers" "$@"
