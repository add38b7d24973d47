#!/usr/bin/env bash
# Starts the real program headless with empty settings in a throwaway folder and checks that it
# is still running after two seconds (the main window, the hidden start dialog and the first-run
# question were created without a crash).
set -euo pipefail
program=$1
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
cp "$program" "$run/tablor"
export HOME=$run XDG_CONFIG_HOME=$run/config XDG_DATA_HOME=$run/data QT_QPA_PLATFORM=offscreen
"$run/tablor" >"$run/log" 2>&1 &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" && status=0 || status=$?
  echo "tablor ended after start with status $status:"
  cat "$run/log"
  exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
# Nothing may have been written without the user's answer.
if [[ -e $run/server.dat || -e $run/config/Ostrander/Tablor.conf ]]; then
  echo "tablor wrote files before anyone answered"
  exit 1
fi
echo "tablor started and kept running"
