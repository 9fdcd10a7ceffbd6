#!/usr/bin/env bash
# The test command: installs what the project needs, builds with the
# sanitizers and runs every test. A PostgreSQL server on loopback is started
# for the tests that use one (when the machine lets us run one), and a
# Firebird server (or, where none can run, the embedded engine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
export BUILD_DIR="${BUILD_DIR:-$root/build-test}"
SANITIZE="${SANITIZE:-1}" bash "$root/scripts/build.sh"
if [ -z "${PLA013_TEST_PG_URL:-}" ]; then
  url="$(bash "$root/scripts/start-postgres.sh" || true)"
  [ -n "$url" ] && export PLA013_TEST_PG_URL="$url"
fi
# CI runs the PostgreSQL cases or fails: they are not skipped there.
if [ "${PLA013_REQUIRE_PG:-0}" = "1" ] && [ -z "${PLA013_TEST_PG_URL:-}" ]; then
  echo "test.sh: the PostgreSQL server for the tests could not be started" >&2
  exit 1
fi
if [ -z "${PLA013_TEST_FB_URL:-}" ]; then
  url="$(bash "$root/scripts/start-firebird.sh" || true)"
  [ -n "$url" ] && export PLA013_TEST_FB_URL="$url"
fi
if [ "${PLA013_REQUIRE_FB:-0}" = "1" ] && [ -z "${PLA013_TEST_FB_URL:-}" ]; then
  echo "test.sh: the Firebird database for the tests could not be started" >&2
  exit 1
fi
export QT_QPA_PLATFORM=offscreen
# Leaks fail the tests; the font library's caches, kept for the process' life,
# are the only ones suppressed.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" --timeout 600
