#!/usr/bin/env bash
# The sending speeds, measured inside the emulated machine of the ALSA tests: for each speed
# the window offers, the most bytes of a 2,000-byte message that arrived on the instrument's
# raw MIDI device within any 100 ms, and the time the message took; and how soon after a Stop
# inside a long message its closing 0xF7 arrives.
exec "$(dirname "$0")/in-qemu.sh" 'Speed.Bench*:Speed.Stop*' speeds
