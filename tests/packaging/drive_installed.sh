#!/usr/bin/env bash
# Runs an installed tablor as a new user would, under its own Xvfb, by keyboard and mouse:
# the main window appears, the first-run question leads to the server setup, a new profile is
# saved (server.dat must land in $XDG_DATA_HOME/Tablor/, none beside the program), the start
# dialog is closed and F1 opens the help window (found in the install's share folder).
# Usage: drive_installed.sh PROGRAM USER_DIR SCREENSHOT_DIR
set -euo pipefail
program=$1
user=$2
shots=$3
bindir=$(dirname "$program")
mkdir -p "$user/runtime" "$shots"
chmod 700 "$user/runtime"
export HOME=$user XDG_DATA_HOME=$user/data XDG_CONFIG_HOME=$user/config XDG_RUNTIME_DIR=$user/runtime
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

xvfb_pid="" tablor_pid=""
stop() {
  local pid
  for pid in $tablor_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  return 0
}
trap stop EXIT
fail() {
  echo "FAILED: $*" >&2
  echo "windows of tablor:" >&2
  for w in $(xdotool search --onlyvisible --pid "$tablor_pid" 2>/dev/null); do
    echo "  $(xdotool getwindowname "$w")" >&2
  done
  [[ -s $user/tablor.log ]] && sed 's/^/  tablor: /' "$user/tablor.log" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$user/display" 2>"$user/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $user/display ]] && break; sleep 0.1; done
[[ -s $user/display ]] || { cat "$user/xvfb.log" >&2; exit 1; }
DISPLAY=:$(head -1 "$user/display")
export DISPLAY

"$program" >"$user/tablor.log" 2>&1 &
tablor_pid=$!

# The id of tablor's visible window whose title matches REGEX, waiting up to 30 seconds.
window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --all --onlyvisible --pid "$tablor_pid" --name "$1" 2>/dev/null | tail -1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    kill -0 "$tablor_pid" 2>/dev/null || fail "tablor ended while waiting for \"$1\""
    sleep 0.1
  done
  fail "no window \"$1\" appeared"
}
press() { timeout 10 xdotool windowfocus --sync "$1" key "$2"; }

main=$(window '^Tablor [0-9]')
question=$(window '^Bestätigung$')
echo "main window and first-run question shown"
import -window root "$shots/installed-first-run.png"
press "$question" Return
setup=$(window '^Server Setup$')
eval "$(xdotool getwindowgeometry --shell "$setup")"
# "New" is the first button at the bottom left; then Escape asks whether to save: Yes.
timeout 10 xdotool windowfocus --sync "$setup" mousemove --window "$setup" 30 $((HEIGHT - 15)) click 1
sleep 0.5
timeout 10 xdotool key Escape
save=$(window '^Bestätigung$')
press "$save" Return
for _ in $(seq 50); do [[ -s $XDG_DATA_HOME/Tablor/server.dat ]] && break; sleep 0.1; done
[[ -s $XDG_DATA_HOME/Tablor/server.dat ]] || fail "no server.dat in $XDG_DATA_HOME/Tablor/"
echo "server.dat written to the user's data folder"

startup=$(window '^Startdialog$')
press "$startup" Escape
press "$main" F1
window '^Tablor-Hilfe$' >/dev/null
sleep 0.5
if [[ -n $(xdotool search --all --onlyvisible --pid "$tablor_pid" --name '^Fehler$' 2>/dev/null || true) ]]; then
  fail "an error message came with the help"
fi
import -window root "$shots/installed-help.png"
echo "help window opened"

kill "$tablor_pid"
wait "$tablor_pid" 2>/dev/null || true
tablor_pid=""
extra=$(find "$bindir" -maxdepth 1 \( -name server.dat -o -name '*.mdb' -o -name '*.tmp' \))
[[ -z $extra ]] || fail "files written beside the installed program: $extra"
