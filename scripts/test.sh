#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test through CTest.
#
#   scripts/test.sh            everything: the main build, the sanitizer builds, the fuzzer
#   scripts/test.sh --quick    the main build's tests only
#   scripts/test.sh --pictures also renders every window to PNG files (scripts/grab-windows.sh)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh" || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
status=0
run_ctest() { # <dir> [ctest args]
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@") || status=1
}

echo "== main build"
# Without debug information the main tree compiles and links in about a fifth less time; the
# sanitizer trees keep theirs for their reports. The benchmarks have a tree of their own
# (bench/run) and are not built here.
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=Release -DMT_BUILD_BENCH=OFF || exit 1
run_ctest "$top/build"

if [ "${1:-}" != "--quick" ]; then
    # Sanitizer builds compile only the tests that carry their label, not the whole program.
    for kind in asan tsan; do
        dir="$top/build-$kind"
        opt=-DMT_SANITIZE_ADDRESS=ON
        [ $kind = tsan ] && opt=-DMT_SANITIZE_THREAD=ON
        # Configured again every time: the test list below comes from the tree as it is now.
        cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMT_BUILD_BENCH=OFF $opt \
            >/dev/null || exit 1
        mapfile -t targets < <(cd "$dir" && ctest -N -L "^$kind\$" | sed -n 's/^ *Test *#[0-9]*: //p')
        [ ${#targets[@]} -eq 0 ] && continue
        echo "== $kind build: ${targets[*]}"
        cmake --build "$dir" --target "${targets[@]}" || { status=1; continue; }
        run_ctest "$dir" -L "^$kind\$"
    done

    fuzz="$top/build-fuzz"
    if [ -f "$top/messaging/CMakeLists.txt" ] && command -v clang++ >/dev/null; then
        CC=clang CXX=clang++ cmake -S "$top" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DMT_BUILD_FUZZERS=ON -DMT_BUILD_BENCH=OFF >/dev/null || exit 1
        mapfile -t targets < <(cd "$fuzz" && ctest -N -L '^fuzz$' | sed -n 's/^ *Test *#[0-9]*: //p')
        if [ ${#targets[@]} -gt 0 ]; then
            echo "== fuzz build: ${targets[*]}"
            # The fuzz tests run the fuzzer executables, named after the test without "_run".
            cmake --build "$fuzz" --target "${targets[@]/%_run/}" || { status=1; }
            run_ctest "$fuzz" -L '^fuzz$'
        fi
    fi
fi

# --pictures (anywhere on the command line): every window in both languages at scale 1 and 2.
if [[ " $* " == *" --pictures "* ]]; then
    echo "== pictures of the windows"
    "$top/scripts/grab-windows.sh" || status=1
fi

exit $status
