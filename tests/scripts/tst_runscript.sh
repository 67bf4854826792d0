#!/usr/bin/env bash
# The demo command: it starts the reference server, a virtual display with a tray and the client
# (a tray host that fails at its first start is started again);
# when it stops, nothing it started is left running, also when one of them has already gone.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
mkdir -p "$tmp/home" "$tmp/run" "$tmp/tmp"
chmod 700 "$tmp/run"
out="$tmp/run.out"
failures=0
check() { # <what> <command...>
    local what=$1
    shift
    if "$@"; then
        echo "PASS: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}
# Waits up to 120 s for the command to succeed.
until_ok() {
    local deadline=$((SECONDS + 120))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}
session_processes() { ps -o pid= -s "$sid" 2>/dev/null | tr -d ' '; }

# A tray host that exits at its first start (it can lose a race with a new display) is started
# again: the first start here exits at once, the next ones are the real one.
mkdir -p "$tmp/bin"
real_trayer=$(command -v trayer)
cat >"$tmp/bin/trayer" <<END
#!/bin/sh
[ -e "$tmp/bin/started" ] || { : >"$tmp/bin/started"; exit 1; }
exec "$real_trayer" "\$@"
END
chmod +x "$tmp/bin/trayer"

# A session of its own: whatever the script leaves behind is found by its session id.
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" TMPDIR="$tmp/tmp" \
    PATH="$tmp/bin:$PATH" VELTRITALK_DEMO_DATA="$tmp/data" VELTRITALK_REST_PORT=0 VELTRITALK_BROKER_PORT=0 \
    setsid "$top/scripts/run.sh" >"$out" 2>&1 &
sid=$!

client_up() { pgrep -s "$sid" -x veltritalk >/dev/null; }
tray_up() { pgrep -s "$sid" -f "^$real_trayer" >/dev/null; }
started() { client_up && tray_up; }
script_gone() { ! kill -0 "$sid" 2>/dev/null; }
until_ok eval 'started || script_gone'
check "the client and its tray start" started
check "the server is ready" grep -q "^reference server on https://localhost:" "$out"

# A helper already gone must not keep the clean-up from stopping the others.
pkill -KILL -s "$sid" -f "^$real_trayer"
kill -TERM "$sid"
check "the script stops" until_ok script_gone
nothing_left() { [ -z "$(session_processes)" ]; }
check "nothing it started is left" until_ok nothing_left

if [ $failures -ne 0 ]; then
    echo "--- run.sh output"
    cat "$out"
    echo "--- left running"
    ps -o pid,args -s "$sid"
    pkill -KILL -s "$sid"
fi
rm -rf "$tmp"
exit $((failures != 0))
