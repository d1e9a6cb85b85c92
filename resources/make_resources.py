#!/usr/bin/env python3
"""Draws Chronode's status-bar icons and synthesises its tick sounds.

Uses only the Python standard library. Run from anywhere; writes into resources/res/:
  icon_off.png, icon_on.png       heartbeat indicator (dark / lit red dot)
  IconNtpOff.png, IconNtpOn.png   time-service indicator (grey / green clock face)
  MinuteTick.wav, SecondTick.wav, WarnTick.wav   short clicks, 16-bit mono 22050 Hz
The output is deterministic, so re-running it leaves the committed files unchanged.
"""

import math
import os
import struct
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "res")
SIZE = 16


def write_png(path, pixels, width, height):
    """pixels: list of rows, each a list of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def disc(fill, rim, highlight=None):
    """A filled disc with a darker rim, anti-aliased by 4x4 supersampling."""
    rows = []
    c = (SIZE - 1) / 2.0
    radius = SIZE / 2.0 - 1.0
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            inside = 0
            rim_hits = 0
            for sy in range(4):
                for sx in range(4):
                    px = x + (sx + 0.5) / 4 - 0.5
                    py = y + (sy + 0.5) / 4 - 0.5
                    d = math.hypot(px - c, py - c)
                    if d <= radius:
                        inside += 1
                        if d > radius - 1.5:
                            rim_hits += 1
            if inside == 0:
                row.append((0, 0, 0, 0))
                continue
            colour = rim if rim_hits * 2 >= inside else fill
            if highlight and math.hypot(x - c + 2.5, y - c + 2.5) < 2.0:
                colour = highlight
            row.append(colour + (int(255 * inside / 16),))
        rows.append(row)
    return rows


def clock_face(fill, rim):
    """A disc with two clock hands, for the time-service indicator."""
    rows = disc(fill, rim)
    c = int((SIZE - 1) / 2)
    hand = (20, 20, 20, 255)
    for y in range(3, c + 1):          # minute hand, pointing up
        rows[y][c] = hand
    for x in range(c, c + 5):          # hour hand, pointing right
        rows[c][x] = hand
    return rows


def write_click(path, freq, length_ms, amplitude, decay_ms, rate=22050):
    """A decaying sine burst with a short attack: reads as a clean click."""
    n = int(rate * length_ms / 1000)
    attack = max(1, int(rate * 0.001))
    frames = bytearray()
    for i in range(n):
        t = i / rate
        env = math.exp(-t * 1000.0 / decay_ms)
        if i < attack:
            env *= i / attack
        value = amplitude * env * math.sin(2 * math.pi * freq * t)
        frames += struct.pack("<h", int(max(-1.0, min(1.0, value)) * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def main():
    os.makedirs(OUT, exist_ok=True)
    write_png(os.path.join(OUT, "icon_off.png"), disc((70, 20, 20), (40, 10, 10)), SIZE, SIZE)
    write_png(os.path.join(OUT, "icon_on.png"),
              disc((240, 30, 30), (150, 10, 10), highlight=(255, 180, 180)), SIZE, SIZE)
    write_png(os.path.join(OUT, "IconNtpOff.png"), clock_face((170, 170, 170), (100, 100, 100)), SIZE, SIZE)
    write_png(os.path.join(OUT, "IconNtpOn.png"), clock_face((60, 200, 60), (20, 120, 20)), SIZE, SIZE)
    write_click(os.path.join(OUT, "MinuteTick.wav"), freq=1760.0, length_ms=60, amplitude=0.9, decay_ms=15)
    write_click(os.path.join(OUT, "SecondTick.wav"), freq=1000.0, length_ms=30, amplitude=0.8, decay_ms=6)
    write_click(os.path.join(OUT, "WarnTick.wav"), freq=440.0, length_ms=120, amplitude=0.9, decay_ms=40)


if __name__ == "__main__":
    main()
