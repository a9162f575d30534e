#!/usr/bin/env bash
# Splitter benchmark: times parvane-split on generated merges of 100, 1,000 and
# 10,000 one-page letters and on LibreOffice's own 1,000-record merge, measures
# peak memory, times LibreOffice loading and saving that merge in turns with
# parvane-split splitting it (BENCH_LO_ROUNDS times, default 3; the medians
# are compared), and checks the figures against the targets.
#
#   bench/run.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_CORPUS (default: ../shared/corpus beside the source),
# BENCH_SIZES (default "100 1000 10000"), BENCH_SKIP_LO=1 to leave LibreOffice out,
# BENCH_NO_BUILD=1 to use the programs as they are built, BENCH_OUT for the
# folder the pieces go to (default: memory; see bench/common.sh).
# Exit status: 0 when every measured target holds, 1 when one does not, 2 when
# the benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "run.sh: no build folder ${1:-.}" >&2; exit 2; }
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
sizes=${BENCH_SIZES:-100 1000 10000}
bin=$build/bin
work=$build/bench-work

die() { echo "run.sh: $*" >&2; exit 2; }

[ -f "$build/CMakeCache.txt" ] || die "$build is not a CMake build folder"
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target parvane-split bench_make_merge >/dev/null ||
    die "building parvane-split and bench_make_merge failed"
fi
for program in parvane-split bench_make_merge; do
  [ -x "$bin/$program" ] || die "$bin/$program is not built"
done

# GNU time gives the peak resident set size.
if [ ! -x /usr/bin/time ]; then
  echo "Installing GNU time (package time) for the memory figures..."
  if [ "$(id -u)" = 0 ]; then apt-get install -y time >/dev/null
  else sudo apt-get install -y time >/dev/null; fi || die "could not install package time"
fi

rm -rf "$work"
mkdir -p "$work"
# shellcheck source=bench/common.sh
source "$here/common.sh"
out_folder parvane-bench "$work"
pieces_root=$OUT_ROOT

now() { date +%s.%N; }
# calc EXPRESSION: the value of an arithmetic expression (awk, so no bc is needed).
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

# measure LABEL COMMAND...: runs the command under GNU time; sets SECONDS_TAKEN
# and PEAK_MB, and leaves its output in $work/LABEL.log.
measure() {
  local label=$1
  shift
  local start end status
  start=$(now)
  /usr/bin/time -v -o "$work/$label.time" "$@" >"$work/$label.log" 2>&1
  status=$?
  end=$(now)
  SECONDS_TAKEN=$(calc "$end - $start")
  PEAK_MB=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' \
    "$work/$label.time")
  return $status
}

fmt() { printf "%.2f" "$1"; }
# target TEXT FIGURE CONDITION: one line of the targets; CONDITION is for awk.
target() {
  local result=ok
  if ! awk "BEGIN { exit !($3) }"; then result=MISSED; failed=1; fi
  printf "  %-34s %12s   %s\n" "$1" "$2" "$result"
}

failed=0
declare -A time_of mem_of
printf "%-28s %8s %10s %12s %10s\n" "input" "records" "seconds" "records/s" "peak MB"

split_one() {  # LABEL FILE RECORDS
  local label=$1 file=$2 records=$3 out="$pieces_root/$1-pieces"
  mkdir -p "$out"
  if ! measure "$label" "$bin/parvane-split" -o "$out" "$file"; then
    echo "parvane-split failed on $file (see $work/$label.log):" >&2
    tail -5 "$work/$label.log" >&2
    failed=1
  fi
  local pieces
  pieces=$(find "$out" -maxdepth 1 -type f | wc -l)
  time_of[$label]=$SECONDS_TAKEN
  mem_of[$label]=$PEAK_MB
  printf "%-28s %8s %10s %12.0f %10s\n" "$label" "$records" "$(fmt "$SECONDS_TAKEN")" \
    "$(calc "$records / $SECONDS_TAKEN")" "$PEAK_MB"
  if [ "$pieces" != "$records" ]; then
    echo "  $pieces pieces written for $records records" >&2
    failed=1
  fi
}

for n in $sizes; do
  "$bin/bench_make_merge" "$n" "$work/letters-$n.docx" >"$work/make-$n.log" ||
    die "generating $n records failed: $(cat "$work/make-$n.log")"
  split_one "letters-$n" "$work/letters-$n.docx" "$n"
done

lo_input=$corpus/lo/lo-merge-1000.docx
have_lo_input=0
if [ -f "$lo_input" ]; then
  have_lo_input=1
  split_one "lo-merge-1000" "$lo_input" 1000
else
  echo "(skipped lo-merge-1000.docx: no corpus at $corpus)"
fi

lo_seconds=""
ours_seconds=""
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
if [ "$have_lo_input" = 1 ] && [ "${BENCH_SKIP_LO:-0}" != 1 ] && command -v soffice >/dev/null; then
  lo_version "$(command -v soffice)"
  lo_profile "$work/lo-profile"
  profile="file://$work/lo-profile"
  # A first conversion fills the profile, so the timed ones are warm starts.
  soffice "-env:UserInstallation=$profile" --headless --norestore --convert-to docx \
    --outdir "$work/lo-warm" "$work/letters-${sizes%% *}.docx" >/dev/null 2>&1
  # Ours and LibreOffice take turns, and the medians are compared: a split
  # this short is doubled by one stall of a shared machine.
  lo_times=()
  ours_times=()
  lo_peak=""
  for round in $(seq 1 "${BENCH_LO_ROUNDS:-3}"); do
    rm -rf "${pieces_root:?}/lo-merge-1000-pieces"
    mkdir -p "$pieces_root/lo-merge-1000-pieces"
    measure "lo-merge-1000-$round" "$bin/parvane-split" -o "$pieces_root/lo-merge-1000-pieces" \
      "$lo_input" && ours_times+=("$SECONDS_TAKEN")
    rm -rf "$work/lo-out"
    if measure "libreoffice" soffice "-env:UserInstallation=$profile" --headless --norestore \
      --convert-to docx --outdir "$work/lo-out" "$lo_input" && [ -s "$work/lo-out/lo-merge-1000.docx" ]; then
      lo_times+=("$SECONDS_TAKEN")
      lo_peak=$PEAK_MB
    fi
  done
  if [ "${#lo_times[@]}" -gt 0 ] && [ "${#ours_times[@]}" -gt 0 ]; then
    lo_seconds=$(median "${lo_times[@]}")
    ours_seconds=$(median "${ours_times[@]}")
    printf "%-28s %8s %10s %12s %10s\n" "LibreOffice load+save" 1000 "$(fmt "$lo_seconds")" \
      "" "$lo_peak"
    echo "  rounds: LibreOffice ${lo_times[*]} s; parvane-split ${ours_times[*]} s"
  else
    echo "(LibreOffice failed to convert lo-merge-1000.docx; see $work/libreoffice.log)"
  fi
elif [ "$have_lo_input" = 1 ]; then
  echo "(skipped the LibreOffice comparison: soffice missing or BENCH_SKIP_LO=1)"
fi

echo
echo "Targets:"
if [ -n "${time_of[letters-10000]:-}" ]; then
  t10=${time_of[letters-10000]}
  m10=${mem_of[letters-10000]}
  target "10,000 records under 10 s" "$(fmt "$t10") s" "$t10 < 10"
  target "10,000 records under 300 MB" "$m10 MB" "$m10 < 300"
  if [ -n "${time_of[letters-1000]:-}" ]; then
    ratio=$(calc "$t10 / ${time_of[letters-1000]}")
    target "10,000 / 1,000 time at most 11x" "$(fmt "$ratio")x" "$ratio <= 11"
  fi
fi
if [ -n "$lo_seconds" ] && [ -n "$ours_seconds" ]; then
  ratio=$(calc "$lo_seconds / $ours_seconds")
  target "100x faster than LibreOffice" "$(fmt "$ratio")x" "$ratio >= 100"
fi
echo "(work files in $work; pieces written to $pieces_root)"
exit $failed
