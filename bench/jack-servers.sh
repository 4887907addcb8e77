#!/usr/bin/env bash
# Receives and pauses over the JACK servers a desktop runs: jackd2 (dummy driver, no
# real-time scheduling) at 128 and 1024 frames, and PipeWire's JACK at quantum 64 and 1024 (a
# headless pipewire, clients through pw-jack). Damaged receives (stored short without a word)
# must be 0. Then, on each, what another client, the sender, our own client or the server
# being late for three periods in the middle of a dump does to it (jack_misses).
#   bench_jack_servers [RECEIVES [ROUNDS_PER_LATENESS]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$here/../CMakeCache.txt")
receives=${1:-25} lateness_rounds=${2:-10}
state=$here/jack-servers
mkdir -p "$state"
status=0

# $1: the label; then the command that runs a client against the server, SERVER_PID set.
measure() {
  local label=$1; shift
  printf '%-20s ' "$label:"
  "$@" "$here/jack_rounds" "$receives" || status=1
  for mode in none other sender own driver; do
    printf '%-20s   late: ' ''
    "$@" "$here/jack_misses" "$mode" "$lateness_rounds" "$SERVER_PID" || status=1
  done
}

for period in 128 1024; do
  name=bankshuttle-bench-$period
  export JACK_DEFAULT_SERVER=$name JACK_NO_START_SERVER=1
  jackd --no-realtime -n "$name" -d dummy -r 48000 -p "$period" >"$state/jackd.log" 2>&1 &
  SERVER_PID=$!
  for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
  measure "jackd2, $period frames" env
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
done
unset JACK_DEFAULT_SERVER

"$source_dir/tests/jack/pipewire-fixture.sh" start "$state"
SERVER_PID=$(cat "$state/pipewire.pid")
for quantum in 64 1024; do
  measure "PipeWire, quantum $quantum" \
    env XDG_RUNTIME_DIR="$state/pipewire-runtime" pw-jack -p "$quantum"
done
"$source_dir/tests/jack/pipewire-fixture.sh" stop "$state"
exit $status
