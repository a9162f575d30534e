#!/usr/bin/env bash
# Every speed and memory figure side by side in one run, each as a ratio to
# something measured in the same run (the machine may be shared, so seconds
# alone say little):
#   - LibreOffice's 1,000-record merge repeated ten times (10,000 records):
#     time against the I/O floor (../shared/tools/io-floor: deflating the body
#     once and writing as many files of the pieces' average size), at most 3x,
#     the two taking turns BENCH_ROUNDS times (default 3) and their medians
#     compared;
#     peak memory against the body's uncompressed XML, at most 2.5x;
#   - the same merge repeated a hundred times (BENCH_HUGE=1; it takes minutes):
#     cost per record at most 1.2x the 10,000-record one, memory as above;
#   - bench/run.sh: our generated letters, and lo-merge-1000.docx against
#     LibreOffice's own load and save of it;
#   - bench/window_run.sh: the window against parvane-split on ten 1,000-record
#     inputs, at most 1.15x (BENCH_SKIP_WINDOW=1 leaves it out).
#
#   bench/real_run.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_TOOLS (default ../shared/tools beside the source),
# PARVANE_CORPUS (default ../shared/corpus), BENCH_ROUNDS, BENCH_HUGE, BENCH_SKIP_WINDOW,
# BENCH_SKIP_RUN=1 to leave bench/run.sh out, BENCH_NO_BUILD=1, BENCH_OUT
# (see bench/common.sh).
# Exit status: 0 when every measured target holds, 1 when one does not, 2 when
# the benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "real_run.sh: no build folder ${1:-.}" >&2; exit 2; }
tools=${PARVANE_TOOLS:-$here/../../shared/tools}
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
bin=$build/bin
work=$build/bench-real

die() { echo "real_run.sh: $*" >&2; exit 2; }

[ -f "$build/CMakeCache.txt" ] || die "$build is not a CMake build folder"
for tool in io-floor make-big-merge; do
  [ -x "$tools/$tool" ] || die "no $tool in $tools"
done
source_merge=$corpus/lo/lo-merge-1000.docx
[ -f "$source_merge" ] || die "no $source_merge (the corpus is missing)"
[ -x /usr/bin/time ] || die "GNU time (/usr/bin/time) is needed for the memory figures"
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target parvane-split >/dev/null || die "building parvane-split failed"
fi
[ -x "$bin/parvane-split" ] || die "$bin/parvane-split is not built"

rm -rf "$work"
mkdir -p "$work"
# shellcheck source=bench/common.sh
source "$here/common.sh"
out_folder parvane-real "$work"
pieces_root=$OUT_ROOT

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
fmt() { printf "%.2f" "$1"; }
now() { date +%s.%N; }

failed=0
summary=()
# target TEXT FIGURE CONDITION: one line of the summary; CONDITION is for awk.
target() {
  local result=ok
  if ! awk "BEGIN { exit !($3) }"; then result=MISSED; failed=1; fi
  summary+=("$(printf "  %-52s %10s   %s" "$1" "$2" "$result")")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# real_merge TIMES ROUNDS: splits the corpus merge repeated TIMES times, and
# measures the I/O floor on it, in turns ROUNDS times; sets RECORDS,
# SECONDS_TAKEN and FLOOR (the medians, in seconds), PEAK_MB (the largest)
# and BODY_MB.
real_merge() {
  local times=$1 rounds=$2 file="$work/real-$1.docx" out="$pieces_root/real-$1" start end
  "$tools/make-big-merge" "$source_merge" "$times" "$file" >"$work/make-$times.log" 2>&1 ||
    die "make-big-merge $times failed: $(cat "$work/make-$times.log")"
  RECORDS=$((times * 1000))
  BODY_MB=$(python3 -c "import sys, zipfile
print('%.1f' % (zipfile.ZipFile(sys.argv[1]).getinfo('word/document.xml').file_size / 1048576))" \
    "$file") || die "cannot read the body size of $file"
  local seconds=() floors=() peaks=() round floor_line pieces
  for round in $(seq 1 "$rounds"); do
    rm -rf "${out:?}"
    mkdir -p "$out"
    start=$(now)
    /usr/bin/time -v -o "$work/real-$times.time" "$bin/parvane-split" -o "$out" "$file" \
      >"$work/real-$times.log" 2>&1 || { tail -5 "$work/real-$times.log" >&2; failed=1; }
    end=$(now)
    seconds+=("$(calc "$end - $start")")
    peaks+=("$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' \
      "$work/real-$times.time")")
    pieces=$(find "$out" -maxdepth 1 -type f | wc -l)
    [ "$pieces" = "$RECORDS" ] || { echo "  $pieces pieces written for $RECORDS records" >&2; failed=1; }
    floor_line=$("$tools/io-floor" "$file" "$out" "$pieces_root/floor-$times") ||
      die "io-floor failed on $file"
    floors+=("$(sed -n 's/.*floor(level 1) \([0-9.]*\) s.*/\1/p' <<<"$floor_line")")
    [ -n "${floors[-1]}" ] || die "cannot read io-floor's figure: $floor_line"
    rm -rf "${pieces_root:?}/floor-$times"
  done
  rm -rf "${out:?}" "$file"
  SECONDS_TAKEN=$(median "${seconds[@]}")
  FLOOR=$(median "${floors[@]}")
  PEAK_MB=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)
  printf "%-24s %8s records %8s s %8s MB peak   body %6s MB   io-floor %s s\n" \
    "real merge x$times" "$RECORDS" "$(fmt "$SECONDS_TAKEN")" "$PEAK_MB" "$BODY_MB" "$FLOOR"
  echo "  rounds: ${seconds[*]} s; io-floor ${floors[*]} s (last: $floor_line)"
}

echo "== LibreOffice's 1,000-record merge, repeated"
real_merge 10 "${BENCH_ROUNDS:-3}"
t10=$SECONDS_TAKEN
ratio=$(calc "$SECONDS_TAKEN / $FLOOR")
target "10,000 records: time / I/O floor, at most 3" "$(fmt "$ratio")x" "$ratio <= 3"
ratio=$(calc "$PEAK_MB / $BODY_MB")
target "10,000 records: peak memory / body XML, at most 2.5" "$(fmt "$ratio")x" "$ratio <= 2.5"

if [ "${BENCH_HUGE:-0}" = 1 ]; then
  real_merge 100 1
  ratio=$(calc "($SECONDS_TAKEN / 100000) / ($t10 / 10000)")
  target "100,000 records: cost per record / 10,000's, at most 1.2" "$(fmt "$ratio")x" \
    "$ratio <= 1.2"
  ratio=$(calc "$PEAK_MB / $BODY_MB")
  target "100,000 records: peak memory / body XML, at most 2.5" "$(fmt "$ratio")x" \
    "$ratio <= 2.5"
else
  summary+=("  (100,000 records left out; BENCH_HUGE=1 runs them)")
fi

if [ "${BENCH_SKIP_RUN:-0}" != 1 ]; then
  echo
  echo "== bench/run.sh"
  PARVANE_CORPUS=$corpus BENCH_NO_BUILD=${BENCH_NO_BUILD:-0} "$here/run.sh" "$build" \
    | tee "$work/run.log"
  status=${PIPESTATUS[0]}
  [ "$status" = 2 ] && die "bench/run.sh could not run"
  while IFS= read -r line; do summary+=("$line"); done < <(grep -E ' (ok|MISSED)$' "$work/run.log")
  [ "$status" = 0 ] || failed=1
fi

if [ "${BENCH_SKIP_WINDOW:-0}" != 1 ]; then
  echo
  echo "== bench/window_run.sh"
  "$here/window_run.sh" "$build" | tee "$work/window.log"
  [ "${PIPESTATUS[0]}" = 2 ] && die "bench/window_run.sh could not run"
  ratio=$(sed -n 's/^ratio: *\([0-9.]*\).*/\1/p' "$work/window.log")
  [ -n "$ratio" ] || die "cannot read the window's ratio"
  target "window / parvane-split, ten 1,000-record inputs, at most 1.15" "$(fmt "$ratio")x" \
    "$ratio <= 1.15"
else
  summary+=("  (the window's run left out: BENCH_SKIP_WINDOW=1)")
fi

echo
echo "Targets:"
printf "%s\n" "${summary[@]}"
exit $failed
