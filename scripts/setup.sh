#!/usr/bin/env bash
# Installs what building, running and testing need and is not there yet: Debian packages with
# apt-get, the reference server's npm packages with npm ci. Quiet and quick when nothing is
# missing. Run as root (or with sudo available).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
    # build
    g++ cmake ninja-build pkg-config git
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools qtmultimedia5-dev
    libqt5svg5-dev qttranslations5-l10n libqt5sql5 libqt5multimedia5-plugins
    libsqlcipher-dev libmosquitto-dev libssl-dev
    # style, fuzzing
    clang-format clang libclang-rt-14-dev
    # run and test: the store from outside, a broker, a display with a tray, TLS set-up
    sqlcipher mosquitto mosquitto-clients xvfb xauth trayer xdotool openssl ca-certificates
    # whole-program scenarios: a window manager (iconic windows, attention), xprop and xwininfo
    openbox x11-utils
    nodejs
    # the program as a screen reader reads it: a private session bus, the accessibility bus,
    # pyatspi for the system python3 (tests/accessibility)
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi
    # Korean text in pictures of the windows (scripts/grab-conversation.sh)
    fonts-nanum
    # a picture of the running program's window (scripts/grab-roomlist.sh)
    imagemagick
    # install and package checks: the desktop's validators, CPack's Debian package
    desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
# npm ships inside some nodejs builds (NodeSource) and separately in Debian's.
if ! command -v npm >/dev/null 2>&1; then
    missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# mosquitto's package starts a system broker on 1883; tests start their own on free ports and
# do not need it.

if [ -f "$top/devserver/package-lock.json" ]; then
    stamp="$top/devserver/node_modules/.package-lock.json"
    if [ ! -f "$stamp" ] || [ "$top/devserver/package-lock.json" -nt "$stamp" ]; then
        echo "setup: npm ci in devserver/"
        (cd "$top/devserver" && npm ci --no-audit --no-fund --loglevel=error)
    fi
fi
