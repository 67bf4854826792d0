#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what clang-format makes of it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
fmt=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v -E '^(build[^/]*|devserver/node_modules)/')
bad=0
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! "$fmt" --style=file --dry-run -Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f (run: $fmt -i $f)"
        bad=1
    fi
done
exit $bad
