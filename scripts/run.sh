#!/usr/bin/env bash
# The main job on the embedded default: builds when needed, then, on the
# sample database with an embedded application server, opens the dish report
# form and runs reports from it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
if [ ! -x "$BUILD_DIR/bin/pla013" ] || [ ! -f "$BUILD_DIR/lib/libpla01303.so" ]; then
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh"
fi
bin="$BUILD_DIR/bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/pla013-desktop" ]; then
  exec "$bin/pla013-desktop" "$@"
fi
[ -x "$bin/pla013-desktop" ] && echo "No display: running the command-line demonstration instead." >&2
out="${OUT_DIR:-$root/out}"
mkdir -p "$out"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
echo "== The dish report form, opened for the host's branch"
"$bin/pla013" "$@" script "$root/scripts/demo.pla"
echo
echo "== Dish list (report 01) saved as PDF"
"$bin/pla013" "$@" report --report 01 --dish-from 1 --dish-to 9 --out "$out/PLA01301.pdf" 2>/dev/null
echo
echo "== Standard beside local recipe of branch 0002 (report 03), text preview"
"$bin/pla013" "$@" report --report 03 --for-branch 0002 --dish-from 3 --dish-to 3 --preview 2>/dev/null
