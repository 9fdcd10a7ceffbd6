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
# Starts a throw-away server for the tests unless its URL is given; CI runs
# the cases of each engine or fails: they are not skipped there.
# use_server URL_VARIABLE REQUIRE_VARIABLE START_SCRIPT WHAT
use_server() {
  local var="$1" require="$2" script="$3" what="$4" url
  if [ -z "${!var:-}" ]; then
    url="$(bash "$root/scripts/$script" || true)"
    [ -n "$url" ] && export "$var=$url"
  fi
  if [ "${!require:-0}" = "1" ] && [ -z "${!var:-}" ]; then
    echo "test.sh: $what for the tests could not be started" >&2
    exit 1
  fi
}
use_server PLA013_TEST_PG_URL PLA013_REQUIRE_PG start-postgres.sh "the PostgreSQL server"
use_server PLA013_TEST_FB_URL PLA013_REQUIRE_FB start-firebird.sh "the Firebird database"
export QT_QPA_PLATFORM=offscreen
# Leaks fail the tests; only the libraries' own caches, kept for the process'
# life, are suppressed (tests/lsan.supp).
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" --timeout 600
