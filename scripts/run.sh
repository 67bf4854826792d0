#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the reference chat server on loopback
# and the client against it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

data=${VELTRITALK_DEMO_DATA:-$top/build/demo-server}
server_pid=""
xvfb_pid=""
tray_pid=""
cleanup() {
    for pid in "$tray_pid" "$xvfb_pid" "$server_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null
    done
    return 0
}
trap cleanup EXIT

if [ -f "$top/devserver/server.mjs" ]; then
    mkdir -p "$data"
    rest=${VELTRITALK_REST_PORT:-8443}
    broker=${VELTRITALK_BROKER_PORT:-18830}
    log="$data/server.log"
    node "$top/devserver/server.mjs" --data "$data" --rest-port "$rest" --broker-port "$broker" \
        --demo >"$log" 2>&1 &
    server_pid=$!
    for _ in $(seq 1 100); do
        grep -q '^READY' "$log" 2>/dev/null && break
        kill -0 "$server_pid" 2>/dev/null || { cat "$log"; exit 1; }
        sleep 0.1
    done
    echo "reference server on https://localhost:$rest and mqtt://localhost:$broker (log: $log)"
    export VELTRITALK_CONFIG="$data/client.ini"
else
    echo "the reference server is not built yet; starting the client alone"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No desktop here: give the client a virtual one with a tray, so the demo still runs.
    Xvfb :57 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:57
    sleep 1
    trayer --edge top >/dev/null 2>&1 &
    tray_pid=$!
    sleep 1
    echo "no display found: the client runs on the virtual display $DISPLAY (Xvfb)"
fi
echo "starting the client (log in as user001 / Passw0rd!)"
"$top/build/app/veltritalk"
