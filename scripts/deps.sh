#!/usr/bin/env bash
# Installs the Debian packages that building and testing Clipvault need,
# only those that are missing. Safe to run again and again.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  libcurl4-openssl-dev libgumbo-dev libglib2.0-dev libnautilus-extension-dev nlohmann-json3-dev python3-gi python3-dbus firefox-esr libicu-dev libsqlite3-dev libsodium-dev nodejs libdbus-1-dev squid apache2-utils curl openssl python3
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-tools-dev qt6-tools-dev-tools libqt6uitools6
  xvfb xauth dbus-daemon dbus-bin libglib2.0-bin xdg-utils fonts-wqy-microhei qt6-translations-l10n
  desktop-file-utils appstream shared-mime-info lintian dpkg-dev fakeroot file man-db
  chromium wget poppler-utils openbox xdotool imagemagick x11-utils trayer libxcb1-dev libxcb-xkb-dev libxkbcommon-x11-dev libx11-dev libx11-xcb-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exec "$(dirname "$0")/js_deps.sh"
fi

echo "deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
"$(dirname "$0")/js_deps.sh"
