#!/bin/sh
# Starts Tessaly from its program folder, ../lib/tessaly beside this launcher.
#
# The program keeps its progress in the Data folder beside its executable, so
# it has to run from a folder its user may write to. An install the user owns
# and may write to (say under ~/.local) runs in place. A shared install (under
# /usr, another user's, or read-only) is never written to: the user gets a
# program folder of their own in $XDG_DATA_HOME/tessaly, set up on the first
# start, with
#   - a copy of the executable: the program finds its folder through the real
#     path of its executable, so a symbolic link would lead back to the shared
#     folder (and a hard link to another user's file is usually refused);
#   - symbolic links to everything else that is only read (the documents);
#   - a Data folder of its own, copied from the installed one.
# On later starts the executable is copied again when the installed one has
# changed, and links are made for anything the install has gained.
set -eu

here=$(dirname "$(readlink -f "$0")")
installed=$(cd "$here/../lib/tessaly" && pwd -P)

case "$installed/" in
  /usr/*) shared=yes ;;
  *)
    if [ -O "$installed" ] && [ -w "$installed" ]; then
      shared=no
    else
      shared=yes
    fi
    ;;
esac
if [ "$shared" = no ]; then
  exec "$installed/tessaly" "$@"
fi

data_home=${XDG_DATA_HOME:-}
case "$data_home" in
  /*) ;;
  *) data_home="$HOME/.local/share" ;;  # unset, empty or relative: the default
esac
own="$data_home/tessaly"
mkdir -p "$own"

if ! cmp -s "$installed/tessaly" "$own/tessaly"; then
  cp "$installed/tessaly" "$own/tessaly.new"
  mv -f "$own/tessaly.new" "$own/tessaly"
fi
if [ ! -e "$own/Data" ]; then
  cp -R "$installed/Data" "$own/Data.new"
  mv "$own/Data.new" "$own/Data"
fi
for entry in "$installed"/* "$installed"/.[!.]*; do
  [ -e "$entry" ] || continue
  name=$(basename "$entry")
  case "$name" in
    tessaly | Data) ;;
    *) [ -e "$own/$name" ] || [ -L "$own/$name" ] || ln -s "$entry" "$own/$name" ;;
  esac
done
# Links to what an update of the install took away.
for entry in "$own"/* "$own"/.[!.]*; do
  if [ -L "$entry" ] && [ ! -e "$entry" ]; then
    case "$(readlink "$entry")" in
      "$installed"/*) rm -f "$entry" ;;
    esac
  fi
done

exec "$own/tessaly" "$@"
