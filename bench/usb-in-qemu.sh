#!/usr/bin/env bash
# The USB MIDI figures, measured inside the emulated machine of the ALSA tests: how fast a
# dump that a USB instrument sends at full speed is received exactly, and how long a receive
# takes to end after the cable is pulled (mid-dump and while waiting), and which rates an input
# shared with aseqdump takes exactly.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/..
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
GTEST_FILTER='Usb.AFullSpeed*:Usb.APulledCable*:Usb.AnInputShared*' \
  "$source_dir/tests/alsa/run-in-qemu.sh" "$build/tests/alsa_guest_tests" "$build/alsa-vm" \
  >"$build/alsa-vm/bench.log" 2>&1 || { cat "$build/alsa-vm/bench.log"; exit 1; }
grep '^BENCH' "$build/alsa-vm/bench.log" | tr -d '\r' | sed 's/^BENCH //'
