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

# shellcheck source=scripts/xvfb-session.sh
. "$(dirname "$0")/../scripts/xvfb-session.sh"

warm_up_seconds=5
max_growth_kib=1024
width=640
height=480
move_pause=0.05

resident_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$demo_pid/status"
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
    while ((SECONDS < end)) && demo_running; do
        wander
    done
    if ! demo_running; then
        wait "$demo_pid"
        local status=$?
        demo_pid=
        fail "the demo ended by itself with status $status (above 128: killed by a signal)"
    fi
}

seed=${SOAK_SEED:-$$}
RANDOM=$seed
echo "random seed $seed (SOAK_SEED reruns the same moves)"

start_xvfb
ALLOC_COUNTER_FILE=$session_dir/counts LD_PRELOAD=$counter "$example" &
demo_pid=$!
wander_for $warm_up_seconds
rss_before=$(resident_kib)
kill -USR1 "$demo_pid"
soak_start=$EPOCHREALTIME
wander_for "$soak_seconds"
rss_after=$(resident_kib)
soak_duration=$(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $soak_start }")
quit_with_escape

declare -A count
while read -r name value; do
    count[$name]=$value
done <"$session_dir/counts"
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
