#!/bin/sh
# Installs every Debian package that building, running and testing Tavix needs.
# Packages that are already installed are left alone; nothing else is touched.
set -eu

PACKAGES="cmake g++ make pkg-config git
qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6svg6 libgl-dev
libxerces-c-dev libboost-regex-dev libsqlite3-dev
libgtest-dev libgmock-dev libbenchmark-dev
fonts-liberation hicolor-icon-theme adwaita-icon-theme
appstream desktop-file-utils groff-base"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi

echo "Installing:$missing"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
