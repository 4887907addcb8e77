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
# Then the display must answer: with another X server starting beside it, a client once could
# not open the display this one had named. A server that never answers is replaced, twice.
answered=
for _ in 1 2 3; do
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 1400x700x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [ -s "$work/display" ] && DISPLAY=":$(cat "$work/display")" timeout 20 \
    sh -c 'until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.05; done'; then
    answered=1
    pids+=("$xvfb")
    break
  fi
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
done
if [ -z "$answered" ]; then
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
