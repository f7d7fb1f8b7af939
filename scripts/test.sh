#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds everything and runs the whole test suite; ends with one line saying
# what passed and how long each stage took (any failure stops it before,
# with its own message).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
passed=()
started=$SECONDS
# Every part switched on explicitly (the "tests" preset): the main job may
# have configured this build folder with the library and the tool only.
stage_started=$SECONDS
cmake --preset tests
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
passed+=("$(ctest --test-dir build -N | sed -n 's/^Total Tests: //p') tests $((SECONDS - stage_started)) s")
for stage in cross python packages web hardening release-scripts; do
  stage_started=$SECONDS
  "scripts/test-$stage.sh"
  passed+=("$stage $((SECONDS - stage_started)) s")
done
summary=$(IFS=,; echo "${passed[*]}")
echo "test.sh: all passed (${summary//,/, }) in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
