#!/usr/bin/env bash
# Sets everything up, checks the format, runs every test, then the in-process fuzzer for about
# two minutes (skipped with a message where clang is not installed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The tree keeps one format: a file clang-format 14 would change fails the run.
bash scripts/check_format.sh
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 1200
cd ..
bash scripts/fuzz.sh "${PARVANE_FUZZ_SECONDS:-120}"
