#!/usr/bin/env bash
# The USB MIDI figures, measured inside the emulated machine of the ALSA tests: how fast a
# dump that a USB instrument sends at full speed is received exactly, and how long a receive
# takes to end after the cable is pulled (mid-dump and while waiting), and which rates an input
# shared with aseqdump takes exactly.
exec "$(dirname "$0")/in-qemu.sh" 'Usb.AFullSpeed*:Usb.APulledCable*:Usb.AnInputShared*' bench
