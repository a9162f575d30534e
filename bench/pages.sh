#!/usr/bin/env bash
# Page starts of LibreOffice's 1,000-record merge (no rendered page marks)
# against LibreOffice's own load of it, side by side: pages_bench (the
# document laid out through the bridge, its PDF read back and every page's
# first words found in our story) and soffice converting the same file to
# PDF and to OpenDocument (a load that lays the pages out, and a load and a
# save), taking turns ROUNDS times; the medians are compared. Target: the
# page starts within 1.5 times LibreOffice's load (the PDF conversion).
#
#   bench/pages.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_CORPUS (default: ../shared/corpus beside the source),
# BENCH_ROUNDS (default 3; each round loads the merge three times, about
# 2.3 GB of memory each), BENCH_INPUT for another document,
# BENCH_NO_BUILD=1 to use pages_bench as built. Exit status: 0 when the target
# holds, 1 when it does not, 2 when the benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "pages.sh: no build folder ${1:-.}" >&2; exit 2; }
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
rounds=${BENCH_ROUNDS:-3}
input=${BENCH_INPUT:-$corpus/lo/lo-merge-1000.docx}
bench=$build/bin/pages_bench

die() { echo "pages.sh: $*" >&2; exit 2; }

[ -f "$build/CMakeCache.txt" ] || die "$build is not a CMake build folder"
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target pages_bench >/dev/null || die "building pages_bench failed"
fi
[ -x "$bench" ] || die "$bench is not built"
[ -f "$input" ] || { echo "pages.sh: skipped: no $input"; exit 0; }
command -v soffice >/dev/null || { echo "pages.sh: skipped: no soffice"; exit 0; }
command -v pdftotext >/dev/null || { echo "pages.sh: skipped: no pdftotext"; exit 0; }

work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-pages-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

soffice_to() {  # FORMAT: one conversion with a warm profile of its own; prints its seconds
  local start end
  rm -rf "$work/out-$1"
  start=$(now)
  soffice -env:UserInstallation="file://$work/profile-$1" --headless --norestore \
    --convert-to "$1" --outdir "$work/out-$1" "$input" >"$work/soffice-$1.log" 2>&1 ||
    die "soffice could not convert to $1"
  end=$(now)
  calc "$end - $start"
}
ours() {
  local start end
  start=$(now)
  TMPDIR=$work "$bench" "$input" >"$work/ours.log" 2>&1 || { cat "$work/ours.log" >&2; die "pages_bench failed"; }
  end=$(now)
  calc "$end - $start"
}

# Each soffice run starts with a fresh profile, as the bridge's does (it
# makes one in its private folder for every run).
for round in $(seq "$rounds"); do
  rm -rf "$work"/profile-*
  a=$(ours)
  b=$(soffice_to pdf)
  c=$(soffice_to odt)
  echo "$a" >>"$work/t-ours"
  echo "$b" >>"$work/t-pdf"
  echo "$c" >>"$work/t-odt"
  echo "round $round: page starts $a s, soffice to pdf $b s, to odt $c s"
done
o=$(median <"$work/t-ours")
p=$(median <"$work/t-pdf")
d=$(median <"$work/t-odt")
echo "input: $input ($rounds rounds, medians)"
head -3 "$work/ours.log" | sed 's/^/pages_bench: /'
echo "page starts (pages_bench):            $o s"
echo "soffice --convert-to pdf (its load):  $p s   ratio $(calc "$o / $p")"
echo "soffice --convert-to odt:             $d s   ratio $(calc "$o / $d")"
awk "BEGIN { exit !($o <= 1.5 * $p) }" && { echo "target met: at most 1.5x"; exit 0; }
echo "target missed: more than 1.5x"
exit 1
