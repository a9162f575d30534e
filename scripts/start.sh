#!/usr/bin/env bash
# Sets up what the window needs and starts Parvane: the program, the files
# beside it (pointer, skin) and its samples and help document in build/bin.
# The test programs are left to scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh parvane parvane_samples
# A first start offers the desktop folder for the pieces; a machine without a
# desktop session may not have made it yet.
desktop=$(xdg-user-dir DESKTOP 2>/dev/null || true)
mkdir -p "${desktop:-$HOME/Desktop}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Parvane on a virtual screen (xvfb-run)."
  exec xvfb-run -a build/bin/parvane "$@"
fi
exec build/bin/parvane "$@"
