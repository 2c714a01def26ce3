# Sourced by the scripts that run the real program. Gives them a scratch
# folder that goes at exit (with the program, if it still runs), a stand-in
# desktop opener that records in $work/opened what it was asked to open, and
# waits with deadlines. Sets work, pid and PATH.

work=$(mktemp -d)
pid=
cleanup() {
    if [[ -n "$pid" ]]; then kill -KILL "$pid" 2>/dev/null || true; fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/bin"
# shellcheck disable=SC2016  # $1 belongs to the stand-in script
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/opened"\n' "$work" > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"

fail() {
    echo "FAIL: $*" >&2
    if [[ -f "$work/log" ]]; then tail -n 20 "$work/log" >&2; fi
    exit 1
}

# Polls `$2...` every 0.1 s until it succeeds, for at most $1 seconds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

program_ended() { ! kill -0 "$pid" 2>/dev/null; }

# Copies the program folder $1 to $work/Tessaly with an empty Data folder,
# and sets home to the copy.
copy_program_folder() {
    cp -r "$1" "$work/Tessaly"
    rm -rf "$work/Tessaly/Data" && mkdir "$work/Tessaly/Data"
    home="$work/Tessaly"
}

# Asks the program to end as the system would, and checks that it ended well.
stop_program() {
    kill -TERM "$pid"
    wait_for 20 program_ended || fail "the program did not end after SIGTERM"
    wait "$pid" || fail "the program ended with an error after SIGTERM"
    pid=
}

# --- Driving the program's windows (xdotool), for scripts that set
# screen_grab: the path of the screen_grab tool. ---

# Waits up to $2 seconds for a visible window of the program whose title
# matches $1 and prints its id.
wait_window() {
    local deadline=$((SECONDS + $2)) id
    while ((SECONDS < deadline)); do
        id=$(xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Waits up to $1 seconds until the screen stays the same for half a second:
# whatever was loading has been drawn.
wait_screen_settles() {
    local deadline=$((SECONDS + $1))
    "$screen_grab" "$work/then.png" || return 1
    while ((SECONDS < deadline)); do
        sleep 0.5
        "$screen_grab" "$work/now.png" || return 1
        cmp -s "$work/now.png" "$work/then.png" && return 0
        mv "$work/now.png" "$work/then.png"
    done
    return 1
}

start_program() {
    "$home/tessaly" >"$work/log" 2>&1 &
    pid=$!
}
