#!/usr/bin/env bash
# Builds the engine, parvane-split and the Qt-free tests for 64-bit Windows
# with MinGW-w64, and runs them under Wine: the test programs, a split of the
# shared corpus' ten-record merge, and a split of a merge whose name and
# folder are not ASCII. Exits non-zero on any failure.
#
# The libraries Parvane needs (pugixml, libzip, libdeflate, GoogleTest) are
# built for Windows from Debian's own source packages into
# $PARVANE_WINDOWS_DEPS (default ~/.cache/parvane-windows) and reused from
# there when present. The build goes to build-windows/, Wine's prefix into
# build-windows/wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows
deps=${PARVANE_WINDOWS_DEPS:-$HOME/.cache/parvane-windows}
triple=x86_64-w64-mingw32
jobs=$(nproc)
started=$SECONDS

say() { printf '== windows: %s (%ss)\n' "$*" "$((SECONDS - started))"; }
# Runs a step with its output in a log, shown only when the step fails.
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "windows: failed: $*" >&2
    return 1
  fi
  rm -f "$log"
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "windows.sh needs root or sudo for: $*" >&2
    exit 1
  fi
}

# --- Debian packages ---------------------------------------------------------
packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 googletest dpkg-dev cmake ninja-build make)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- Libraries for Windows, from Debian's source packages ---------------------
# The key names the versions, so a changed source package is built anew.
sources=(pugixml libzip libdeflate)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
dep_cmake=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
           -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF -DPARVANE_WINDOWS_DEPS="$deps")

build_deps() {
  local work=$deps/src
  rm -rf "$deps" && mkdir -p "$work"
  if ! (cd "$work" && apt-get source --download-only "${sources[@]}" >/dev/null 2>&1); then
    # Source entries beside the binary ones, from the same mirrors.
    local list=/etc/apt/sources.list.d/parvane-deb-src.sources
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list" >/dev/null
    else
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        as_root tee /etc/apt/sources.list.d/parvane-deb-src.list >/dev/null
    fi
    as_root apt-get update -qq
    (cd "$work" && apt-get source --download-only "${sources[@]}" >/dev/null 2>&1)
  fi
  local name dsc
  for name in "${sources[@]}"; do
    dsc=$(ls "$work"/"${name}"_*.dsc | head -n1)
    quiet dpkg-source --no-check -x "$dsc" "$work/$name"
  done

  say "building pugixml"
  quiet nice cmake -S "$work/pugixml" -B "$work/pugixml-build" "${dep_cmake[@]}" -DPUGIXML_BUILD_TESTS=OFF
  quiet nice cmake --build "$work/pugixml-build" --parallel "$jobs"
  quiet cmake --install "$work/pugixml-build"

  say "building libdeflate"
  # Its Makefile names the static library for Windows libdeflatestatic.lib
  # (an ar archive all the same).
  quiet nice make -C "$work/libdeflate" -j"$jobs" CC=$triple-gcc-posix AR=$triple-ar libdeflatestatic.lib
  install -D -m644 "$work/libdeflate/libdeflatestatic.lib" "$deps/lib/libdeflate.a"
  install -D -m644 "$work/libdeflate/libdeflate.h" "$deps/include/libdeflate.h"
  local version
  version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\(.*\)"/\1/p' "$work/libdeflate/libdeflate.h")
  mkdir -p "$deps/lib/pkgconfig"
  cat >"$deps/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$deps
Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: $version
Libs: -L\${prefix}/lib -ldeflate
Cflags: -I\${prefix}/include
PC

  say "building libzip"
  quiet nice cmake -S "$work/libzip" -B "$work/libzip-build" "${dep_cmake[@]}" \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
  quiet nice cmake --build "$work/libzip-build" --parallel "$jobs"
  quiet cmake --install "$work/libzip-build"
  # A static libzip: its header must not import from a DLL, and what it needs
  # itself goes on every link. zlib's static library beside it is found
  # before the import library of the system's zlib1.dll.
  sed -i -e 's/^Cflags: \(.*\)$/Cflags: \1 -DZIP_STATIC/' \
         -e 's/^Libs: \(.*\)$/Libs: \1 -ladvapi32 -lz/' -e '/^Libs.private:/d' \
      "$deps/lib/pkgconfig/libzip.pc"
  cp /usr/$triple/lib/libz.a "$deps/lib/libz.a"

  say "building GoogleTest"
  quiet nice cmake -S /usr/src/googletest -B "$work/googletest-build" "${dep_cmake[@]}" -DBUILD_GMOCK=OFF \
    -Dgtest_force_shared_crt=ON
  quiet nice cmake --build "$work/googletest-build" --parallel "$jobs"
  quiet cmake --install "$work/googletest-build"

  rm -rf "$work"
  echo "$1" >"$deps/built-from"
}

# What the libraries were built from and with: the build steps, the toolchain
# and the compiler; a change to any of them builds them anew.
key=$( (declare -f build_deps; cat "$toolchain"; $triple-g++-posix --version | head -n1) | sha1sum | cut -c1-16)
if [ -f "$deps/built-from" ] && [ "$(cat "$deps/built-from")" = "$key" ]; then
  say "reusing the libraries in $deps"
else
  say "building the libraries for Windows into $deps"
  build_deps "$key"
fi

# --- Parvane for Windows ------------------------------------------------------
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's wine64 package keeps its programs out of the PATH.
export PATH=$PATH:/usr/lib/wine
wine=$(command -v wine64 || command -v wine)
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "making Wine's prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  wineserver -w
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

say "configuring $build"
PKG_CONFIG_LIBDIR=$deps/lib/pkgconfig PKG_CONFIG_PATH= \
  quiet cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVANE_WITH_QT=OFF -DPARVANE_WINDOWS_DEPS="$deps" \
  -DCMAKE_PREFIX_PATH="$deps" "${launcher[@]}"
tests=(test_support test_docx test_engine test_cli test_samplegen)
say "building parvane-split.exe and ${tests[*]}"
nice cmake --build "$build" --parallel "$jobs" --target parvane-split "${tests[@]}"

# The Windows files that need Qt cannot be built without Qt for Windows: their
# syntax is checked against this machine's Qt headers.
qt_headers=$(pkg-config --variable=includedir Qt6Core 2>/dev/null || true)
# (app/ and filelist/ are the folders that need Qt.)
mapfile -t qt_win_files < <(cd "$root" && find app filelist -name '*_win.cpp' | sort)
if [ -n "$qt_headers" ] && [ -d "$qt_headers/QtCore" ]; then
  for f in "${qt_win_files[@]}"; do
    say "syntax check of $f (Qt headers of this machine)"
    nice $triple-g++-posix -fsyntax-only -std=c++20 -I"$root" -I"$qt_headers" -I"$qt_headers/QtCore" \
      -I"$qt_headers/QtGui" -I"$qt_headers/QtWidgets" "$root/$f"
  done
else
  echo "skipped: no Qt 6 headers for the syntax check of ${qt_win_files[*]}"
fi

# --- Under Wine ------------------------------------------------------------------
# Wine reads the arguments in the locale's encoding: UTF-8, so names beyond
# ASCII arrive whole.
export LC_ALL=C.UTF-8
windows_path() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
failed=()
shared=$(realpath -m "$root/../shared")
export PARVANE_SHARED=
if [ -d "$shared" ]; then PARVANE_SHARED=$(windows_path "$shared"); fi

for t in "${tests[@]}"; do
  say "running $t.exe under Wine"
  if ! "$wine" "$build/bin/$t.exe" --gtest_brief=1; then failed+=("$t"); fi
done

run=$build/run
rm -rf "$run" && mkdir -p "$run"
split() { "$wine" "$build/bin/parvane-split.exe" "$@"; }
pieces() { find "$1" -maxdepth 1 -name "$2-[0-9][0-9][0-9][0-9].docx" | wc -l; }
check_pieces() {
  if [ -f "$shared/tools/docx-check" ] && command -v python3 >/dev/null 2>&1; then
    python3 "$shared/tools/docx-check" --quiet "$@"
  fi
}

corpus_merge=$shared/corpus/lo/lo-merge-10.docx
if [ -f "$corpus_merge" ]; then
  say "splitting lo-merge-10.docx with parvane-split.exe"
  mkdir -p "$run/corpus"
  sum=$(sha1sum <"$corpus_merge")
  if split -o "$(windows_path "$run/corpus")" "$(windows_path "$corpus_merge")" &&
     [ "$(pieces "$run/corpus" lo-merge-10)" -eq 10 ] && [ "$(sha1sum <"$corpus_merge")" = "$sum" ] &&
     check_pieces "$run/corpus"; then
    echo "10 pieces, each a valid package; the input unchanged"
  else
    failed+=("split of lo-merge-10.docx")
  fi
else
  echo "skipped: no corpus at ../shared/corpus (the split of lo-merge-10.docx)"
fi

# A merge whose name and folder are not ASCII ("Bürо" ends in a Cyrillic о),
# split into its own folder, the program's default.
say "splitting \"Lettres à Zoë.docx\" in \"Bürо\""
folder="$run/Bürо"
mkdir -p "$folder"
cp "$build/bin/Samples/Customer Letters.docx" "$folder/Lettres à Zoë.docx"
if split "$(windows_path "$folder/Lettres à Zoë.docx")" &&
   [ -f "$folder/Lettres à Zoë-0001.docx" ] && [ "$(pieces "$folder" "Lettres à Zoë")" -gt 1 ] &&
   check_pieces "$folder"; then
  echo "$(pieces "$folder" "Lettres à Zoë") pieces: Lettres à Zoë-0001.docx ..."
else
  failed+=("split of Lettres à Zoë.docx")
fi

say "done"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'windows: FAILED: %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "windows: every test program and split passed under Wine"
