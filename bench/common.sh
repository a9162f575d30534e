# Shared by the benchmark scripts (sourced, not run).

# out_folder NAME FALLBACK: sets OUT_ROOT, the folder the pieces go to:
# BENCH_OUT when set, else a fresh folder in /dev/shm (removed when the script
# ends), else FALLBACK. On a disk, thousands of files deleted just before (the
# previous run's pieces) make the file system hunt for free inodes, which
# would time the file system rather than the splitter.
out_folder() {
  if [ -n "${BENCH_OUT:-}" ]; then
    OUT_ROOT=$BENCH_OUT
  elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
    OUT_ROOT=$(mktemp -d "/dev/shm/$1.XXXXXX")
    trap 'rm -rf "$OUT_ROOT"' EXIT
  else
    OUT_ROOT=$2
  fi
}
