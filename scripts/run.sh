#!/bin/bash
# Builds the Linux program and opens its window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target corvix-tcpip
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: the window opens on a virtual X display (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" build/linux/corvix-tcpip
fi
exec build/linux/corvix-tcpip
