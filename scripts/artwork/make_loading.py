#!/usr/bin/env python3
"""Writes the 18 frames of the busy indicator as SVG files (loading_big_01.svg ... _18.svg).

A comet of dots runs round a faint ring: frame k puts the head at k * 20 degrees and the tail
behind it, so the 18 frames make one smooth turn at the widget's 55 ms per frame.

    make_loading.py <output folder>
"""
import math
import os
import sys

FRAMES = 18
SIZE = 64
CENTRE = SIZE / 2
RADIUS = 22
TAIL = 8
BLUE = "#1f5fd1"
RING = "#1f5fd1"


def frame(index):
    parts = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" '
        f'viewBox="0 0 {SIZE} {SIZE}">',
        f'  <circle cx="{CENTRE}" cy="{CENTRE}" r="{RADIUS + 8}" fill="#ffffff" '
        f'fill-opacity="0.85"/>',
        f'  <circle cx="{CENTRE}" cy="{CENTRE}" r="{RADIUS}" fill="none" stroke="{RING}" '
        f'stroke-opacity="0.12" stroke-width="3"/>',
    ]
    for step in range(TAIL, -1, -1):
        angle = math.radians((index - step) * 360 / FRAMES - 90)
        x = CENTRE + RADIUS * math.cos(angle)
        y = CENTRE + RADIUS * math.sin(angle)
        radius = 4.6 - step * 0.38
        opacity = 1.0 - step / (TAIL + 1)
        parts.append(
            f'  <circle cx="{x:.2f}" cy="{y:.2f}" r="{radius:.2f}" fill="{BLUE}" '
            f'fill-opacity="{opacity:.2f}"/>'
        )
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main(folder):
    os.makedirs(folder, exist_ok=True)
    for index in range(FRAMES):
        with open(os.path.join(folder, f"loading_big_{index + 1:02d}.svg"), "w") as out:
            out.write(frame(index))


if __name__ == "__main__":
    main(sys.argv[1])
