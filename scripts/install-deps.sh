#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent, non-interactive.
set -euo pipefail
PACKAGES=(
  build-essential cmake ccache pkg-config clang clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsoci-dev libboost-dev libsqlite3-dev sqlite3 libpq-dev
  postgresql
  firebird3.0-server firebird3.0-server-core firebird3.0-utils firebird-dev libsoci-firebird4.0
  libcpp-httplib-dev nlohmann-json3-dev
  qt6-base-dev qt6-translations-l10n libgl-dev fonts-dejavu-core
  libxlsxwriter-dev libcups2-dev cups-client
  libsodium-dev libssl-dev openssl
  poppler-utils qpdf libhpdf-dev unzip python3
  chromium chromium-driver python3-selenium
  xvfb openbox imagemagick xdotool
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # Once: a caller that has just updated the lists (CI) says so.
  [ "${PLA013_APT_UPDATED:-0}" = "1" ] || $SUDO apt-get update -qq
  # Firebird's server package may ask debconf questions and start a system
  # service: neither is used (the tests start a server of their own).
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
