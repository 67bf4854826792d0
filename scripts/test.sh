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

# The sanitizer and fuzz trees compile only the tests that carry their label, not the whole
# program. They are configured again every time (the test lists come from the tree as it is now).
side_trees=()
if [ "${1:-}" != "--quick" ]; then
    side_trees=(asan tsan)
    [ -f "$top/messaging/CMakeLists.txt" ] && command -v clang++ >/dev/null && side_trees+=(fuzz)
fi
side_dir() { echo "$top/build-$1"; }
side_label() { echo "^$1\$"; }
side_tests() { # <kind>: the names of the tests with the tree's label
    (cd "$(side_dir "$1")" && ctest -N -L "$(side_label "$1")" | sed -n 's/^ *Test *#[0-9]*: //p')
}
side_build() { # <kind>
    local kind=$1 dir opt targets compilers=()
    dir=$(side_dir "$kind")
    case $kind in
    asan) opt=-DMT_SANITIZE_ADDRESS=ON ;;
    tsan) opt=-DMT_SANITIZE_THREAD=ON ;;
    fuzz)
        opt=-DMT_BUILD_FUZZERS=ON
        compilers=(CC=clang CXX=clang++)
        ;;
    esac
    env "${compilers[@]}" cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DMT_BUILD_BENCH=OFF $opt >/dev/null || return 1
    mapfile -t targets < <(side_tests "$kind")
    [ ${#targets[@]} -eq 0 ] && return 0
    # The fuzz tests run the fuzzer executables, named after the test without "_run".
    [ "$kind" = fuzz ] && targets=("${targets[@]/%_run/}")
    echo "== $kind build: ${targets[*]}"
    cmake --build "$dir" --target "${targets[@]}"
}

echo "== main build"
# Without debug information the main tree compiles and links in about a fifth less time; the
# sanitizer trees keep theirs for their reports. The benchmarks run in a tree of their own
# (bench/run), but compile here too (about half a minute): they share the tests' helpers, and a
# change to those must not leave bench/run broken. A tree the demo made has them off.
if [ -f "$top/build/build.ninja" ]; then
    cmake -S "$top" -B "$top/build" -DMT_BUILD_BENCH=ON >/dev/null || exit 1
fi
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=Release -DMT_BUILD_BENCH=ON || exit 1

# The sanitizer and fuzz trees build while the main tree's tests run: the whole-program suites
# spend minutes waiting for timers (the idle lock, the keep-alive) with the processors idle. The
# builds run at the lowest priority so that the tests get the processors whenever they ask.
side_log=$(mktemp)
side_pid=""
if [ ${#side_trees[@]} -gt 0 ]; then
    (
        renice -n 19 -p "$BASHPID" >/dev/null 2>&1
        for kind in "${side_trees[@]}"; do
            side_build "$kind" || echo "$kind" >>"$side_log.failed"
        done
    ) >"$side_log" 2>&1 &
    side_pid=$!
fi
run_ctest "$top/build"

if [ -n "$side_pid" ]; then
    wait "$side_pid"
    cat "$side_log"
    for kind in "${side_trees[@]}"; do
        if grep -qx "$kind" "$side_log.failed" 2>/dev/null; then
            echo "test.sh: the $kind build failed" >&2
            status=1
            continue
        fi
        [ -n "$(side_tests "$kind")" ] || continue
        run_ctest "$(side_dir "$kind")" -L "$(side_label "$kind")"
    done
    rm -f "$side_log" "$side_log.failed"
fi

# --pictures (anywhere on the command line): every window in both languages at scale 1 and 2.
if [[ " $* " == *" --pictures "* ]]; then
    echo "== pictures of the windows"
    "$top/scripts/grab-windows.sh" || status=1
fi

exit $status
