#!/usr/bin/python3
"""Writes data/alarm.wav, the program's default alarm sound: a soft two-tone chime.

16-bit PCM, mono, 22050 Hz, 1.5 s. Run from the repository root: /usr/bin/python3 scripts/make-alarm-wav.py
"""
import math
import struct
import sys
import wave

RATE = 22050
LENGTH = 1.5
# Two bell strikes, a major third apart (E5 then C5), each with a soft octave partial.
STRIKES = [(0.0, 659.25), (0.45, 523.25)]


def sample(t):
    v = 0.0
    for start, freq in STRIKES:
        dt = t - start
        if dt < 0:
            continue
        attack = min(1.0, dt / 0.005)  # no click at the onset
        decay = math.exp(-dt * 3.2)
        v += attack * decay * (math.sin(2 * math.pi * freq * dt)
                               + 0.3 * math.sin(2 * math.pi * 2 * freq * dt))
    # A short fade at the end so the loop does not click either.
    fade = min(1.0, (LENGTH - t) / 0.05)
    return v * fade * 0.45


def main(path="data/alarm.wav"):
    frames = bytearray()
    for i in range(int(RATE * LENGTH)):
        v = max(-1.0, min(1.0, sample(i / RATE)))
        frames += struct.pack("<h", int(v * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


if __name__ == "__main__":
    main(*sys.argv[1:])
