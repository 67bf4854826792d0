#!/usr/bin/env bash
# Renders every window and dialog of the program (login page, room list, lock page, chat window,
# settings, password, profile, picture editor, invitation, members, toast, notice) in English
# and Korean, at scale 1 and 2, into PNG files named <window>_<en|ko>[@2x].png. Each run starts
# its own reference server; nothing touches the user's files.
#   scripts/grab-windows.sh [output folder]   (default: <build>/grabs/windows)
#   scripts/grab-windows.sh --readme          also the README's pictures, docs/screens/*.png
# scripts/test.sh --pictures runs it after the tests.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
readme=
if [ "${1:-}" = "--readme" ]; then
    readme=1
    shift
fi
out=${1:-$build/grabs/windows}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target grab_windows >/dev/null
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen MT_SOURCE_DIR="$top" MT_BINARY_DIR="$build"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset LC_ALL LC_MESSAGES LANGUAGE
status=0
for lang in en ko; do
    locale=C.UTF-8
    [ $lang = ko ] && locale=ko_KR.UTF-8
    for scale in 1 2; do
        suffix=_$lang
        [ $scale = 2 ] && suffix=${suffix}@2x
        if ! LANG=$locale QT_SCALE_FACTOR=$scale "$build/tools/screens/grab_windows" "$out" \
            "$suffix" >"$out/grab$suffix.log" 2>&1; then
            echo "grab-windows: $lang at scale $scale failed, see $out/grab$suffix.log" >&2
            status=1
        fi
    done
done
echo "grab-windows: $(find "$out" -name '*.png' | wc -l) pictures in $out"
# The README shows the room list beside a chat window, and the invitation dialog, in each language.
if [ -n "$readme" ] && [ $status -eq 0 ]; then
    mkdir -p "$top/docs/screens"
    for lang in en ko; do
        convert "$out/roomlist_$lang.png" "$out/chat_$lang.png" +append \
            "$top/docs/screens/windows_$lang.png"
        cp "$out/invite_$lang.png" "$top/docs/screens/invite_$lang.png"
    done
    echo "grab-windows: README pictures in docs/screens"
fi
exit $status
