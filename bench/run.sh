#!/usr/bin/env bash
# The benchmark suite: makes its own pictures, runs the viewer's own code paths in process
# (viewer_bench) and the reference tools on the same files in the same run, then prints a table
# of medians and ratios and draws it as a bar chart (<build>/bench/results.png).
# Usage: bench/run.sh [build folder] [runs] [sections]
#   (default build folder: build, runs: 9, sections: all of decode,limits,launch,windows,peers;
#   a few sections print the rows of what they measured only)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-9}
sections=,${3:-decode,limits,launch,windows,peers},
section() { [[ $sections == *,$1,* ]]; }
bench=$build/bench/viewer_bench
probe=$build/bench/viewer_probe
bare=$build/bench/viewer_bare
work=$build/bench/pictures
out=$build/bench

# What the reference tools need, from Debian, installed only when missing.
need=()
for p in imagemagick libjpeg-turbo-progs libvips-tools feh xvfb openbox wmctrl libxcb-damage0-dev \
    dbus-daemon; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if [ ! -x "$bench" ] || [ ! -x "$probe" ] || [ ! -x "$bare" ]; then
    cmake "$build" > /dev/null
    cmake --build "$build" --target viewer_bench viewer_probe viewer_bare querndal
fi
mkdir -p "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# The desktop's thumbnail cache, empty and the bench's own: a figure never depends on what an
# earlier run or the user's file manager left there.
export XDG_CACHE_HOME=$(mktemp -d)

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
if [ ! -d "$work/progressive-photos" ]; then
    mkdir -p "$work/progressive-photos"
    for i in $(seq -w 0 23); do cp "$work/progressive.jpg" "$work/progressive-photos/photo$i.jpg"; done
fi
# 60 megapixels (9504 x 6336), a few links to one file, for show steps on the largest photos.
if [ ! -d "$work/60mp" ]; then
    mkdir -p "$work/60mp"
    convert "$work/baseline.jpg" -resize 9504x6336! -quality 90 "$work/60mp/big00.jpg"
    for i in $(seq -w 1 11); do ln "$work/60mp/big00.jpg" "$work/60mp/big$i.jpg"; done
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

# 50 000 picture files (links to one small JPEG) under mixed names, for listing.
if [ ! -d "$work/large" ]; then
    convert -size 64x48 gradient:red-blue -quality 80 "$work/tiny.jpg"
    python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
os.mkdir(os.path.join(work, 'large'))
words = ['IMG', 'photo', 'Été', 'scan', 'Rotated', 'DSC', 'holiday']
for i in range(50000):
    os.link(os.path.join(work, 'tiny.jpg'), os.path.join(work, 'large', f'{words[i % 7]}_{i}.jpg'))
PY
fi
mkdir -p "$work/empty"
# The real program, run from a folder of its own so that its settings file names the folder it
# opens at start.
app_for() { # app_for <folder> -> a program folder whose settings open <folder>
    local dir=$out/app-$(basename "$1")
    mkdir -p "$dir"
    cp "$build/bin/querndal" "$dir/"
    printf '3,3,1,"%s",0\r\n' "$1" > "$dir/QUERNDAL.INI"
    echo "$dir/querndal"
}

results=$out/results.txt
: > "$results"
# --on-screen: the program's windows on the X screen under its window manager.
measure() { # measure <key> [--on-screen] <measurement> [arguments...] -> "<key> <median> <detail>"
    local key=$1 screen=()
    shift
    if [ "$1" = --on-screen ]; then
        screen=(--on-screen)
        shift
    fi
    local line
    line=$("$bench" "${screen[@]}" --runs "$runs" "$@" 2>/dev/null | tail -n 1) || line="$1 0 0 0 failed"
    echo "$key $(echo "$line" | awk '{print $2, $3, $4}')" >> "$results"
    echo "  $key: $line"
}
# Measurements that print several figures from the same interleaved rounds, one line each:
# "<figure> <median> <min> <max> <runs>"; each is kept under "<prefix>.<figure>".
measure_rounds() { # measure_rounds <prefix> <measurement> [arguments...]
    local prefix=$1
    shift
    "$bench" --runs "$runs" "$@" 2>/dev/null | awk -v p="$prefix" 'NF == 5 {print p "." $1, $2, $3, $4}' \
        | tee -a "$results" | sed 's/^/  /'
}
# Whole processes on the X screen under its window manager, each started afresh, the programs
# taking turns round by round: first Damage event, shown (the first frame whose pixels show the
# window's content, when the entry gives the probe an --expect), settled (last paint before
# 300 ms of quiet) and peak resident memory. Each entry is <key>=<probe arguments and command>.
probe_txt=$out/probe.txt
probe_rounds() { # probe_rounds <key>=<probe arguments and command line> ...
    local round entry key
    : > "$probe_txt"
    for round in $(seq 0 "$runs"); do
        for entry in "$@"; do
            key=${entry%%=*}
            # shellcheck disable=SC2086
            if ! line=$("$probe" --window-manager --quiet 300 ${entry#*=} 2> "$out/probe-error.txt"); then
                echo "  $key, round $round: $(grep viewer_probe "$out/probe-error.txt" | tail -n 1)"
                continue
            fi
            # The first round only warms the page cache.
            [ "$round" -gt 0 ] && echo "$round $key $line" >> "$probe_txt"
        done
    done
    for entry in "$@"; do
        key=${entry%%=*}
        for column in 4:paint 5:shown 6:settled 7:rss; do
            awk -v k="$key" -v c="${column%%:*}" '$2 == k && $c >= 0 {print $c}' "$probe_txt" | sort -g \
                | awk -v k="$key.${column#*:}" '
                {v[NR] = $1} END {if (NR) printf "%s %.2f %.2f %.2f\n", k, v[int((NR + 1) / 2)], v[1], v[NR]}'
        done
    done | tee -a "$results" | sed 's/^/  /'
}
# The ratio of two probed figures round by round (the programs ran one after the other in each
# round, so a change of load touches both alike): "<key> <median> <min> <max>".
round_ratio() { # round_ratio <key> <probed key> <reference key> <column: 5 shown, 7 rss>
    awk -v a="$2" -v b="$3" -v c="$4" '$2 == a {x[$1] = $c} $2 == b {y[$1] = $c}
        END {for (r in x) if ((r in y) && y[r] > 0) print x[r] / y[r]}' "$probe_txt" | sort -g \
        | awk -v k="$1" '{v[NR] = $1} END {if (NR) printf "%s %.2f %.2f %.2f\n", k, v[int((NR + 1) / 2)], v[1], v[NR]}' \
        | tee -a "$results" | sed 's/^/  /'
}
# A show step without read-ahead, and libjpeg reading the part the screen shows of the same file,
# round by round: "<key>" and "<key>.limit".
measure_step() { # measure_step <key> <folder>
    local key=$1 lines
    lines=$("$bench" --runs "$runs" step "$2" cold 2>/dev/null) || lines="step 0 0 0 failed"
    echo "$key $(echo "$lines" | tail -n 1 | awk '{print $2, $3, $4}')" >> "$results"
    echo "$key.limit $(echo "$lines" | awk '$1 == "limit" {print $2, $3, $4}')" >> "$results"
    echo "$lines" | sed "s/^/  $key: /"
}
# Time per picture of a command run over a whole folder: its total divided by the count.
per_picture() { # per_picture <key> <count> <command...>
    local key=$1 count=$2
    shift 2
    local line
    line=$("$bench" --runs 3 command "$@" 2>/dev/null | tail -n 1) || line="command 0 failed"
    local total
    total=$(echo "$line" | awk '{print $2}')
    echo "$key $(echo "$line" | awk -v n="$count" '{printf "%.2f %.2f %.2f", $2 / n, $3 / n, $4 / n}')" >> "$results"
    echo "  $key: $total ms for $count pictures"
}

# A virtual 1920 x 1080 screen on a display no other server holds, with a window manager that
# maximises windows as a desktop's does (feh, which does not ask, too), and a message bus: a
# desktop session has one, and Qt's accessibility support connects to it at the first item view
# it makes; without one it spends some 12 ms trying to start one.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -br -nolisten tcp 3> "$display_file" > /dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$display_file")
export DISPLAY
rm -f "$display_file"
sed 's|</applications>|<application class="feh"><maximized>yes</maximized></application></applications>|' \
    /etc/xdg/openbox/rc.xml > "$out/openbox.xml"
openbox --sm-disable --config-file "$out/openbox.xml" > /dev/null 2>&1 &
wm=$!
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
buspid=$(echo "$bus" | sed -n 2p)
trap 'kill $wm $xvfb $buspid 2> /dev/null || true' EXIT
for _ in $(seq 100); do
    wmctrl -m > /dev/null 2>&1 && break
    sleep 0.05
done

if section decode; then
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
fi

if section limits; then
echo "Limits in process, in the same interleaved rounds as ours"
measure_rounds baseline limits "$work/baseline.jpg"
measure_rounds progressive limits "$work/progressive.jpg"
measure_rounds large list "$work/large"
fi

if section launch; then
echo "Whole processes on a 1920 x 1080 X screen, maximised under a window manager"
# What each window shows once painted, in its own coordinates: the first word of its menu bar
# (or of its text) in dark pixels on its light colour; the bare window's colour alone.
word=0,0,56,28,20
probe_rounds "bare=--expect 0,0,56,28,0 $bare" "bare.text=--expect $word $bare --text" \
    "stock=--expect $word $bare --controls" "ours.empty=--expect $word $(app_for "$work/empty")" \
    "ours.large=--expect $word $(app_for "$work/large")" "feh.large=feh -S filename $work/large"
round_ratio ours.empty.shown/bare ours.empty bare 5
round_ratio bare.text.shown/bare bare.text bare 5
round_ratio stock.shown/bare stock bare 5
round_ratio ours.empty.shown/stock ours.empty stock 5
round_ratio ours.large.rss/feh ours.large feh.large 7
fi

if section windows; then
echo "The viewer's windows (offscreen, 1920 x 1080 screen; memory on the X screen, maximised)"
measure select select "$work/photos"
measure resize resize "$work/photos"
measure step.24mp.ahead step "$work/photos" ahead
measure_step step.24mp.cold "$work/photos"
measure step.hd.ahead step "$work/hd" ahead
measure_step step.hd.cold "$work/hd"
measure_step step.60mp.cold "$work/60mp"
# A 0.2 s show of 24 MP photos while another process keeps one core busy: its longest interval.
( while :; do :; done ) &
busy=$!
measure show.timed show "$work/photos" 200
kill $busy
echo "show.timed.longest $(awk '$1 == "show.timed" {print $4, $3, $4}' "$results")" >> "$results"
measure zoom zoom "$work/photos"
# Twenty selections in a row, the cache emptied, beside libjpeg's twenty 1/8 decodes; then each
# selection with the cache filled.
measure_rounds twenty select-twenty "$work/photos"
measure_rounds twenty.progressive select-twenty "$work/progressive-photos" cached
# Page Down as soon as a 24 MP picture's sharp part is on screen, until the whole (reduced)
# picture is painted.
for kind in baseline progressive; do
    folder=$work/photos
    [ $kind = progressive ] && folder=$work/progressive-photos
    measure zoom.slot.$kind zoom-out "$folder" slot
    measure zoom.show.$kind zoom-out "$folder" show
    measure zoom.show-ahead.$kind zoom-out "$folder" show-ahead
done
# The slots filled as holding Right does (33 ms apart), in the maximised window, whose slots are
# larger than the design's; beside one full decode, and libjpeg's own peak (djpeg, a process
# measured the same way) for one thumbnail of the progressive picture.
# Slots that decode: the thumbnail cache the selections above filled is set aside for these.
XDG_CACHE_HOME=$(mktemp -d) measure memory.slots --on-screen memory-slots "$work/photos" 33
XDG_CACHE_HOME=$(mktemp -d) measure memory.slots.progressive --on-screen memory-slots \
    "$work/progressive-photos" 33
measure memory.full memory-full "$work/baseline.jpg"
measure progressive.djpeg-1/8.peak peak-memory djpeg -scale 1/8 -outfile /dev/null \
    "$work/progressive.jpg"
measure keyrepeat keyrepeat "$work/photos"
fi

if section peers; then
echo "Peers on the same pictures"
count=$(ls "$work/photos" | wc -l)
per_picture feh.montage "$count" feh --montage --thumb-width 97 --thumb-height 77 \
    --output-only "$out/feh-montage.png" "$work/photos"
# feh as a slide show: every picture once, 10 ms apart (counted in its figure), on a virtual
# screen.
per_picture feh.show.24mp "$count" feh --on-last-slide quit --slideshow-delay 0.01 \
    --fullscreen "$work/photos"
hdcount=$(ls "$work/hd" | wc -l)
per_picture feh.show.hd "$hdcount" feh --on-last-slide quit --slideshow-delay 0.01 \
    --fullscreen "$work/hd"
fi

value() { awk -v key="$1" '$1 == key {print $2}' "$results"; }
spread() { awk -v key="$1" '$1 == key && NF >= 4 {printf "%s-%s", $3, $4}' "$results"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
meets() { awk -v a="$1" -v b="$2" 'BEGIN {print (a <= b) ? 1 : 0}'; }

table=$out/results.tsv
: > "$table"
# row <name> <our key> <reference name> <reference key, or empty for an absolute limit>
#     <limit on ours/reference, or absolute> <target text> [key of the ratio taken round by round]
# A row whose figure was not measured (a section left out) is not printed.
row() {
    local name=$1 ours refname=$3 ref="" limit=$5 target=$6 r ok
    ours=$(value "$2")
    [ -n "$ours" ] || return 0
    [ -n "$4" ] && ref=$(value "$4")
    if [ -n "${7:-}" ] && [ -n "$(value "$7")" ]; then
        # The median of the rounds' ratios, with their spread: the target holds round by round.
        r=$(value "$7")
        ok=$(meets "$r" "$limit")
        r="$r [$(spread "$7")] per round"
    elif [ -n "$ref" ] && [ "$ref" != 0 ]; then
        r=$(ratio "$ours" "$ref")
        ok=$(meets "$r" "$limit")
    else
        r=-
        ok=$(meets "${ours:-0}" "$limit")
    fi
    printf '%-46s %9s %-15s %-30s %9s %-15s %6s  %s %s\n' "$name" "${ours:--}" "[$(spread "$2")]" \
        "$refname" "${ref:--}" "[$([ -n "$4" ] && spread "$4")]" "$r" "$target" \
        "$([ "$ok" = 1 ] && echo met || echo MISSED)"
    # An absolute target is drawn as the reference bar, so the chart shows how far below it we are.
    printf '%s\t%s\t%s\t%s\t%s (%s)\t%s\n' "$name" "${ours:-0}" "$refname" "${ref:-$limit}" "$target" "$r" "$ok" >> "$table"
}

# floor <name> <key> <reference name> <reference key> [key of the ratio taken round by round]:
# a reference measured beside ours, shown with its ratio and no target (it is not the viewer's
# figure); not drawn in the chart.
floor() {
    local ours ref r
    ours=$(value "$2")
    [ -n "$ours" ] || return 0
    ref=$(value "$4")
    if [ -n "${5:-}" ] && [ -n "$(value "$5")" ]; then
        r="$(value "$5") [$(spread "$5")] per round"
    else
        r=$([ -n "$ref" ] && ratio "$ours" "$ref")
    fi
    printf '%-46s %9s %-15s %-30s %9s %-15s %6s  %s\n' "$1" "${ours:--}" "[$(spread "$2")]" "$3" \
        "${ref:--}" "[$(spread "$4")]" "$r" "(reference)"
}

echo
echo "Medians of $runs runs [min-max] (milliseconds unless said). Ratio = ours / reference."
echo "Machine load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores."
printf '%-46s %9s %-15s %-30s %9s %-15s %6s  %s\n' measurement ours spread reference value spread ratio target
for kind in baseline progressive; do
    row "thumbnail of a $kind 24 MP JPEG" $kind.ours.thumbnail "libjpeg 1/8, in process" $kind.libjpeg.scale-1/8 1.05 "<= 1.05x"
    row "thumbnail, $kind, 2x screen (194 x 154)" $kind.ours.thumbnail-2x "libjpeg 1/8, in process" $kind.libjpeg.scale-1/8 1.05 "<= 1.05x"
done
row "full decode, 24 MP baseline" baseline.ours.full "libjpeg full, in process" baseline.libjpeg.full 1.1 "<= 1.1x"
row "select 24 MP JPEG until its slot is painted" select "libjpeg 1/8, in process" baseline.libjpeg.scale-1/8 1.5 "<= 1.5x"
row "select 24 MP JPEG until painted" select "vipsthumbnail (own process)" baseline.vipsthumbnail 1.0 "faster"
row "select 24 MP JPEG until painted" select "feh --montage, per picture" feh.montage 1.0 "faster"
row "show step, 24 MP, read ahead" step.24mp.ahead "limit: one frame" "" 16 "< 16 ms"
row "show step, 24 MP, not read ahead" step.24mp.cold "libjpeg visible part, same rounds" step.24mp.cold.limit 1.1 "<= 1.1x"
row "show step, 24 MP, not read ahead" step.24mp.cold "feh slide show, per picture" feh.show.24mp 1.0 "faster"
row "show step, 1080p, read ahead" step.hd.ahead "limit: one frame" "" 16 "< 16 ms"
row "show step, 1080p, not read ahead" step.hd.cold "libjpeg visible part, same rounds" step.hd.cold.limit 1.1 "<= 1.1x"
row "show step, 1080p, not read ahead" step.hd.cold "feh slide show, per picture" feh.show.hd 1.0 "faster"
row "show step, 60 MP, not read ahead" step.60mp.cold "libjpeg visible part, same rounds" step.60mp.cold.limit 1.1 "<= 1.1x"
row "0.2 s show of 24 MP, one core busy: longest" show.timed.longest "limit: 1.25 x 200 ms" "" 250 "<= 250 ms"
row "zoom step (Page Up / Page Down)" zoom "limit: one frame" "" 16 "< 16 ms"
row "20 selections of 24 MP in a row, until painted" twenty.ours.twenty "libjpeg 1/8 x 20, / cores" twenty.libjpeg.twenty-1/8-per-core 1.15 "<= 1.15x"
row "20 selections of 24 MP in a row, until painted" twenty.ours.twenty "libjpeg 1/8 x 20, one by one" twenty.libjpeg.twenty-1/8 1.0 "faster"
row "select 24 MP, cache filled: slowest of 20" twenty.ours.cached.slowest "limit" "" 10 "<= 10 ms"
row "select progressive 24 MP, cache filled: slowest" twenty.progressive.ours.cached.slowest "limit" "" 10 "<= 10 ms"
for kind in baseline progressive; do
    row "Page Down from a slot, $kind 24 MP: whole" zoom.slot.$kind "limit: one frame" "" 16 "< 16 ms"
    row "Page Down in a show, $kind 24 MP: whole" zoom.show.$kind "limit: one frame" "" 16 "< 16 ms"
    row "Page Down, next picture read ahead, $kind" zoom.show-ahead.$kind "limit: one frame" "" 16 "< 16 ms"
done
row "resize with 20 filled slots, no file read" resize "limit: one frame" "" 16 "< 16 ms"
row "memory, 20 slots of 24 MP, maximised (MB)" memory.slots "one full 24 MP decode (MB)" memory.full 3 "<= 3x"
row "memory, 20 slots of progressive 24 MP (MB)" memory.slots.progressive "djpeg -scale 1/8, one (MB)" progressive.djpeg-1/8.peak 1.1 "<= 1.1x"
row "longest input stall holding Right (ms)" keyrepeat "limit" "" 50 "< 50 ms"
row "launch until its content shows (pixels)" ours.empty.shown "bare Qt Widgets window" bare.shown 1.1 "<= 1.1x" ours.empty.shown/bare
# What any window pays above the bare one, to tell it from what the viewer's own code adds.
floor "  floor: one word of text, until shown" bare.text.shown "bare Qt Widgets window" bare.shown bare.text.shown/bare
floor "  floor: same controls, stock widgets" stock.shown "bare Qt Widgets window" bare.shown stock.shown/bare
row "launch until its content shows (pixels)" ours.empty.shown "same controls, stock widgets" stock.shown 1.1 "<= 1.1x" ours.empty.shown/stock
row "launch with 50 000 files until listed" ours.large.settled "feh -S filename, same folder" feh.large.settled 1.5 "<= 1.5x"
row "peak memory, 50 000 files, maximised (MB)" ours.large.rss "feh maximised, same folder (MB)" feh.large.rss 2 "<= 2x" ours.large.rss/feh
# What a maximised Qt window holds before any file is listed, against the same feh.
floor "  floor: bare Qt Widgets window (MB)" bare.rss "feh maximised, same folder (MB)" feh.large.rss
floor "  floor: same controls, stock widgets (MB)" stock.rss "feh maximised, same folder (MB)" feh.large.rss
floor "  the viewer, empty folder (MB)" ours.empty.rss "feh maximised, same folder (MB)" feh.large.rss
row "50 000 files: longest UI block (list+paint)" large.ours.list "limit" "" 100 "< 100 ms"
echo
for kind in bmp gif wmf; do
    if [ -n "$(value $kind.full)" ]; then
        echo "full decode of the $kind picture: $(value $kind.full) ms"
    fi
done
"$bench" chart "$table" "$out/results.png" 2>/dev/null && echo "Chart: $out/results.png"
