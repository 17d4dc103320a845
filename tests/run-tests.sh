#!/usr/bin/env bash
# Runs every test of the build folder given as the first argument with CTest.
set -euo pipefail
build_dir=${1:?build folder}
cd "$build_dir"
ctest --output-on-failure --timeout 900 -j "$(nproc)"
