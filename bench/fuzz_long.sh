#!/usr/bin/env bash
# The in-process fuzzer's long run: one niced job until 1,000,000 executions
# or the time given (seconds, 6000 when not given), whichever comes first.
# Its closing lines give the executions, the rate and the peak memory; the
# coverage ("cov:") is on the last progress line before them.
set -euo pipefail
cd "$(dirname "$0")/.."
exec bash scripts/fuzz.sh "${1:-6000}" -runs=1000000
