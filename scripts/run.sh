#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the reference chat server on loopback
# and the client against it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=Release -DMT_BUILD_BENCH=OFF

data=${VELTRITALK_DEMO_DATA:-$top/build/demo-server}
# How long each helper may take to say it is ready (seconds).
ready_timeout=${VELTRITALK_READY_TIMEOUT:-60}
work=$(mktemp -d)
server_pid=""
xvfb_pid=""
tray_pid=""
drain_pid=""
client_pid=""
# Stops everything this script started, whatever has stopped already: a helper that is gone
# must not keep the clean-up (under set -e) from stopping the others.
cleanup() {
    set +e
    local pid
    for pid in "$client_pid" "$tray_pid" "$xvfb_pid" "$server_pid" "$drain_pid"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null
    done
    for pid in "$client_pid" "$tray_pid" "$xvfb_pid" "$server_pid" "$drain_pid"; do
        [ -n "$pid" ] || continue
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
    return 0
}
trap cleanup EXIT

fail() {
    echo "run.sh: $*" >&2
    exit 1
}

if [ -f "$top/devserver/server.mjs" ]; then
    mkdir -p "$data"
    rest=${VELTRITALK_REST_PORT:-8443}
    broker=${VELTRITALK_BROKER_PORT:-18830}
    log="$data/server.log"
    : >"$log"
    # The server's output comes through a pipe that this script reads line by line until READY,
    # so the wait ends the moment the server is ready, or the moment it exits.
    mkfifo "$work/server"
    node "$top/devserver/server.mjs" --data "$data" --rest-port "$rest" --broker-port "$broker" \
        --demo >"$work/server" 2>&1 &
    server_pid=$!
    exec 4<"$work/server"
    ready=""
    deadline=$((SECONDS + ready_timeout))
    while [ $SECONDS -lt $deadline ] && IFS= read -r -t $((deadline - SECONDS)) line <&4; do
        printf '%s\n' "$line" >>"$log"
        # The ports it reports are the ones it took (0 asks for any free one).
        case $line in
        "REST "*) rest=${line#REST } ;;
        "BROKER "*) broker=${line#BROKER } ;;
        esac
        if [[ $line == READY* ]]; then
            ready=1
            break
        fi
    done
    if [ -z "$ready" ]; then
        tail -n 20 "$log" >&2
        if kill -0 "$server_pid" 2>/dev/null; then
            fail "the reference server did not become ready within ${ready_timeout} s (log: $log)"
        fi
        fail "the reference server stopped before it was ready (log: $log); is port $rest or" \
            "$broker taken? Set VELTRITALK_REST_PORT / VELTRITALK_BROKER_PORT."
    fi
    # Its later lines keep going to the log.
    cat <&4 >>"$log" &
    drain_pid=$!
    exec 4<&-
    echo "reference server on https://localhost:$rest and mqtt://localhost:$broker (log: $log)"
    export VELTRITALK_CONFIG="$data/client.ini"
else
    echo "the reference server is not built yet; starting the client alone"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # No desktop here: give the client a virtual one with a tray, so the demo still runs. Xvfb
    # picks a free display itself and writes its number once it accepts clients. -noreset: a
    # display resets whenever its last client leaves, and a tray host connecting just then fails.
    mkfifo "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    number=""
    read -r -t "$ready_timeout" number <"$work/display" || true
    [ -n "$number" ] || fail "Xvfb did not start a display within ${ready_timeout} s"
    export DISPLAY=":$number"
    # The client refuses to start without a tray: wait until the tray has its window. A tray
    # host that exits at start (it can lose a race with the new display) is started again, up
    # to five times.
    start_tray() {
        trayer --edge top >/dev/null 2>&1 &
        tray_pid=$!
        local deadline=$((SECONDS + ready_timeout))
        until xdotool search --pid "$tray_pid" >/dev/null 2>&1; do
            kill -0 "$tray_pid" 2>/dev/null || return 1
            [ $SECONDS -lt $deadline ] || fail "trayer showed no tray within ${ready_timeout} s"
            sleep 0.1
        done
    }
    attempt=1
    until start_tray; do
        [ $attempt -lt 5 ] || fail "trayer stopped on $DISPLAY $attempt times"
        echo "trayer stopped on $DISPLAY; trying again" >&2
        attempt=$((attempt + 1))
    done
    echo "no display found: the client runs on the virtual display $DISPLAY (Xvfb)"
fi
echo "starting the client (log in as user001 / Passw0rd!)"
# A child the clean-up knows: a script stopped by a signal stops the client too (on a desktop
# it would outlive the server it talks to). `wait` returns the client's status.
"$top/build/app/veltritalk" &
client_pid=$!
wait "$client_pid"
