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

# lo_version SOFFICE: sets LO_VERSION to the version of that LibreOffice
# ("7.4"), from the settings it was installed with ("" when unknown).
lo_version() {
  local program_dir
  program_dir=$(dirname "$(readlink -f "$1")")
  LO_VERSION=$(grep -A1 '<prop oor:name="ooSetupVersion">' \
    "$program_dir/../share/registry/main.xcd" 2>/dev/null |
    sed -n 's:.*<value>\([0-9.]*\)</value>.*:\1:p' | head -1)
  LO_BUILD=$(sed -n 's/^buildid=//p' "$program_dir/versionrc" 2>/dev/null | head -1)
}

# lo_profile DIR: a fresh LibreOffice profile as parvane-split makes one
# (after lo_version). It holds LibreOffice's version, as after LibreOffice's
# first start, so that LibreOffice does not run its graphics self-tests
# (which take longer than a conversion) at every start, and its build, so
# that it does not set up its extensions and start itself a second time.
lo_profile() {
  mkdir -p "$1/user"
  if [ -n "${LO_BUILD:-}" ]; then
    mkdir -p "$1/user/extensions"
    printf '%s' "$LO_BUILD" >"$1/user/extensions/buildid"
  fi
  [ -n "${LO_VERSION:-}" ] || return 0
  cat >"$1/user/registrymodifications.xcu" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>$LO_VERSION</value></prop></item>
</oor:items>
EOF
}
