#!/usr/bin/env bash
# Runs the real program from a fresh copy of its folder, twice, the way a user
# would: first start (splash, welcome window over the home page, a click on
# its help button), a look at the About window, then the system asks the
# program to end. Checks what was saved, and that the second start counts the
# run and greets no one. Needs an X display (the test command provides Xvfb).
#
# usage: drive_program.sh PROGRAM_FOLDER SCREEN_GRAB [SCREENSHOT_FOLDER]
set -euo pipefail

program_folder=$1
screen_grab=$2
shots=${3:-}

source "$(dirname "${BASH_SOURCE[0]}")/../support/program_scratch.sh"
copy_program_folder "$program_folder"
export QT_QPA_PLATFORM=xcb

shot() { [[ -z "$shots" ]] || "$screen_grab" "$shots/$1.png"; }

# Clicks at ($2, $3) pixels inside window $1.
click_in() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + $2)) $((Y + $3)) click 1
}

visible() { xdotool search --all --onlyvisible --pid "$pid" --name "$1" >/dev/null 2>&1; }

# Waits up to $2 seconds until no visible window of the program matches $1.
wait_gone() {
    local deadline=$((SECONDS + $2))
    while visible "$1"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Watches for $2 seconds that no window matching $1 becomes visible; fails
# as soon as one does.
stays_hidden() {
    local deadline=$((SECONDS + $2))
    while ((SECONDS < deadline)); do
        visible "$1" && return 1
        sleep 0.1
    done
    return 0
}

# The saved experience compared ($1: > or >=) with $2.
saved_experience_is() {
    local record
    record=$(tr -d '\r\n' < "$home/Data/Xdata.dat")
    awk -F, -v op="$1" -v than="$2" '{ exit !(op == ">" ? $3 > than : $3 >= than) }' <<<"$record"
}

# --- First start ---
start_program
wait_window '.*' 20 >/dev/null || fail "no window on the first start"
shot splash
visible '^Tessaly － ' && fail "the main window is up while the splash is"
welcome=$(wait_window '^欢迎使用  Tessaly$' 20) || fail "no welcome window on the first start"
# The main window shows once its load returns, which waits for the welcome
# window: two seconds is ample for a window that is already due to show.
stays_hidden '^Tessaly － ' 2 || fail "the main window is visible before the welcome window closed"
shot welcome
click_in "$welcome" 170 135   # 立即查看《下载帮助》
main=$(wait_window '^Tessaly － www' 10) || fail "no main window after the welcome window"
visible '^欢迎使用' && fail "the welcome window is still open"
grep -qx "$home/help/help.htm" "$work/opened" 2>/dev/null || fail "the help page was not opened"
# The home page (it has no moving parts) began loading before the welcome
# window; once the screen is still, it has been drawn, and a page drawn has
# earned its experience.
wait_screen_settles 20 || fail "the home page never finished drawing"
shot main
click_in "$main" 529 24       # 关于
about=$(wait_window '^关于Tessaly   ' 10) || fail "no About window"
shot about
click_in "$about" 333 204     # 确  定
wait_gone '^关于Tessaly' 10 || fail "the About window did not close"
stop_program

first=$(tr -d '\r\n' < "$home/Data/Xdata.dat")
[[ "$first" == 1,1,* ]] || fail "after the first start the record is '$first', not level 1 and run 1"
saved_experience_is '>' 0 || fail "no experience was saved on the first start: '$first'"
first_experience=${first##*,}

# --- Second start: no welcome window, the run is counted ---
start_program
main=$(wait_window '^Tessaly － www' 15) || fail "no main window on the second start"
# The welcome window would open from the main window's load, before the
# main window shows: by now it would be there.
visible '^欢迎使用' && fail "the welcome window came back on the second start"
stop_program
second=$(tr -d '\r\n' < "$home/Data/Xdata.dat")
[[ "$second" == *,2,* ]] || fail "after the second start the record is '$second', not run 2"
# The second start is ended as soon as its window shows, possibly before
# its page has earned anything: it must keep, not necessarily add to, what
# the first start saved.
saved_experience_is '>=' "$first_experience" || fail "the second start lost experience: '$second'"

echo "first start saved $first, second start saved $second"
echo "1 passed, 0 failed"
