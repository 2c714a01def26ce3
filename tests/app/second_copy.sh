#!/usr/bin/env bash
# Starts the real program from a copy of its folder, then starts it again
# from the same folder while the first copy runs: the second must call the
# first one's main window forward and end at once, having counted and saved
# nothing. Then starts it with a FIFO for the threshold table and a folder
# for the record: it must come up as usual and leave both alone.
# Needs an X display (the test command provides Xvfb).
#
# usage: second_copy.sh PROGRAM_FOLDER
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../support/program_scratch.sh"
copy_program_folder "$1"
export QT_QPA_PLATFORM=xcb

window_named() { xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n "$(window_named "$1")" ]]; }
record_is() { [[ "$(cat "$home/Data/Xdata.dat" 2>/dev/null)" == "$1" ]]; }
focused_is() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$1" ]]; }

# Starts the program and waits for its window titled like $1 (the main
# window by default).
start_program() {
    echo "start at ${SECONDS}s"
    local title=${1:-'^Tessaly － www'}
    "$home/tessaly" >"$work/log" 2>&1 &
    pid=$!
    wait_for 60 has_window "$title" || fail "no window '$title' within 60 s"
}


# A later run (no welcome window), so the main window comes up by itself.
printf '3,5,100\r\n' > "$home/Data/Xdata.dat"
start_program
record_is $'3,6,100\r' || fail "the first copy did not count its run"
main=$(window_named '^Tessaly － www')
# Nothing has the focus yet (no window manager runs), so the focus moving to
# the main window below is the first copy answering the second.
! focused_is "$main" || fail "the main window has the focus already: nothing to prove"

started=$SECONDS
"$home/tessaly" >"$work/second.log" 2>&1 &
second=$!
deadline=$((SECONDS + 20))
while kill -0 "$second" 2>/dev/null; do
    ((SECONDS < deadline)) || { kill -KILL "$second"; fail "the second copy did not end within 20 s"; }
    sleep 0.1
done
wait "$second" || fail "the second copy ended with an error"
echo "the second copy ended after $((SECONDS - started)) s"
record_is $'3,6,100\r' || fail "the second copy changed the record: $(cat "$home/Data/Xdata.dat")"
kill -0 "$pid" 2>/dev/null || fail "the first copy is gone"
wait_for 10 focused_is "$main" || fail "the first copy's main window did not come forward (focus $(xdotool getwindowfocus))"
stop_program
[[ "$(cut -d, -f2 "$home/Data/Xdata.dat")" == 6 ]] || fail "run count changed: $(cat "$home/Data/Xdata.dat")"

# The lock went with the first copy: the next start is counted.
start_program
[[ "$(cut -d, -f2 "$home/Data/Xdata.dat")" == 7 ]] || fail "the next start was not counted"
stop_program

# A FIFO where the threshold table belongs and a folder where the record
# does: the program comes up, and leaves both as they are.
rm -f "$home/Data/Data.dat" "$home/Data/Xdata.dat"
mkfifo "$home/Data/Data.dat"
mkdir "$home/Data/Xdata.dat"
start_program '^欢迎使用  Tessaly$'  # a record that cannot be read: a first run
stop_program
[[ -p "$home/Data/Data.dat" && -d "$home/Data/Xdata.dat" ]] || fail "the FIFO or the folder was replaced"
echo "PASS"
