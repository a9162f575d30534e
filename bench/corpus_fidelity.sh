#!/usr/bin/env bash
# Splits every multi-section document of the shared corpus with parvane-split
# and compares its pieces with the source as LibreOffice renders them (the
# shared docx-fidelity tool). Two documents at a time; one line per document
# in the summary, and the failing ones at the end.
#
#   bench/corpus_fidelity.sh [BUILD_DIR] [NAME_FILTER]
#
# Environment: PARVANE_CORPUS, PARVANE_TOOLS (defaults: ../shared beside the
# source), BENCH_JOBS (default 2).
# Exit status: 0 when every document's pieces match, 1 when one does not, 2
# when the comparison could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "corpus_fidelity.sh: no build folder ${1:-.}" >&2; exit 2; }
filter=${2:-}
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
tools=${PARVANE_TOOLS:-$here/../../shared/tools}
jobs=${BENCH_JOBS:-2}
work=$build/corpus-fidelity
[ -x "$tools/docx-fidelity" ] || { echo "corpus_fidelity.sh: no docx-fidelity in $tools" >&2; exit 2; }
[ -f "$corpus/INDEX.tsv" ] || { echo "corpus_fidelity.sh: no corpus at $corpus" >&2; exit 2; }
[ -x "$build/bin/parvane-split" ] || { echo "corpus_fidelity.sh: parvane-split is not built" >&2; exit 2; }
rm -rf "$work"
mkdir -p "$work"

# one FILE: splits it and compares; writes its verdict line to $work/NAME.verdict.
one() {
  local file=$1 name out
  name=$(echo "$file" | tr '/' '_')
  out="$work/$name"
  mkdir -p "$out"
  if ! "$build/bin/parvane-split" -o "$out" "$corpus/$file" >"$out.split.log" 2>&1; then
    echo "REPORTED $file: $(grep -m1 -i 'description\|error' "$out.split.log" | cut -c1-120)" \
      >"$out.verdict"
    return
  fi
  if "$tools/docx-fidelity" "$corpus/$file" "$out" >"$out.fidelity.log" 2>&1; then
    echo "ok       $file: $(tail -1 "$out.fidelity.log")" >"$out.verdict"
  else
    echo "FAILED   $file: $(tail -1 "$out.fidelity.log")" >"$out.verdict"
  fi
}
export -f one
export build corpus tools work

awk -F'\t' 'NR > 1 && $7 > 1 { print $1 }' "$corpus/INDEX.tsv" | grep -e "$filter" |
  xargs -P "$jobs" -I{} bash -c 'one "$@"' _ {}

cat "$work"/*.verdict | sort -k2 >"$work/summary.txt"
grep -v '^ok' "$work/summary.txt"
echo "$(grep -c '^ok' "$work/summary.txt") of $(wc -l <"$work/summary.txt") documents match"
! grep -q '^FAILED' "$work/summary.txt"
