#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the real-desktop suite need, when
# any is missing. Safe to run again: it installs nothing when everything is there.
set -euo pipefail

packages=(
    cmake g++ make clang libclang-rt-14-dev
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6 libcups2-dev libicu-dev qt6-translations-l10n
    libbenchmark-dev gcovr qtkeychain-qt6-dev python3-radicale xandikos vdirsyncer openssl gnome-keyring
    xvfb xdotool x11-utils xclip openbox icewm trayer imagemagick poppler-utils cups-daemon cups-client python3
    fonts-dejavu-core fonts-liberation qt6-gtk-platformtheme gnome-themes-extra
    # cpack's .deb: dpkg-dev works out its Depends, file tells it which files are programs
    desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
