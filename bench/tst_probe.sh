#!/usr/bin/env bash
# The launch probe on a private X server under openbox: it ends at the frame that shows the
# window's content, in the window maximised by the manager, not at a Damage event; it gives up on
# content that never comes; and back-to-back runs each find their own window. Nothing here is
# timed. Usage: tst_probe.sh <viewer_probe> <viewer_bare>; exit 77 without Xvfb or openbox.
set -uo pipefail
probe=$1
bare=$2
for tool in Xvfb openbox; do
    command -v "$tool" > /dev/null || { echo "skipped: no $tool"; exit 77; }
done
state=$(mktemp -d)
trap 'kill $wm $xvfb 2> /dev/null; rm -rf "$state"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp 3> "$state/display" > /dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do
    [ -s "$state/display" ] && break
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$state/display")
export DISPLAY
openbox --sm-disable > /dev/null 2>&1 &
wm=$!
export XDG_RUNTIME_DIR=$state

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# probe <expected exit status> <probe arguments...>: runs it, leaves its line in $line.
probe() {
    local want=$1 status
    shift
    line=$("$probe" --window-manager --quiet 200 --timeout 4000 "$@" 2> "$state/stderr")
    status=$?
    [ "$status" = "$want" ] || fail "exit $status, not $want: $* ($(tail -n 1 "$state/stderr"))"
}

# One word on the window's colour: shown, in the maximised window (the whole screen's width).
for round in 1 2 3 4; do
    probe 0 --expect 0,0,56,28,20 "$bare" --text
    read -r word _ shown _ _ _ size <<< "$line"
    [ "$word" = probe ] || fail "round $round: no result line: $line"
    awk -v s="$shown" 'BEGIN {exit !(s >= 0)}' || fail "round $round: nothing shown: $line"
    [ "${size%x*}" = 1024 ] || fail "round $round: the window is $size, not maximised: $line"
done
# The bare window has its colour and no text: text is never found, the colour is.
probe 1 --expect 0,0,56,28,20 "$bare"
grep -q "never showed the expected content" "$state/stderr" \
    || fail "a window without text passed for one with text"
probe 0 --expect 0,0,56,28,0 "$bare"
# A rectangle outside the window is never shown.
probe 1 --expect 2000,0,56,28,0 "$bare"

[ "$failures" = 0 ] && echo "passed"
exit $((failures > 0))
