#!/usr/bin/env bash
# Content-naming benchmark: splits LibreOffice's 1,000-record merge with
# sequential names, with one name for the whole input (--name-by-content) and
# with every piece named from its own words (--each), side by side: the three
# runs take turns ROUNDS times and the median of each is compared. Target: the
# per-piece split costs at most 1.3 times the sequential split.
#
#   bench/naming.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_CORPUS (default: ../shared/corpus beside the source),
# BENCH_ROUNDS (default 5), BENCH_NO_BUILD=1 to use parvane-split as built,
# BENCH_OUT for the folder the pieces go to (default: memory; see common.sh).
# Exit status: 0 when the target holds, 1 when it does not, 2 when the
# benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "naming.sh: no build folder ${1:-.}" >&2; exit 2; }
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
rounds=${BENCH_ROUNDS:-5}
split=$build/bin/parvane-split
input=$corpus/lo/lo-merge-1000.docx

die() { echo "naming.sh: $*" >&2; exit 2; }

[ -f "$build/CMakeCache.txt" ] || die "$build is not a CMake build folder"
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target parvane-split >/dev/null || die "building parvane-split failed"
fi
[ -x "$split" ] || die "$split is not built"
[ -f "$input" ] || { echo "naming.sh: skipped: no corpus at $corpus"; exit 0; }

# shellcheck source=bench/common.sh
source "$here/common.sh"
out_folder parvane-naming-bench "$build/bench-naming"
mkdir -p "$OUT_ROOT"
# The per-input mode writes its working copy beside the input: the input is
# read from a copy of its own in the pieces' folder (never from the corpus).
cp "$input" "$OUT_ROOT/lo-merge-1000.docx"
input=$OUT_ROOT/lo-merge-1000.docx

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times
modes="sequential whole each"
run_mode() {  # MODE: one split into a fresh folder; prints its seconds
  local out="$OUT_ROOT/$1" start end
  rm -rf "$out" && mkdir -p "$out"
  local args=()
  case $1 in
    whole) args=(--name-by-content first -x 3) ;;
    each) args=(--name-by-content first --each -x 3) ;;
  esac
  start=$(now)
  "$split" -o "$out" "${args[@]}" "$input" >"$OUT_ROOT/$1.log" 2>&1 || {
    echo "naming.sh: the $1 split failed:" >&2
    tail -5 "$OUT_ROOT/$1.log" >&2
    exit 2
  }
  end=$(now)
  local pieces
  pieces=$(find "$out" -maxdepth 1 -type f | wc -l)
  [ "$pieces" = 1000 ] || die "the $1 split wrote $pieces pieces, not 1000"
  calc "$end - $start"
}

run_mode each >/dev/null  # warm the caches once
for ((r = 1; r <= rounds; r++)); do
  for mode in $modes; do times[$mode]+="$(run_mode "$mode") "; done
done

printf "%-12s %10s   %s\n" mode "median s" "rounds"
for mode in $modes; do
  printf "%-12s %10.3f   %s\n" "$mode" "$(tr ' ' '\n' <<<"${times[$mode]}" | grep . | median)" \
    "${times[$mode]}"
done
sequential=$(tr ' ' '\n' <<<"${times[sequential]}" | grep . | median)
each=$(tr ' ' '\n' <<<"${times[each]}" | grep . | median)
ratio=$(calc "$each / $sequential")
result=ok
awk "BEGIN { exit !($ratio <= 1.3) }" || result=MISSED
echo
echo "Target:"
printf "  %-44s %8.2fx   %s\n" "per-piece naming at most 1.3x sequential" "$ratio" "$result"
echo "  first pieces: $(ls "$OUT_ROOT/each" | head -3 | tr '\n' ';')"
[ "$result" = ok ]
