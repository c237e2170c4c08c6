# Sourced by the scripts that run the demo or the dungeon in a virtual X server of their own
# (the pictures and the soak test): starts the server, ends what the script started, and quits
# the program with Esc. The script sets demo_pid when it starts the program.

session_dir=$(mktemp -d)
xvfb_pid=""
demo_pid=""
# The demo reads the key state, not a key buffer: a key must stay down for a while to be seen.
key_hold=0.2
start_timeout=10
exit_timeout=5

fail() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}

# Ends what the script started, and only that, by process id.
end_session() {
    for pid in $demo_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$session_dir"
}
trap end_session EXIT
trap 'exit 1' INT TERM

# start_xvfb [SCREEN]: a server with one screen of SCREEN (640x480x16 by default, the demo's).
# Xvfb picks a free display itself and writes its number to descriptor 3 once it listens.
start_xvfb() {
    rm -f "$session_dir/display"
    Xvfb -displayfd 3 -screen 0 "${1:-640x480x16}" -nolisten tcp 3>"$session_dir/display" \
        >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq $((start_timeout * 10))); do
        [ -s "$session_dir/display" ] && break
        sleep 0.1
    done
    [ -s "$session_dir/display" ] || fail "Xvfb did not start"
    DISPLAY=":$(head -n 1 "$session_dir/display")"
    export DISPLAY
    xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
}

stop_xvfb() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}

demo_running() {
    kill -0 "$demo_pid" 2>/dev/null
}

# Holds Esc, then expects the demo to end with status 0.
quit_with_escape() {
    xdotool keydown Escape sleep "$key_hold" keyup Escape
    for _ in $(seq $((exit_timeout * 10))); do
        demo_running || break
        sleep 0.1
    done
    demo_running && fail "the demo still runs $exit_timeout s after Esc"
    status=0
    wait "$demo_pid" || status=$?
    demo_pid=""
    [ "$status" -eq 0 ] || fail "exit status $status after Esc (above 128: killed by a signal)"
}
