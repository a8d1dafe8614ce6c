#!/usr/bin/env python3
"""Writes assets/demo.wav, the sound the editor opens for a first look.

Four seconds of 16-bit stereo at 44100 Hz: a rising arpeggio of soft bell
tones (a few decaying partials each) that drift from left to right over a
quiet sustained chord, so the waveform shows distinct attacks, decays, and
different left and right channels. Only the standard library is used, and
the result is the same on every run.
"""
import math
import struct
import wave
from pathlib import Path

RATE = 44100
SECONDS = 4.0
FRAMES = int(RATE * SECONDS)

# C major seventh and its octave, as (start time in s, frequency in Hz).
NOTES = [(0.00, 523.25), (0.35, 659.26), (0.70, 783.99), (1.05, 987.77),
         (1.40, 1046.50), (2.10, 783.99), (2.45, 1046.50)]
PARTIALS = [(1.0, 1.0, 2.2), (2.0, 0.35, 3.5), (3.01, 0.15, 5.0), (4.2, 0.06, 7.0)]


def bell(t, frequency):
    """One bell tone t seconds after its start: partials (ratio, level, decay)."""
    if t < 0:
        return 0.0
    attack = min(1.0, t / 0.004)
    return attack * sum(level * math.exp(-decay * t) * math.sin(2 * math.pi * frequency * ratio * t)
                        for ratio, level, decay in PARTIALS)


def pad(t):
    """A quiet C major chord that swells in and fades out."""
    envelope = math.sin(math.pi * t / SECONDS) ** 2
    return 0.08 * envelope * sum(math.sin(2 * math.pi * f * t) for f in (130.81, 196.00, 261.63))


def main():
    frames = bytearray()
    for n in range(FRAMES):
        t = n / RATE
        left = right = pad(t)
        for index, (start, frequency) in enumerate(NOTES):
            tone = 0.22 * bell(t - start, frequency)
            pan = index / (len(NOTES) - 1)
            left += tone * math.cos(pan * math.pi / 2)
            right += tone * math.sin(pan * math.pi / 2)
        fade = min(1.0, (SECONDS - t) / 0.25)
        frames += struct.pack('<hh', int(max(-1, min(1, left * fade)) * 32767),
                              int(max(-1, min(1, right * fade)) * 32767))
    target = Path(__file__).resolve().parent.parent / 'assets' / 'demo.wav'
    with wave.open(str(target), 'wb') as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))


if __name__ == '__main__':
    main()
