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

. "$(dirname "$0")/server-process.sh"

case $action in
start)
  stop
  rm -rf "$XDG_RUNTIME_DIR" && mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pipewire >"$log" 2>&1 &
  echo $! >"$pidfile"
  wait_until_serving pw-jack jack_lsp
  ;;
stop)
  stop
  ;;
esac
