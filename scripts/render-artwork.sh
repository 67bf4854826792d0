#!/usr/bin/env bash
# Renders every picture of resources/ from its SVG source in resources/artwork. Run after changing
# artwork; the rendered files are committed beside their sources.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target render_artwork >/dev/null
render() { QT_QPA_PLATFORM=offscreen "$build/scripts/render_artwork" "$@" 2> >(grep -v XDG_RUNTIME_DIR >&2); }
art=$top/resources/artwork
res=$top/resources

render ico "$art/veltritalk.svg" "$res/veltritalk.ico" 16,24,32,48,64,128,256

# The desktop's icon theme wants the same picture at each usual size (packaging/, installed into
# hicolor); the SVG itself is installed as the scalable one.
for size in 16 22 24 32 48 64 128 256 512; do
    render png "$art/veltritalk.svg" "$top/packaging/icons/${size}x${size}.png" "$size" "$size"
done

# The loading frames are drawn by a script; their SVG sources are committed like the others.
python3 "$top/scripts/artwork/make_loading.py" "$art/loading"

# Further pictures are listed in artwork/manifest.txt, one per line, each rendered at its size and
# at twice its size ("name@2x.png", picked up by Qt on high-density screens):
#   png <svg> <png> <width> <height>
#   ninepatch <svg> <png> <width> <height> <x0,x1> <y0,y1> <l,t,r,b>
twice() { local f=$1; echo "${f%.png}@2x.png"; }
if [ -f "$art/manifest.txt" ]; then
    while read -r kind svg png w h rest; do
        [ -z "${kind:-}" ] || [ "${kind:0:1}" = "#" ] && continue
        mkdir -p "$(dirname "$res/$png")"
        case $kind in
        png)
            render png "$art/$svg" "$res/$png" "$w" "$h"
            render png "$art/$svg" "$res/$(twice "$png")" $((w * 2)) $((h * 2))
            ;;
        ninepatch)
            # shellcheck disable=SC2086
            render ninepatch "$art/$svg" "$res/$png" "$w" "$h" $rest 1
            # shellcheck disable=SC2086
            render ninepatch "$art/$svg" "$res/$(twice "$png")" "$w" "$h" $rest 2
            ;;
        *)
            echo "render-artwork: unknown kind '$kind' for $svg" >&2
            exit 1
            ;;
        esac
    done <"$art/manifest.txt"
fi
