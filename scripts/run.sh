#!/usr/bin/env bash
# The main job on the embedded default: builds when needed, then opens the
# dish report form on the sample database with an embedded application server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
[ -x "$BUILD_DIR/bin/pla013" ] || { bash "$root/scripts/install-deps.sh"; bash "$root/scripts/build.sh"; }
exec "$BUILD_DIR/bin/pla013" script "$root/scripts/demo.pla"
