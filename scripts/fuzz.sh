#!/usr/bin/env bash
# The in-process fuzzer of the package reader and the splitter's edits: builds
# it with clang (libFuzzer, ASan, UBSan) in ./build-fuzz, makes its seeds (our
# own sample merges, and the shared corpus's documents when it is there) and
# runs it as one niced job.
#
#   scripts/fuzz.sh [SECONDS [LIBFUZZER-FLAG...]]
#       SECONDS: 120 when not given, 0 runs until stopped; flags such as
#       -runs=1000000 go to libFuzzer as they are
#
# Inputs the fuzzer finds worth keeping grow build-fuzz/fuzz-corpus from run
# to run; a crash, a leak, a sanitizer report, an input that runs longer than
# 30 s or takes more than 2 GB ends the run with a non-zero status and leaves
# the input in build-fuzz/fuzz-findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true

if ! command -v clang++ >/dev/null 2>&1 ||
   ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "Fuzzing skipped: it needs clang++ and libFuzzer (the Debian packages clang and" \
       "libclang-rt-14-dev), which are not installed."
  exit 0
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DPARVANE_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz --parallel "${PARVANE_FUZZ_BUILD_JOBS:-$(nproc)}" \
  --target parvane_fuzz_split parvane-make-samples

# Seeds, made afresh each run: merges of every kind our generator makes, and
# links to the corpus documents (read in place, never copied).
seeds=build-fuzz/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds" build-fuzz/fuzz-corpus build-fuzz/fuzz-findings
make=build-fuzz/bin/parvane-make-samples
"$make" --samples "$seeds/samples" >/dev/null
mv "$seeds"/samples/* "$seeds"/ && rmdir "$seeds/samples"
for kind in letters invoices certificates benchmark; do
  for records in 1 2 3; do "$make" --seed "$records" "$kind" "$records" "$seeds/$kind-$records.docx"; done
done
corpus=../shared/corpus
if [ -d "$corpus" ]; then
  n=0
  while IFS= read -r -d '' file; do
    n=$((n + 1))
    ln -s "$(realpath "$file")" "$seeds/corpus-$n.docx"
  done < <(find "$corpus" -type f \( -name '*.docx' -o -name '*.docm' -o -name '*.dotx' -o -name '*.dotm' \) \
             -size -256k -print0 | sort -z)
  echo "Seeds: $(ls "$seeds" | grep -vc '^corpus-') of our own, $n from $corpus."
else
  echo "Seeds: our own only ($corpus is not there)."
fi

exec nice build-fuzz/bin/parvane_fuzz_split -max_total_time="$seconds" -timeout=30 \
  -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len=262144 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/fuzz-findings/ "$@" build-fuzz/fuzz-corpus "$seeds"
