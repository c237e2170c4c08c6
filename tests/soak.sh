#!/bin/bash
# Soak test of the demo in an Xvfb server of its own: random light motion, with V held down now
# and then, for a warm-up and then a soak, then Esc. Fails when the demo does not exit with
# status 0 after Esc, when its resident memory grows by a MiB or more over the soak, or when
# its frame loop's thread allocates from the heap during the soak.
# Usage: soak.sh EXAMPLE ALLOC_COUNTER_LIBRARY [SOAK_SECONDS]
set -u
example=$1
counter=$2
soak_seconds=${3:-60}

warm_up_seconds=5
max_growth_kib=1024
width=640
height=480
# The demo reads the key state, not a key buffer: a key must stay down for a while to be seen.
key_hold=0.2
move_pause=0.05
start_timeout=10
exit_timeout=5

tmp=$(mktemp -d)
xvfb=
demo=

cleanup() {
    for pid in $demo $xvfb; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    exit 1
}

# Xvfb picks a free display itself and writes its number to fd 3 once it listens.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 ${width}x${height}x16 -nolisten tcp 3>"$tmp/display" \
        >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq $((start_timeout * 10))); do
        grep -q . "$tmp/display" 2>/dev/null && break
        sleep 0.1
    done
    export DISPLAY=:$(head -n 1 "$tmp/display")
    [ "$DISPLAY" != : ] && xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
}

resident_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$demo/status"
}

alive() {
    kill -0 "$demo" 2>/dev/null
}

# One random move of the light; one move in five is made with V held.
wander() {
    local x=$((RANDOM % width)) y=$((RANDOM % height))
    if ((RANDOM % 5 == 0)); then
        xdotool keydown v mousemove $x $y sleep $key_hold keyup v
    else
        xdotool mousemove $x $y sleep $move_pause
    fi
}

wander_for() {
    local end=$((SECONDS + $1))
    while ((SECONDS < end)) && alive; do
        wander
    done
    if ! alive; then
        wait "$demo"
        local status=$?
        demo=
        fail "the demo ended by itself with status $status (above 128: killed by a signal)"
    fi
}

quit_with_escape() {
    xdotool keydown Escape sleep $key_hold keyup Escape
    for _ in $(seq $((exit_timeout * 10))); do
        alive || break
        sleep 0.1
    done
    alive && fail "the demo still runs ${exit_timeout} s after Esc"
    wait "$demo"
    local status=$?
    demo=
    [ $status -eq 0 ] || fail "exit status $status after Esc (above 128: killed by a signal)"
}

seed=${SOAK_SEED:-$$}
RANDOM=$seed
echo "random seed $seed (SOAK_SEED reruns the same moves)"

start_xvfb
ALLOC_COUNTER_FILE=$tmp/counts LD_PRELOAD=$counter "$example" &
demo=$!
wander_for $warm_up_seconds
rss_before=$(resident_kib)
kill -USR1 "$demo"
soak_start=$EPOCHREALTIME
wander_for "$soak_seconds"
rss_after=$(resident_kib)
soak_duration=$(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $soak_start }")
quit_with_escape

declare -A count
while read -r name value; do
    count[$name]=$value
done <"$tmp/counts"
frames=${count[frames]:-0}
((frames > 0)) || fail "no frame was counted"
growth=$((rss_after - rss_before))

ratio() {
    awk "BEGIN { printf \"%.4g\", $1 / ($2 > 0 ? $2 : 1) }"
}
echo "soak: $frames frames in $soak_duration s ($(ratio $frames $soak_duration) per second)," \
    "${count[vsyncs]} of them waited for the retrace"
echo "resident memory: $rss_before KiB after warm-up, $rss_after KiB at the end ($growth KiB)"
echo "heap allocations during the soak:"
echo "  frame loop outside vsync: ${count[in_frame_loop]}" \
    "($(ratio ${count[in_frame_loop]} $frames) per frame)"
echo "  inside vsync: ${count[in_vsync]} ($(ratio ${count[in_vsync]} ${count[vsyncs]}) per call)"
echo "  background thread: ${count[in_background]}" \
    "($(ratio ${count[in_background]} $soak_duration) per second)"

((growth < max_growth_kib)) || fail "resident memory grew by $growth KiB"
# The drawing, the module and the library calls other than vsync allocate nothing once warm.
((count[in_frame_loop] == 0)) ||
    fail "the frame loop allocated ${count[in_frame_loop]} times outside vsync"
echo "PASS"
