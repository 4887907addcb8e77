#!/usr/bin/env bash
# Starts or stops the JACK server that the tests talk to: dummy driver, no real-time
# scheduling, its own server name, never one started implicitly by a client.
#   jackd-fixture.sh start NAME STATEDIR
#   jackd-fixture.sh stop  NAME STATEDIR
set -u
action=$1 name=$2 state=$3
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=$name
pidfile=$state/jackd-$name.pid
log=$state/jackd-$name.log
mkdir -p "$state"

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
  # Without real-time scheduling a short period misses cycles on a busy machine, and JACK
  # drops the MIDI data of a missed cycle; 1024 frames (21 ms) leaves room.
  jackd --no-realtime -n "$name" -d dummy -r 48000 -p 1024 >"$log" 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 100); do
    if jack_lsp >/dev/null 2>&1; then
      exit 0
    fi
    kill -0 "$(cat "$pidfile")" 2>/dev/null || break
    sleep 0.1
  done
  echo "jackd did not start; its log:" >&2
  cat "$log" >&2
  stop
  exit 1
  ;;
stop)
  stop
  ;;
esac
