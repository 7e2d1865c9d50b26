#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   scripts/test.sh             the normal build in ./build (or $BUILD_DIR)
#   scripts/test.sh --sanitize  an AddressSanitizer + UndefinedBehaviorSanitizer build in
#                               ./build-sanitize, with the leak suppressions of scripts/lsan.supp
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
if [ "${1:-}" = "--sanitize" ]; then
    build=$root/build-sanitize
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_SANITIZE=ON
    cmake --build "$build" --parallel
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
    cd "$build"
    ctest --output-on-failure --timeout 900
    exit
fi
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure --timeout 600
