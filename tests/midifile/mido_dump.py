"""Prints what mido reads from a MIDI file, one line per event: the delta time in ticks and the
message's bytes in hex ('meta TYPE HEX' for meta events). Used to check our writer against an
independent parser."""
import sys

import mido


def main(path):
    midi = mido.MidiFile(path)
    print("format", midi.type, "tracks", len(midi.tracks), "division", midi.ticks_per_beat)
    for track in midi.tracks:
        print("track")
        for msg in track:
            if msg.is_meta:
                raw = msg.bytes()  # FF type length data
                print(msg.time, "meta", "%02x" % raw[1], bytes(raw[3:] if raw[2] < 0x80 else
                                                               _meta_data(raw)).hex())
            else:
                print(msg.time, bytes(msg.bytes()).hex())


def _meta_data(raw):
    # Skip the variable-length length field that follows FF type.
    i = 2
    while raw[i] & 0x80:
        i += 1
    return raw[i + 1:]


if __name__ == "__main__":
    main(sys.argv[1])
