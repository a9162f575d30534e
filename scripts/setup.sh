#!/usr/bin/env bash
# Installs what Parvane needs from Debian's packages (only what is missing),
# then configures and builds it in ./build: everything, or only the targets
# given (bash scripts/setup.sh parvane parvane_samples).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config python3
  qt6-base-dev libgl-dev libzip-dev libdeflate-dev libpugixml-dev libgtest-dev
  libreoffice-writer-nogui poppler-utils xvfb xdotool imagemagick x11-utils fonts-liberation
  clang libclang-rt-14-dev clang-format-14 python3-lxml
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    sudo_cmd=()
  elif command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "These packages are missing and neither root nor sudo is available to install them:" >&2
    echo "  ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build --parallel "$(nproc)" --target "$@"
else
  cmake --build build --parallel "$(nproc)"
fi
