#!/usr/bin/env bash
# Runs a test program once more when it fails: the headless PipeWire now and then runs its
# graph unevenly for a while on a busy machine, and its clients then miss cycles, which the
# program reports as the failures they are. A second failure fails the test.
"$@" && exit 0
echo "retry-once: the first run failed; once more" >&2
exec "$@"
