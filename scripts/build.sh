#!/usr/bin/env bash
# Configures and builds into ./build (or $BUILD_DIR).
#   scripts/build.sh          every target: the viewer, tests, benchmarks, fuzz checks
#   scripts/build.sh viewer   the viewer and its help viewer only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" = "viewer" ]; then
    cmake --build "$build" --parallel --target querndal querndal-help
else
    cmake --build "$build" --parallel
fi
