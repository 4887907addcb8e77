#!/usr/bin/env bash
# The window as a screen reader meets it: the real program under an X server and a D-Bus
# session of the test's own, read through AT-SPI (what Orca reads) by atspi-window.py.
#   atspi-window.sh BANKSHUTTLE_PROGRAM DUMP_FILE
set -u
program=$1 file=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1400x700x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# A home of its own: the library pane reads no one's real backups.
export HOME=$work XDG_CONFIG_HOME=$work/.config BANKSHUTTLE_MIDI_API=none
"$program" "$file" 2>/dev/null &
pids+=($!)
/usr/bin/python3 "$here/atspi-window.py"
