#!/usr/bin/env bash
# The window's batch run against parvane-split on the same inputs: ten merges
# of 1,000 one-page letters, split into a folder by each. The window's
# bookkeeping (progress, yields, pointer, live options) may cost at most 15%.
#
#   bench/window_run.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: BENCH_FILES (default 10), BENCH_RECORDS (default 1000), BENCH_OUT
# for the pieces (default: memory; see bench/common.sh), BENCH_ROUNDS (default
# 3). Each side runs that many times, in turns, and its best time counts, so
# neither pays alone for a cold cache or for the file system's hunt for freed
# inodes.
# Exit status: 0 when the target holds, 1 when it does not, 2 when the
# benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

build=$(cd "${1:-.}" && pwd) || { echo "window_run.sh: no build folder ${1:-.}" >&2; exit 2; }
files=${BENCH_FILES:-10}
records=${BENCH_RECORDS:-1000}
bin=$build/bin
work=$build/bench-window

cmake --build "$build" --target parvane-split bench_make_merge window_bench >/dev/null ||
  { echo "window_run.sh: build failed" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/in"
# shellcheck source=bench/common.sh
source "$here/common.sh"
out_folder parvane-window "$work"
out_root=$OUT_ROOT
inputs=()
for i in $(seq 1 "$files"); do
  "$bin/bench_make_merge" --seed "$i" "$records" "$work/in/Letters$i.docx" >/dev/null || exit 2
  inputs+=("$work/in/Letters$i.docx")
done

now() { date +%s.%N; }
# timed SIDE PROGRAM ARGS...: runs the side into a fresh folder; prints seconds.
timed() {
  local side=$1 start
  shift
  rm -rf "${out_root:?}/$side"
  mkdir -p "$out_root/$side"
  start=$(now)
  "$@" >"$work/$side.log" 2>&1 || { cat "$work/$side.log" >&2; exit 2; }
  awk "BEGIN { printf \"%.3f\", $(now) - $start }"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

clis=()
windows=()
for round in $(seq 1 "${BENCH_ROUNDS:-3}"); do
  seconds=$(timed cli "$bin/parvane-split" -o "$out_root/cli" "${inputs[@]}") || exit 2
  clis+=("$seconds")
  seconds=$(timed window "$bin/window_bench" "$out_root/window" "${inputs[@]}") || exit 2
  windows+=("$seconds")
done
cli=$(best "${clis[@]}")
window=$(best "${windows[@]}")

pieces_cli=$(ls "$out_root/cli" | wc -l)
pieces_window=$(ls "$out_root/window" | wc -l)
ratio=$(awk "BEGIN { printf \"%.3f\", $window / $cli }")
echo "parvane-split: $cli s (${clis[*]}), $pieces_cli pieces"
echo "window:        $window s (${windows[*]}), $pieces_window pieces (start-up included)"
echo "ratio:         $ratio (target at most 1.15)"
[ "$pieces_cli" = "$pieces_window" ] || { echo "piece counts differ"; exit 1; }
awk "BEGIN { exit !($ratio <= 1.15) }"
