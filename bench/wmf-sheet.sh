#!/usr/bin/env bash
# Renders every corpus metafile beside its reference rendering and writes a sheet of them.
# Usage: bench/wmf-sheet.sh [build folder] [corpus folder] [name filter]
# Output: <build>/wmf-sheet/sheet.png, and one <name>.png pair per file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
corpus=${2:-$root/../shared/corpus}
cmake --build "$build" --target wmf_sheet >/dev/null
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$build/bench/wmf_sheet" "$corpus" "$build/wmf-sheet" "${3:-}"
