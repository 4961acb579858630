#!/usr/bin/env python3
"""Writes the station's default alarm sound, WAV/AlarmSound.WAV: three rising two-tone
beeps, 16-bit mono PCM at 16 kHz, about 2 s. Run from the repository root."""
import math
import struct
import wave

RATE = 16000
BEEP_S, GAP_S = 0.3, 0.1
TONES = (660.0, 880.0)
VOLUME = 0.6 * 32767


def beep(frequency):
    n = int(BEEP_S * RATE)
    fade = int(0.01 * RATE)  # no clicks at the edges
    for i in range(n):
        envelope = min(1.0, i / fade, (n - 1 - i) / fade)
        # a little of the octave makes it cut through
        s = math.sin(2 * math.pi * frequency * i / RATE) + 0.3 * math.sin(4 * math.pi * frequency * i / RATE)
        yield int(VOLUME * envelope * s / 1.3)


def main():
    samples = []
    for _ in range(3):
        for tone in TONES:
            samples.extend(beep(tone))
            samples.extend([0] * int(GAP_S * RATE / 2))
    with wave.open("WAV/AlarmSound.WAV", "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))


if __name__ == "__main__":
    main()
