"""Reads a MIDI file with mido, as often as asked, and prints the seconds per read."""
import sys
import time

import mido

path, repeats = sys.argv[1], int(sys.argv[2])
start = time.perf_counter()
for _ in range(repeats):
    midi = mido.MidiFile(path)
elapsed = (time.perf_counter() - start) / repeats
assert sum(1 for m in midi.tracks[0] if m.type == "sysex") > 0
print(elapsed)
