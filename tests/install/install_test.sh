#!/usr/bin/env bash
# Checks what `cmake --install` and `cpack` make, as a user would meet it.
#
#   install_test.sh tree BUILD_DIR PROGRAM_FOLDER CMAKE
#     Installs into a scratch prefix and checks that every file is there (the
#     program folder as the build assembles it, the launcher, the desktop
#     entry, the icons, the AppStream metadata), that desktop-file-validate
#     and appstreamcli accept them, and that the launcher runs an install the
#     user owns in place, while for a shared install it sets up a program
#     folder of the user's own and runs from it, writing nothing into the
#     install.
#   install_test.sh portable BUILD_DIR CPACK
#     Makes the portable archive, unpacks it and checks that the program
#     starts from the unpacked folder, saves its record, and saves it again
#     when the system asks it to end.
#
# Starting the program needs an X display (the test command provides Xvfb);
# without one those checks are skipped (exit code 77).
set -euo pipefail

mode=$1
build=$2

source "$(dirname "${BASH_SOURCE[0]}")/../support/program_scratch.sh"

# Everything the program might write outside its folder stays in the scratch
# folder, and links it would open are only recorded.
mkdir -p "$work/home"
export HOME="$work/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME

need_display() {
    if [[ -z "${DISPLAY:-}" ]]; then
        echo "SKIP: starting the program needs an X display"
        exit 77
    fi
    export QT_QPA_PLATFORM=xcb
}

# The main window, or on a first start the welcome window over it.
program_window_shown() {
    xdotool search --all --onlyvisible --pid "$pid" --name '^(Tessaly － |欢迎使用  Tessaly$)' \
        >/dev/null 2>&1
}

# Starts `$1` (the program or its launcher), waits for the record it saves on
# starting in program folder $2, then for its window, and ends it with
# SIGTERM as the system does at log-out. The first start may take a while:
# the browser engine starts with it.
run_program() {
    local program=$1 folder=$2 record
    "$program" >"$work/log" 2>&1 &
    pid=$!
    wait_for 30 test -s "$folder/Data/Xdata.dat" || fail "no record saved in $folder/Data"
    record=$(tr -d '\r\n' < "$folder/Data/Xdata.dat")
    [[ "$record" == 1,1,* ]] || fail "the first start saved '$record', not level 1 and run 1"
    wait_for 30 program_window_shown || fail "no main or welcome window"
    # The record saved when the program ends replaces the one saved at start.
    rm "$folder/Data/Xdata.dat"
    stop_program
    [[ -s "$folder/Data/Xdata.dat" ]] || fail "no record saved on SIGTERM"
    record=$(tr -d '\r\n' < "$folder/Data/Xdata.dat")
    [[ "$record" == 1,1,* ]] || fail "SIGTERM saved '$record', not level 1 and run 1"
    [[ -s "$folder/Data/Data.dat" ]] || fail "no level table in $folder/Data"
}

# The width of PNG file $1, from its header.
png_width() {
    od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'
}

# The files and folders below $1, one relative path a line, sorted.
listing() { (cd "$1" && find . -mindepth 1 | sort); }

check_tree() {
    local program_folder=$1 cmake=$2 prefix="$work/prefix"
    "$cmake" --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    local app="$prefix/lib/tessaly"

    # The program folder, as one unit: whatever the build's folder holds
    # besides what the program itself wrote into Data.
    diff <(listing "$program_folder" | grep -v '^\./Data/') <(listing "$app") >&2 ||
        fail "the installed program folder differs from the build's"
    [[ -d "$app/Data" && -z "$(ls -A "$app/Data")" ]] || fail "no empty Data folder installed"
    [[ -x "$app/tessaly" && -x "$prefix/bin/tessaly" ]] || fail "program or launcher not executable"

    local desktop="$prefix/share/applications/example.tessaly.Tessaly.desktop"
    local metainfo="$prefix/share/metainfo/example.tessaly.Tessaly.metainfo.xml"
    [[ -f "$desktop" && -f "$metainfo" ]] || fail "desktop entry or AppStream metadata missing"
    desktop-file-validate "$desktop" || fail "desktop-file-validate refused the desktop entry"
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refused the metadata"
    grep -qx 'Exec=tessaly' "$desktop" || fail "the desktop entry does not start the launcher"
    grep -qx 'Icon=tessaly' "$desktop" || fail "the desktop entry names another icon"
    grep -q '^Name\[zh_CN\]=' "$desktop" || fail "the desktop entry has no Chinese name"
    grep -qx 'Categories=Network;WebBrowser;' "$desktop" || fail "wrong categories"
    local size icon
    for size in 16 22 24 32 48 64 128 256; do
        icon="$prefix/share/icons/hicolor/${size}x${size}/apps/tessaly.png"
        [[ -f "$icon" ]] || fail "no ${size}x${size} icon"
        [[ "$(png_width "$icon")" == "$size" ]] || fail "the ${size}x${size} icon is not $size wide"
    done

    need_display
    # An install of the user's own runs in place and keeps the record beside
    # the executable.
    run_program "$prefix/bin/tessaly" "$app"
    rm -rf "${app:?}"/Data/*

    # A shared install: one this user may not write to, as under /usr.
    if ((EUID == 0)); then
        chown -R nobody "$app"
    else
        chmod -R a-w "$app"
    fi
    export XDG_DATA_HOME="$work/data"
    local own="$XDG_DATA_HOME/tessaly"
    run_program "$prefix/bin/tessaly" "$own"
    [[ -f "$own/tessaly" && ! -L "$own/tessaly" ]] || fail "the executable is not copied"
    cmp -s "$app/tessaly" "$own/tessaly" || fail "the copied executable differs"
    [[ -L "$own/help" && -L "$own/Web版隆重上线！.txt" ]] || fail "the documents are not linked"
    [[ -d "$own/Data" && ! -L "$own/Data" ]] || fail "no Data folder of the user's own"
    [[ -z "$(ls -A "$app/Data")" ]] || fail "the program wrote into the shared install"
    echo "launcher: a program folder of the user's own in $own"
}

check_portable() {
    local cpack=$1
    "$cpack" --config "$build/CPackConfig.cmake" -G TGZ -B "$work/packages" >/dev/null ||
        fail "cpack failed"
    local archive
    archive=$(ls "$work"/packages/*-portable.tar.gz) || fail "no portable archive"
    mkdir "$work/unpacked"
    tar -xzf "$archive" -C "$work/unpacked"
    [[ "$(ls "$work/unpacked")" == Tessaly ]] || fail "the archive does not hold Tessaly/ alone"
    local folder="$work/unpacked/Tessaly"
    [[ -d "$folder/Data" && -z "$(ls -A "$folder/Data")" ]] || fail "no empty Data folder"
    need_display
    run_program "$folder/tessaly" "$folder"
    echo "portable archive: $(basename "$archive") runs and saves $(cat "$folder/Data/Xdata.dat")"
}

case "$mode" in
    tree) check_tree "$3" "$4" ;;
    portable) check_portable "$3" ;;
    *) fail "unknown mode $mode" ;;
esac
echo "1 passed, 0 failed"
