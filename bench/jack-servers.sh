#!/usr/bin/env bash
# Receives and pauses over the JACK servers a desktop runs: jackd2 (dummy driver, 128 frames,
# no real-time scheduling) and PipeWire's JACK at quantum 64 and 1024 (a headless pipewire,
# clients through pw-jack). Damaged receives (stored short without a word) must be 0.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$here/../CMakeCache.txt")
rounds=$here/jack_rounds
state=$here/jack-servers
mkdir -p "$state"
status=0

name=bankshuttle-bench-128
JACK_DEFAULT_SERVER=$name JACK_NO_START_SERVER=1 bash -c "
  jackd --no-realtime -n $name -d dummy -r 48000 -p 128 >'$state/jackd.log' 2>&1 &
  echo \$! >'$state/jackd.pid'
  for _ in \$(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
  printf 'jackd2, 128 frames:      '
  '$rounds' || exit 1" || status=1
kill "$(cat "$state/jackd.pid")" 2>/dev/null || true

"$source_dir/tests/jack/pipewire-fixture.sh" start "$state"
for quantum in 64 1024; do
  printf 'PipeWire, quantum %-5s ' "$quantum:"
  env -u JACK_DEFAULT_SERVER XDG_RUNTIME_DIR="$state/pipewire-runtime" \
    pw-jack -p "$quantum" "$rounds" || status=1
done
"$source_dir/tests/jack/pipewire-fixture.sh" stop "$state"
exit $status
