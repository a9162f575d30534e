#!/usr/bin/env bash
# The window's batch run against parvane-split on the same inputs: ten merges
# of 1,000 one-page letters, split into a folder by each. The window's
# bookkeeping (progress, yields, pointer, live options) may cost at most 20%.
#
#   bench/window_run.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: BENCH_FILES (default 10), BENCH_RECORDS (default 1000).
# Exit status: 0 when the target holds, 1 when it does not, 2 when the
# benchmark could not run.

set -uo pipefail

build=$(cd "${1:-.}" && pwd) || { echo "window_run.sh: no build folder ${1:-.}" >&2; exit 2; }
files=${BENCH_FILES:-10}
records=${BENCH_RECORDS:-1000}
bin=$build/bin
work=$build/bench-window

cmake --build "$build" --target parvane-split bench_make_merge window_bench >/dev/null ||
  { echo "window_run.sh: build failed" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/in" "$work/cli" "$work/window"
inputs=()
for i in $(seq 1 "$files"); do
  "$bin/bench_make_merge" --seed "$i" "$records" "$work/in/Letters$i.docx" >/dev/null || exit 2
  inputs+=("$work/in/Letters$i.docx")
done

now() { date +%s.%N; }
start=$(now)
"$bin/parvane-split" -o "$work/cli" "${inputs[@]}" >"$work/cli.log" 2>&1 || { cat "$work/cli.log"; exit 2; }
cli=$(awk "BEGIN { printf \"%.3f\", $(now) - $start }")

start=$(now)
"$bin/window_bench" "$work/window" "${inputs[@]}" >"$work/window.log" 2>&1 || { cat "$work/window.log"; exit 2; }
window=$(awk "BEGIN { printf \"%.3f\", $(now) - $start }")

pieces_cli=$(ls "$work/cli" | wc -l)
pieces_window=$(ls "$work/window" | wc -l)
ratio=$(awk "BEGIN { printf \"%.3f\", $window / $cli }")
echo "parvane-split: $cli s, $pieces_cli pieces"
echo "window:        $window s, $pieces_window pieces (start-up included)"
echo "ratio:         $ratio (target at most 1.20)"
[ "$pieces_cli" = "$pieces_window" ] || { echo "piece counts differ"; exit 1; }
awk "BEGIN { exit !($ratio <= 1.20) }"
