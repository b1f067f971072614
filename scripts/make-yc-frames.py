#!/usr/bin/env python3
"""Writes deterministic .yc frames (per pixel Y, Cb, Cr as little-endian int16, rows packed): smooth
ramps with noise on top, so that averaged pixels round every way, and a few pixels at the extremes of
the 16-bit range.

usage: make-yc-frames.py WIDTH HEIGHT FRAMES SEED OUTPUT
"""
import struct
import sys


def main():
    width, height, frames, seed = (int(v) for v in sys.argv[1:5])
    output = sys.argv[5]
    state = seed & 0xFFFFFFFF

    def noise():
        nonlocal state
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        return state >> 16

    extremes = (-32768, 32767, -2048, 4096, 0)
    with open(output, "wb") as out:
        for frame in range(frames):
            values = []
            for row in range(height):
                for col in range(width):
                    n = noise()
                    if n % 97 == 0:
                        values += [extremes[n % 5], extremes[(n >> 3) % 5], extremes[(n >> 6) % 5]]
                        continue
                    y = (col * 4096) // max(1, width - 1) + (n % 301) - 150 + frame * 7
                    cb = (row * 4096) // max(1, height - 1) - 2048 + (n >> 7) % 101 - 50
                    cr = ((col + row + frame) * 37) % 4097 - 2048
                    values += [y, cb, cr]
            out.write(struct.pack("<%dh" % len(values), *values))


if __name__ == "__main__":
    main()
