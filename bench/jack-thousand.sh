#!/usr/bin/env bash
# 100 receives of a dump of 1,000 messages sent back to back, with every core busy at the
# lowest priority, on jackd2 as a desktop runs it (dummy driver, 1024 frames, no real-time
# scheduling), started here. Kept damaged must be 0 (jack_thousand). About three minutes.
#   bench_jack_thousand [RECEIVES [SMALLEST LARGEST]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=$here/jack-thousand
mkdir -p "$state"
name=bankshuttle-thousand-$$
export JACK_DEFAULT_SERVER=$name JACK_NO_START_SERVER=1
jackd --no-realtime -n "$name" -d dummy -r 48000 -p 1024 >"$state/jackd.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
"$here/jack_thousand" "${@:-100}"
