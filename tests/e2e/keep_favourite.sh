#!/usr/bin/env bash
# Runs the real program twice from a fresh copy of its folder: Ctrl+D on the
# home page adds it to 收藏夹; after a restart, another page is opened, then
# Ctrl+B and Enter open the favourite again, and the history shows both.
# Needs an X display (the test command provides Xvfb).
#
# usage: keep_favourite.sh PROGRAM_FOLDER SCREEN_GRAB
set -euo pipefail

program_folder=$1
screen_grab=$2

source "$(dirname "${BASH_SOURCE[0]}")/../support/program_scratch.sh"
copy_program_folder "$program_folder"
export QT_QPA_PLATFORM=xcb
# A returning user: no welcome window.
printf '1,5,0\r\n' > "$home/Data/Xdata.dat"
favourites=$home/Data/Favourites.txt
history=$home/Data/History.txt

# Sends keys $2... to window $1.
keys_to() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    xdotool key --clearmodifiers "$@"
}

has_favourite() { grep -q $'^E\t' "$favourites" 2>/dev/null; }

# --- First start: Ctrl+D on the home page ---
start_program
main=$(wait_window '^Tessaly － ' 20) || fail "no main window on the first start"
wait_screen_settles 20 || fail "the home page never finished drawing"
keys_to "$main" ctrl+d
wait_for 10 has_favourite || fail "Ctrl+D saved no favourite"
stop_program
address=$(awk -F'\t' '$1 == "E" { print $3; exit }' "$favourites")
[[ "$address" == tessaly://start/* ]] || fail "the favourite is '$address', not the home page"
head -n 1 "$favourites" | grep -qx 'Tessaly favourites 1' || fail "the favourites file has no format line"

# --- Second start: another page, then the favourite from 收藏夹 ---
printf '<html><head><title>Other</title></head><body>other page</body></html>\n' > "$work/other.html"
start_program
main=$(wait_window '^Tessaly － ' 20) || fail "no main window on the second start"
wait_screen_settles 20 || fail "the home page never finished drawing"
keys_to "$main" ctrl+l
open=$(wait_window '^打开$' 10) || fail "no 打开 dialog"
xdotool windowfocus --sync "$open" 2>/dev/null || true
xdotool type --delay 20 "$work/other.html"
xdotool key Return
wait_for 10 grep -q "other.html" "$history" || fail "the other page is not in the history"
keys_to "$main" ctrl+b
shown=$(wait_window '^收藏夹$' 10) || fail "Ctrl+B opened no 收藏夹 window"
keys_to "$shown" Return
last_is_favourite() { [[ "$(tail -n 1 "$history" | cut -f 3)" == "$address" ]]; }
wait_for 10 last_is_favourite || fail "the favourite was not shown: $(tail -n 2 "$history")"
stop_program
grep -q "other.html" "$history" || fail "the history lost the other page"

echo "the favourite $address was added, kept and opened again"
echo "1 passed, 0 failed"
