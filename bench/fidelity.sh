#!/usr/bin/env bash
# Splits every shipped sample with parvane-split and compares the pieces with
# their source as LibreOffice renders them (the shared docx-fidelity tool).
#
#   bench/fidelity.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_TOOLS (default: ../shared/tools beside the source),
# BENCH_NO_BUILD=1 to use the programs and samples as they are built.
# Exit status: 0 when every sample's pieces match, 1 when one does not, 2 when
# the comparison could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "fidelity.sh: no build folder ${1:-.}" >&2; exit 2; }
tools=${PARVANE_TOOLS:-$here/../../shared/tools}
work=$build/fidelity-work

[ -x "$tools/docx-fidelity" ] || { echo "fidelity.sh: no docx-fidelity in $tools" >&2; exit 2; }
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build" --target parvane-split parvane_samples >/dev/null ||
    { echo "fidelity.sh: build failed" >&2; exit 2; }
fi

rm -rf "$work"
mkdir -p "$work"
failed=0
for sample in "$build/bin/Samples/"*.docx; do
  name=$(basename "$sample" .docx)
  out="$work/$name"
  mkdir -p "$out"
  if ! "$build/bin/parvane-split" -o "$out" "$sample" >"$work/$name.split.log" 2>&1; then
    echo "$name: parvane-split failed:"
    tail -5 "$work/$name.split.log"
    failed=1
    continue
  fi
  echo "== $name ($(find "$out" -maxdepth 1 -type f | wc -l) pieces)"
  "$tools/docx-fidelity" "$sample" "$out" || failed=1
done
exit $failed
