#!/usr/bin/env bash
# Renders every picture of resources/ from its SVG source in resources/artwork. Run after changing
# artwork; the rendered files are committed beside their sources.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target render_artwork >/dev/null
render() { QT_QPA_PLATFORM=offscreen "$build/scripts/render_artwork" "$@"; }
art=$top/resources/artwork
res=$top/resources

render ico "$art/veltritalk.svg" "$res/veltritalk.ico" 16,24,32,48,64,128,256

# Further pictures are listed in artwork/manifest.txt: "<svg> <png> <width> [height]" per line.
if [ -f "$art/manifest.txt" ]; then
    while read -r svg png w h; do
        [ -z "${svg:-}" ] || [ "${svg:0:1}" = "#" ] && continue
        render png "$art/$svg" "$res/$png" "$w" ${h:-}
    done <"$art/manifest.txt"
fi
