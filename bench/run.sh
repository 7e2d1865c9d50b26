#!/usr/bin/env bash
# Makes its own test pictures, runs viewer_bench's measurements next to libjpeg-turbo's djpeg on
# the same files, and prints a table of medians and ratios.
# Usage: bench/run.sh [build folder] [runs]   (default build folder: build, runs: 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-9}
bench=$build/bench/viewer_bench
work=$build/bench/pictures
if [ ! -x "$bench" ]; then
    echo "viewer_bench not built in $build (cmake --build $build --target viewer_bench)" >&2
    exit 1
fi
for tool in convert djpeg; do
    command -v "$tool" > /dev/null || { echo "$tool is missing (ImageMagick, libjpeg-turbo-progs)" >&2; exit 1; }
done
mkdir -p "$work"

# 24 megapixels (6000 x 4000) of photo-like detail, baseline and progressive, made once.
if [ ! -s "$work/baseline.jpg" ]; then
    convert -size 1500x1000 -seed 7 plasma:fractal -blur 0x1 -resize 6000x4000! \
        -attenuate 0.6 +noise Gaussian -quality 90 -interlace none "$work/baseline.jpg"
fi
if [ ! -s "$work/progressive.jpg" ]; then
    convert "$work/baseline.jpg" -quality 90 -interlace JPEG "$work/progressive.jpg"
fi

measure() { # measure <label> <measurement> [arguments...] -> prints "<label> <median ms>"
    local label=$1
    shift
    local line
    line=$("$bench" --runs "$runs" "$@")
    echo "$label $(echo "$line" | awk '{print $2}')"
}

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for kind in baseline progressive; do
    file=$work/$kind.jpg
    {
        measure "$kind.thumbnail" thumbnail "$file" 97 77
        measure "$kind.djpeg-1/8" command djpeg -scale 1/8 -outfile /dev/null "$file"
        measure "$kind.full" full "$file"
        measure "$kind.djpeg-full" command djpeg -outfile /dev/null "$file"
    } >> "$results"
done
# What starting djpeg costs by itself, for reading its figures.
convert -size 8x8 xc:gray "$work/tiny.jpg"
measure "djpeg-start-up" command djpeg -outfile /dev/null "$work/tiny.jpg" >> "$results"

value() { awk -v key="$1" '$1 == key {print $2}' "$results"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "Pictures: $work (6000x4000 JPEG), medians of $runs runs, milliseconds"
printf '%-12s %-10s %10s %10s %8s %s\n' picture decode ours djpeg ratio target
for kind in baseline progressive; do
    ours=$(value "$kind.thumbnail")
    theirs=$(value "$kind.djpeg-1/8")
    printf '%-12s %-10s %10s %10s %8s %s\n' "$kind" "1/8 thumb" "$ours" "$theirs" "$(ratio "$ours" "$theirs")" "<= 1.2"
    ours=$(value "$kind.full")
    theirs=$(value "$kind.djpeg-full")
    printf '%-12s %-10s %10s %10s %8s %s\n' "$kind" "full" "$ours" "$theirs" "$(ratio "$ours" "$theirs")" ""
done
echo "djpeg start-up alone: $(value djpeg-start-up) ms (included in its figures; ours run in-process)"
