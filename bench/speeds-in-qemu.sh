#!/usr/bin/env bash
# The sending speeds, measured inside the emulated machine of the ALSA tests: for each speed
# the window offers, the most bytes of a 2,000-byte message that arrived on the instrument's
# raw MIDI device within any 100 ms, and the time the message took.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/..
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
GTEST_FILTER='Speed.Bench*' \
  "$source_dir/tests/alsa/run-in-qemu.sh" "$build/tests/alsa_guest_tests" "$build/alsa-vm" \
  >"$build/alsa-vm/speeds.log" 2>&1 || { cat "$build/alsa-vm/speeds.log"; exit 1; }
grep '^BENCH' "$build/alsa-vm/speeds.log" | tr -d '\r' | sed 's/^BENCH //'
