#!/usr/bin/env bash
# Starts or stops the JACK server that the tests talk to: dummy driver, its own server name,
# never one started implicitly by a client. With real-time scheduling where this user may use
# it (root, or an rtprio limit), as a studio runs JACK: the server's and its clients' process
# threads then keep their cycles while builds and other tests load the machine. Without, it
# runs as before.
#   jackd-fixture.sh start NAME STATEDIR
#   jackd-fixture.sh stop  NAME STATEDIR
set -u
action=$1 name=$2 state=$3
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=$name
pidfile=$state/jackd-$name.pid
log=$state/jackd-$name.log
mkdir -p "$state"

. "$(dirname "$0")/server-process.sh"

case $action in
start)
  stop
  # Without real-time scheduling a short period misses cycles on a busy machine, and JACK
  # drops the MIDI data of a missed cycle; 1024 frames (21 ms) leaves room.
  realtime=--no-realtime
  if chrt -f 10 true 2>/dev/null; then
    realtime="--realtime -P 70"
  fi
  jackd $realtime -n "$name" -d dummy -r 48000 -p 1024 >"$log" 2>&1 &
  echo $! >"$pidfile"
  wait_until_serving jack_lsp
  ;;
stop)
  stop
  ;;
esac
