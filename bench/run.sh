#!/usr/bin/env bash
# The benchmark suite: makes its own pictures, runs the viewer's own code paths in process
# (viewer_bench) and the reference tools on the same files in the same run, then prints a table
# of medians and ratios and draws it as a bar chart (<build>/bench/results.png).
# Usage: bench/run.sh [build folder] [runs]   (default build folder: build, runs: 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-9}
bench=$build/bench/viewer_bench
work=$build/bench/pictures
out=$build/bench

# What the reference tools need, from Debian, installed only when missing.
need=()
for p in imagemagick libjpeg-turbo-progs libvips-tools feh xvfb; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if [ ! -x "$bench" ]; then
    cmake --build "$build" --target viewer_bench
fi
mkdir -p "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

# 24 megapixels (6000 x 4000) of photo-like detail, baseline and progressive, made once; a
# folder of them for browsing, one of 1080p pictures for shows, and one BMP, GIF and WMF.
if [ ! -s "$work/baseline.jpg" ]; then
    convert -size 1500x1000 -seed 7 plasma:fractal -blur 0x1 -resize 6000x4000! \
        -attenuate 0.6 +noise Gaussian -quality 90 -interlace none "$work/baseline.jpg"
fi
[ -s "$work/progressive.jpg" ] || convert "$work/baseline.jpg" -quality 90 -interlace JPEG "$work/progressive.jpg"
if [ ! -d "$work/photos" ]; then
    mkdir -p "$work/photos"
    for i in $(seq -w 0 23); do cp "$work/baseline.jpg" "$work/photos/photo$i.jpg"; done
fi
if [ ! -d "$work/hd" ]; then
    mkdir -p "$work/hd"
    convert "$work/baseline.jpg" -resize 1920x1080! -quality 90 "$work/hd/hd00.jpg"
    for i in $(seq -w 1 11); do cp "$work/hd/hd00.jpg" "$work/hd/hd$i.jpg"; done
fi
[ -s "$work/picture.bmp" ] || convert "$work/hd/hd00.jpg" -type TrueColor "$work/picture.bmp"
[ -s "$work/picture.gif" ] || convert "$work/hd/hd00.jpg" -resize 960x540 "$work/picture.gif"
if [ ! -s "$work/picture.wmf" ]; then
    # A placeable metafile of filled shapes, written byte by byte (ImageMagick cannot write WMF).
    python3 - "$work/picture.wmf" <<'PY'
import struct, sys
recs = []
def rec(fn, *words): recs.append(struct.pack('<IH', 3 + len(words), fn) + struct.pack('<%dh' % len(words), *words))
rec(0x020B, 0, 0); rec(0x020C, 1000, 1000)                       # window origin and extent
for i, colour in enumerate([(200, 30, 30), (30, 160, 40), (40, 60, 200), (220, 200, 20)]):
    r, g, b = colour
    recs.append(struct.pack('<IHHIH', 7, 0x02FC, 0, r | g << 8 | b << 16, 0))  # CreateBrushIndirect
    rec(0x012D, i)                                                # SelectObject
    rec(0x0418, 900 - i * 50, 900 - i * 100, 100 + i * 100, 100 + i * 50)  # Ellipse
    rec(0x041B, 50 + i * 220, 950, 250 + i * 220, 700)           # Rectangle
rec(0x0000)
body = b''.join(recs)
size = (18 + len(body)) // 2
header = struct.pack('<HHHIHIH', 1, 9, 0x300, size, 4, max(len(r) // 2 for r in recs), 0)
placeable = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, 1000, 1000, 96, 0)
checksum = 0
for (w,) in struct.iter_unpack('<H', placeable[:20]): checksum ^= w
placeable = placeable[:20] + struct.pack('<H', checksum)
open(sys.argv[1], 'wb').write(placeable + header + body)
PY
fi

results=$out/results.txt
: > "$results"
measure() { # measure <key> <measurement> [arguments...] -> "<key> <median> <detail>"
    local key=$1
    shift
    local line
    line=$("$bench" --runs "$runs" "$@" 2>/dev/null | tail -n 1) || line="$1 0 failed"
    echo "$key $(echo "$line" | awk '{print $2}')" >> "$results"
    echo "  $key: $line"
}
# Time per picture of a command run over a whole folder: its total divided by the count.
per_picture() { # per_picture <key> <count> <command...>
    local key=$1 count=$2
    shift 2
    local line
    line=$("$bench" --runs 3 command "$@" 2>/dev/null | tail -n 1) || line="command 0 failed"
    local total
    total=$(echo "$line" | awk '{print $2}')
    echo "$key $(awk -v t="$total" -v n="$count" 'BEGIN {printf "%.2f", t / n}')" >> "$results"
    echo "  $key: $total ms for $count pictures"
}

echo "Decoding a 24-megapixel JPEG (6000 x 4000)"
for kind in baseline progressive; do
    file=$work/$kind.jpg
    measure "$kind.thumbnail" thumbnail "$file" 97 77
    measure "$kind.djpeg-1/8" command djpeg -scale 1/8 -outfile /dev/null "$file"
    measure "$kind.full" full "$file"
    measure "$kind.djpeg-full" command djpeg -outfile /dev/null "$file"
    measure "$kind.vipsthumbnail" command vipsthumbnail "$file" -s 97x77 -o "$out/vips-thumb.jpg"
done
for kind in bmp gif wmf; do
    measure "$kind.full" full "$work/picture.$kind"
done

echo "The viewer's windows (offscreen, 1920 x 1080 screen)"
measure select select "$work/photos"
measure resize resize "$work/photos"
measure step.24mp.ahead step "$work/photos" ahead
measure step.24mp.cold step "$work/photos" cold
measure step.hd.ahead step "$work/hd" ahead
measure step.hd.cold step "$work/hd" cold
measure zoom zoom "$work/photos"
measure startup startup "$work/photos"
measure memory.slots memory-slots "$work/photos"
measure memory.full memory-full "$work/baseline.jpg"
measure keyrepeat keyrepeat "$work/photos"

echo "Peers on the same pictures"
count=$(ls "$work/photos" | wc -l)
per_picture feh.montage "$count" feh --montage --thumb-width 97 --thumb-height 77 \
    --output-only "$out/feh-montage.png" "$work/photos"
# feh as a slide show: every picture once, 10 ms apart (counted in its figure), on a virtual
# screen.
Xvfb :97 -screen 0 1920x1080x24 > /dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2> /dev/null || true' EXIT
sleep 0.5
DISPLAY=:97 per_picture feh.show.24mp "$count" feh --on-last-slide quit --slideshow-delay 0.01 \
    --fullscreen "$work/photos"
hdcount=$(ls "$work/hd" | wc -l)
DISPLAY=:97 per_picture feh.show.hd "$hdcount" feh --on-last-slide quit --slideshow-delay 0.01 \
    --fullscreen "$work/hd"

value() { awk -v key="$1" '$1 == key {print $2}' "$results"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
meets() { awk -v a="$1" -v b="$2" 'BEGIN {print (a <= b) ? 1 : 0}'; }

table=$out/results.tsv
: > "$table"
row() { # row <name> <ours> <reference name> <reference> <limit on ours/reference or absolute> <target text>
    local name=$1 ours=$2 refname=$3 ref=$4 limit=$5 target=$6 r ok
    if [ -n "$ref" ] && [ "$ref" != 0 ]; then
        r=$(ratio "$ours" "$ref")
        ok=$(meets "$r" "$limit")
    else
        r=-
        ok=$(meets "$ours" "$limit")
    fi
    printf '%-44s %10s %-30s %10s %7s  %s %s\n' "$name" "$ours" "$refname" "${ref:--}" "$r" "$target" \
        "$([ "$ok" = 1 ] && echo met || echo MISSED)"
    # An absolute target is drawn as the reference bar, so the chart shows how far below it we are.
    printf '%s\t%s\t%s\t%s\t%s (%s)\t%s\n' "$name" "$ours" "$refname" "${ref:-$limit}" "$target" "$r" "$ok" >> "$table"
}

echo
echo "Medians of $runs runs (milliseconds unless said). Ratio = ours / reference."
printf '%-44s %10s %-30s %10s %7s  %s\n' measurement ours reference value ratio target
for kind in baseline progressive; do
    row "thumbnail of a $kind 24 MP JPEG" "$(value $kind.thumbnail)" "djpeg -scale 1/8" "$(value $kind.djpeg-1/8)" 1.05 "<= 1.05x"
done
row "select 24 MP JPEG until its slot is painted" "$(value select)" "djpeg -scale 1/8" "$(value baseline.djpeg-1/8)" 1.5 "<= 1.5x"
row "select 24 MP JPEG until painted" "$(value select)" "vipsthumbnail (own process)" "$(value baseline.vipsthumbnail)" 1.0 "faster"
row "select 24 MP JPEG until painted" "$(value select)" "feh --montage, per picture" "$(value feh.montage)" 1.0 "faster"
row "full decode, 24 MP baseline" "$(value baseline.full)" "djpeg" "$(value baseline.djpeg-full)" 1.3 "close to djpeg"
row "show step, 24 MP, read ahead" "$(value step.24mp.ahead)" "limit: one frame" "" 16 "< 16 ms"
row "show step, 24 MP, not read ahead" "$(value step.24mp.cold)" "djpeg full decode" "$(value baseline.djpeg-full)" 0.7 "<= 0.7x"
row "show step, 24 MP, not read ahead" "$(value step.24mp.cold)" "feh slide show, per picture" "$(value feh.show.24mp)" 1.0 "faster"
row "show step, 1080p, read ahead" "$(value step.hd.ahead)" "limit: one frame" "" 16 "< 16 ms"
row "show step, 1080p, not read ahead" "$(value step.hd.cold)" "feh slide show, per picture" "$(value feh.show.hd)" 1.0 "faster"
row "zoom step (Page Up / Page Down)" "$(value zoom)" "limit: one frame" "" 16 "< 16 ms"
row "resize with 20 filled slots, no file read" "$(value resize)" "limit: one frame" "" 16 "< 16 ms"
row "memory, 20 filled slots of 24 MP (MB)" "$(value memory.slots)" "one full 24 MP decode (MB)" "$(value memory.full)" 3 "<= 3x"
row "longest input stall holding Right (ms)" "$(value keyrepeat)" "limit" "" 50 "< 50 ms"
row "start-up to first paint" "$(value startup)" "limit: ten frames" "" 160 "< 160 ms"
echo
for kind in bmp gif wmf; do
    echo "full decode of the $kind picture: $(value $kind.full) ms"
done
"$bench" chart "$table" "$out/results.png" 2>/dev/null && echo "Chart: $out/results.png"
