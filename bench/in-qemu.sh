#!/usr/bin/env bash
# Runs the tests of the emulated ALSA machine that FILTER chooses and prints their BENCH lines.
#   in-qemu.sh FILTER LOG_NAME     (from the build's bench folder, where CMake copies it)
set -euo pipefail
filter=$1 log=$2
here=$(cd "$(dirname "$0")" && pwd)
build=$here/..
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
mkdir -p "$build/alsa-vm"
GTEST_FILTER=$filter \
  "$source_dir/tests/alsa/run-in-qemu.sh" "$build/tests/alsa_guest_tests" "$build/alsa-vm" \
  >"$build/alsa-vm/$log.log" 2>&1 || { cat "$build/alsa-vm/$log.log"; exit 1; }
grep '^BENCH' "$build/alsa-vm/$log.log" | tr -d '\r' | sed 's/^BENCH //'
