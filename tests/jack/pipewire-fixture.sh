#!/usr/bin/env bash
# Starts or stops a headless PipeWire for the JACK tests to run against through pw-jack: the
# stock configuration (its Dummy-Driver drives JACK clients; no session manager, no D-Bus), in
# a runtime folder of its own.
#   pipewire-fixture.sh start STATEDIR
#   pipewire-fixture.sh stop  STATEDIR
set -u
action=$1 state=$2
export XDG_RUNTIME_DIR=$state/pipewire-runtime
pidfile=$state/pipewire.pid
log=$state/pipewire.log

stop() {
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$pidfile"
  fi
}

case $action in
start)
  stop
  rm -rf "$XDG_RUNTIME_DIR" && mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pipewire >"$log" 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 100); do
    if pw-jack jack_lsp >/dev/null 2>&1; then
      exit 0
    fi
    kill -0 "$(cat "$pidfile")" 2>/dev/null || break
    sleep 0.1
  done
  echo "pipewire did not start; its log:" >&2
  cat "$log" >&2
  stop
  exit 1
  ;;
stop)
  stop
  ;;
esac
