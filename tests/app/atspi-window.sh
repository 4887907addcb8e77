#!/usr/bin/env bash
# The window as a screen reader meets it: the real program under an X server and a D-Bus
# session of the test's own, read through AT-SPI (what Orca reads) by atspi-window.py.
#   atspi-window.sh BANKSHUTTLE_PROGRAM DUMP_FILE
# The program's stderr stays in the test's log: an abort or a sanitizer report is read there.
set -u
# A D-Bus session of the test's own, started with a home and a runtime folder of its own: the
# accessibility bus that the session starts puts its socket there. In the user's, two runs at
# once took each other's socket away.
if [ -z "${BANKSHUTTLE_ATSPI_SESSION:-}" ]; then
  session_home=$(mktemp -d)
  mkdir -m 700 "$session_home/run"
  BANKSHUTTLE_ATSPI_SESSION=1 HOME=$session_home XDG_RUNTIME_DIR=$session_home/run \
    dbus-run-session -- "$0" "$@"
  status=$?
  rm -rf "$session_home"
  exit $status
fi
program=$1 file=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
# The program goes before its X server: one whose server vanishes first aborts ("The X11
# connection broke"), which would hide how the test really ended.
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
# Xvfb writes its display number once it accepts clients; a busy machine may take a while.
# -noreset: by default an X server resets itself when its last client leaves, and refuses
# the clients that come meanwhile (the check below would leave it just before the program
# comes).
Xvfb -displayfd 3 -noreset -screen 0 1400x700x24 -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 300); do
  [ -s "$work/display" ] && break
  kill -0 "${pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
if ! [ -s "$work/display" ] || ! DISPLAY=":$(cat "$work/display")" timeout 20 \
  sh -c 'until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.05; done'; then
  echo "atspi-window: Xvfb never answered:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(cat "$work/display")" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# A home of its own: the library pane reads no one's real backups.
export HOME=$work XDG_CONFIG_HOME=$work/.config BANKSHUTTLE_MIDI_API=none
"$program" "$file" &
program_pid=$!
pids+=("$program_pid")
/usr/bin/python3 "$here/atspi-window.py" "$program_pid"
status=$?
if ! kill -0 "$program_pid" 2>/dev/null; then
  wait "$program_pid"
  echo "atspi-window: the program ended early with status $?" >&2
  status=1
fi
exit $status
