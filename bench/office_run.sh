#!/usr/bin/env bash
# LibreOffice bridge benchmark: LibreOffice's 100-record Word 97 merge split by
# parvane-split into 100 Word 97 pieces, and into 100 pieces with a PDF each,
# beside LibreOffice's own work on the whole merge in the same run:
#   A  soffice --convert-to doc  of the merge (one load and save)
#   B  parvane-split             of the merge         (target: at most 3 x A)
#   C  soffice --convert-to pdf  of the merge (one load and PDF export)
#   D  parvane-split --pdf       minus B (the PDFs)   (target: at most 1.5 x C)
#   E  soffice --convert-to docx of the merge, as parvane-split's first step
#      runs it: what of B is the merge's conversion, and what the pieces
#   F  the same without the allocator's tuning: what the tuning gains on this
#      machine (huge pages, except on a virtual machine whose balloon reports
#      free pages to its host, where they lose and only the threshold is set)
# Each is run ROUNDS times (default 3), alternating, and the medians compared.
#
#   bench/office_run.sh [BUILD_DIR]      (default: the current folder)
#
# Environment: PARVANE_CORPUS (default: ../shared/corpus beside the source),
# BENCH_ROUNDS, BENCH_OUT (see bench/common.sh). Exit status: 0 when both
# targets hold, 1 when one does not, 2 when the benchmark could not run.

set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-.}" && pwd) || { echo "office_run.sh: no build folder ${1:-.}" >&2; exit 2; }
corpus=${PARVANE_CORPUS:-$here/../../shared/corpus}
rounds=${BENCH_ROUNDS:-3}
split=$build/bin/parvane-split
merge=$corpus/lo/lo-merge-100.doc

die() { echo "office_run.sh: $*" >&2; exit 2; }
[ -x "$split" ] || die "no $split (build the parvane-split target)"
[ -f "$merge" ] || die "no $merge"
soffice=$(command -v soffice) || die "LibreOffice (soffice) is not on the PATH"

. "$here/common.sh"
out_folder parvane-office-bench "$build/bench-office"
mkdir -p "$OUT_ROOT"
lo_version "$soffice"

now() { date +%s.%N; }
# seconds CMD...: runs CMD, prints the seconds it took.
seconds() {
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1 || echo "office_run.sh: failed: $*" >&2
  end=$(now)
  echo "$end - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

lo_convert() {  # FORMAT: LibreOffice alone, on a fresh profile as parvane-split uses
  local dir=$OUT_ROOT/lo-$1
  rm -rf "$dir"; mkdir -p "$dir"
  lo_profile "$dir/profile"
  "$soffice" "-env:UserInstallation=file://$dir/profile" --headless --norestore \
    --convert-to "$1" --outdir "$dir" "$merge"
}
parvane() {  # [--pdf]
  local dir=$OUT_ROOT/parvane
  rm -rf "$dir"; mkdir -p "$dir"
  "$split" "$@" -o "$dir" "$merge"
}

# B runs several LibreOffices side by side and A one: on cores other work
# keeps busy, B loses more than A, so the load is shown beside the ratios.
load() { [ -r /proc/loadavg ] && cut -d' ' -f1-3 /proc/loadavg || echo unknown; }
load_before=$(load)
# parvane-split tunes the allocator of the LibreOffices it runs (on Linux).
tuning=glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432 tuning_name="huge pages"
for features in /sys/bus/virtio/drivers/virtio_balloon/*/features; do
  bits=$(cat "$features" 2>/dev/null) || continue
  [ "${bits:5:1}" = 1 ] && tuning=glibc.malloc.mmap_threshold=33554432 tuning_name="threshold only"
done
tuned() { GLIBC_TUNABLES=$tuning "$@"; }
A=(); B=(); C=(); D=(); E=(); F=()
for ((r = 1; r <= rounds; ++r)); do
  A+=("$(seconds lo_convert doc)")
  E+=("$(seconds tuned lo_convert docx)")
  F+=("$(seconds lo_convert docx)")
  B+=("$(seconds parvane)")
  C+=("$(seconds lo_convert pdf)")
  D+=("$(seconds parvane --pdf)")
done
pieces=$(ls "$OUT_ROOT/parvane" | grep -c '\.doc$')
pdfs=$(ls "$OUT_ROOT/parvane" | grep -c '\.pdf$')
a=$(median "${A[@]}"); b=$(median "${B[@]}"); c=$(median "${C[@]}"); d=$(median "${D[@]}")
e=$(median "${E[@]}"); f=$(median "${F[@]}")
pdf=$(echo "$d - $b" | bc -l)
ratio_doc=$(echo "$b / $a" | bc -l)
ratio_pdf=$(echo "$pdf / $c" | bc -l)

printf 'rounds: %d, pieces: %d .doc, %d .pdf; LibreOffice %s\n' "$rounds" "$pieces" "$pdfs" "${LO_VERSION:-(version unknown: its profiles run the self-tests)}"
printf 'load average: %s before, %s after, on %s cores\n' "$load_before" "$(load)" "$(nproc 2>/dev/null || echo ?)"
printf 'A soffice --convert-to doc (whole merge): %6.2f s   (%s)\n' "$a" "${A[*]}"
printf 'B parvane-split into 100 .doc:            %6.2f s   (%s)\n' "$b" "${B[*]}"
printf 'C soffice --convert-to pdf (whole merge): %6.2f s   (%s)\n' "$c" "${C[*]}"
printf 'D parvane-split --pdf:                    %6.2f s   (%s)\n' "$d" "${D[*]}"
printf 'E soffice --convert-to docx, tuned:       %6.2f s   (%s; %s)\n' "$e" "${E[*]}" "$tuning_name"
printf 'F soffice --convert-to docx, untuned:     %6.2f s   (%s)\n' "$f" "${F[*]}"
printf 'B / A = %.2f (target <= 3)\n' "$ratio_doc"
printf '  of which the merge into a .docx (E / A) %.2f, the split and the pieces ((B - E) / A) %.2f\n' \
  "$(echo "$e / $a" | bc -l)" "$(echo "($b - $e) / $a" | bc -l)"
printf '(D - B) / C = %.2f (target <= 1.5): the PDFs of 100 pieces against one PDF of the merge\n' "$ratio_pdf"

status=0
[ "$pieces" -eq 100 ] || { echo "FAIL: $pieces pieces, not 100"; status=1; }
[ "$pdfs" -eq 100 ] || { echo "FAIL: $pdfs PDFs, not 100"; status=1; }
(( $(echo "$ratio_doc <= 3" | bc -l) )) || { echo "FAIL: 100 .doc pieces take more than 3 x LibreOffice's own save"; status=1; }
(( $(echo "$ratio_pdf <= 1.5" | bc -l) )) || { echo "FAIL: 100 PDFs take more than 1.5 x LibreOffice's own PDF of the merge"; status=1; }
exit $status
