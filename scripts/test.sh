#!/usr/bin/env bash
# The test command: installs what the project needs, builds with the
# sanitizers and runs every test. A PostgreSQL server on loopback is started
# for the tests that use one (when the machine lets us run one).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
export BUILD_DIR="${BUILD_DIR:-$root/build-test}"
SANITIZE="${SANITIZE:-1}" bash "$root/scripts/build.sh"
if [ -z "${PLA013_TEST_PG_URL:-}" ]; then
  url="$(bash "$root/scripts/start-postgres.sh" || true)"
  [ -n "$url" ] && export PLA013_TEST_PG_URL="$url"
fi
export QT_QPA_PLATFORM=offscreen
# Qt and the font stack keep caches for the process' life: not leaks of ours.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" --timeout 600
