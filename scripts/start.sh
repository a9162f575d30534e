#!/usr/bin/env bash
# Sets everything up and starts Parvane (its samples lie beside it in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Parvane on a virtual screen (xvfb-run)."
  exec xvfb-run -a build/bin/parvane "$@"
fi
exec build/bin/parvane "$@"
