#!/usr/bin/env bash
# Configures and builds the project into BUILD_DIR (default: build).
# SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
args=(-S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
[ "${SANITIZE:-0}" = "1" ] && args+=(-DPLA013_SANITIZE=ON)
cmake "${args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
