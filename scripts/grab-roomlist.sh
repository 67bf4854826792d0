#!/usr/bin/env bash
# A picture of the room list as the demo shows it: starts the reference server (with the demo
# member) and the client on a virtual display with a tray, logs in as user001 / Passw0rd! by
# typing into the login page, waits until the room list has been answered and painted, and
# saves the main window:
#   scripts/grab-roomlist.sh [output file]   (default: docs/roomlist.png)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=${1:-$top/docs/roomlist.png}
ready_timeout=${VELTRITALK_READY_TIMEOUT:-60}

# VELTRITALK_SKIP_BUILD=1 takes the client as it is in the build folder.
if [ -z "${VELTRITALK_SKIP_BUILD:-}" ]; then
    "$top/scripts/setup.sh"
    cmake -S "$top" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target veltritalk >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    # The server writes its data folder until it has ended.
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work" || true
}
trap cleanup EXIT
fail() {
    echo "grab-roomlist.sh: $*" >&2
    exit 1
}
# Waits until the command succeeds, at most ready_timeout seconds.
wait_for() {
    local what=$1
    shift
    local deadline=$((SECONDS + ready_timeout))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || fail "$what did not happen within ${ready_timeout} s"
        sleep 0.2
    done
}

# The server, on free ports, in a data folder of its own.
node "$top/devserver/server.mjs" --data "$work/server" --rest-port 0 --broker-port 0 \
    --demo >"$work/server.log" 2>&1 &
pids+=($!)
wait_for "the reference server's start" grep -q '^READY' "$work/server.log"
control=$(sed -n 's/^CONTROL //p' "$work/server.log")

# A virtual display with a tray; the client refuses to start without one.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
read -r -t "$ready_timeout" number <"$work/display" || fail "Xvfb did not start"
export DISPLAY=":$number"
trayer --edge top >/dev/null 2>&1 &
tray=$!
pids+=($tray)
wait_for "the tray" xdotool search --pid "$tray"

# The client in a home of its own, so no stored session or setting of the user takes part.
home="$work/home"
mkdir -p "$home"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp"
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
export VELTRITALK_CONFIG="$work/server/client.ini"
"$build/app/veltritalk" &
client=$!
pids+=($client)
wait_for "the login page" xdotool search --onlyvisible --pid "$client" --name '^PLOVEX\(Chat\)$'
window=$(xdotool search --onlyvisible --pid "$client" --name '^PLOVEX\(Chat\)$' | head -n 1)

rooms_answered() {
    node -e "fetch('http://127.0.0.1:$control/control/requests').then((r) => r.text())
        .then((t) => process.exit(t.includes('/rest/chatt/room/1001') ? 0 : 1),
              () => process.exit(1))"
}
# No window manager: the keys go to the window that has the input focus.
xdotool windowfocus --sync "$window"
xdotool type --delay 20 'user001'
xdotool key Tab
xdotool type --delay 20 'Passw0rd!'
xdotool key Return
wait_for "the room list's answer" rooms_answered
# The answer is stored and the list rebuilt and painted on the next turns of the client's loop.
sleep 2
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "room list saved to $out"
