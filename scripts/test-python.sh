#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs the Python package into a scratch virtual environment, as the
# README shows, and runs its tests against the installed package. The tests
# compare the package with the g723 tool of the main build (G723_TOOL,
# default build/tools/g723), so the main build runs first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export G723_TOOL=${G723_TOOL:-$root/build/tools/g723}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
"$scratch/venv/bin/pip" install --no-build-isolation --quiet --disable-pip-version-check ./python
# From the scratch folder, so that the package imported is the installed one.
cd "$scratch"
"$scratch/venv/bin/python" -c 'import g723; print("testing", g723.__file__)'
PYTHONDONTWRITEBYTECODE=1 "$scratch/venv/bin/python" -m pytest -p no:cacheprovider -q "$root/python/tests"
