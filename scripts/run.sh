#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer (only what the viewer needs: the tests'
# tools and targets come with scripts/test.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" viewer
"$root/scripts/build.sh" viewer
exec "${BUILD_DIR:-$root/build}/bin/querndal" "$@"
