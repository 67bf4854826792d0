#!/usr/bin/env python3
"""Writes resources/sounds/alarm.wav: a short two-note chime for new messages.

Standard library only, so the sound can always be made again from this file.
"""
import math
import struct
import sys
import wave

RATE = 22050


def note(freq, start, length, volume):
    """A bell-like partial: a sine with a quick attack and an exponential decay."""
    out = []
    for i in range(int(length * RATE)):
        t = i / RATE
        attack = min(1.0, t / 0.005)
        decay = math.exp(-5.0 * t)
        tone = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(2 * math.pi * 2 * freq * t)
        out.append((start + i, volume * attack * decay * tone))
    return out


def main(path):
    length = int(0.75 * RATE)
    samples = [0.0] * length
    for start, value in note(880.0, 0, 0.45, 0.35) + note(1318.5, int(0.12 * RATE), 0.6, 0.3):
        if start < length:
            samples[start] += value
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        peak = max(abs(s) for s in samples) or 1.0
        scale = 0.8 * 32767 / peak
        out.writeframes(b"".join(struct.pack("<h", int(s * scale)) for s in samples))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/sounds/alarm.wav")
