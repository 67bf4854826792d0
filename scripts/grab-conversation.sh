#!/usr/bin/env bash
# Renders the conversation view with a dozen mixed items in English and Korean, at normal and at
# double density, into PNG files to look at:
#   scripts/grab-conversation.sh [output folder]   (default: <build>/grabs)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=${1:-$build/grabs}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target grab_conversation >/dev/null
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
for lang in en ko; do
    "$build/scripts/grab_conversation" "$out/conversation_$lang.png" "$lang"
    QT_SCALE_FACTOR=2 "$build/scripts/grab_conversation" "$out/conversation_${lang}@2x.png" "$lang"
done
