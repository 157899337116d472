#!/usr/bin/env python3
"""Prints the centre (x y) of the widest run of the accent pill's fill, at least 140 pixels wide (or
the width given third), below row `top` of a screenshot in the dark theme (the onboarding card's
main button: at least 150 points wide, filled with (237, 239, 241); the light theme's fill is too
close to the card's own)."""
import subprocess
import sys

path, top = sys.argv[1], int(sys.argv[2])
least = int(sys.argv[3]) if len(sys.argv) > 3 else 140
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
px = lambda x, y: tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3])
accent = lambda c: all(abs(a - b) <= 6 for a, b in zip(c, (237, 239, 241)))
rows = []
for y in range(top, h):
    start = None
    for x in range(w + 1):
        on = x < w and accent(px(x, y))
        if on and start is None: start = x
        if not on and start is not None:
            if x - start >= least: rows.append((y, start, x))
            start = None
if not rows: sys.exit("no accent button below row %d" % top)
# The button's rows: the first run found and the rows right below it with the same span.
y0, x0, x1 = rows[0]
y1 = y0
for y, a, b in rows[1:]:
    if y == y1 + 1 and abs(a - x0) <= 2 and abs(b - x1) <= 2: y1 = y
print((x0 + x1) // 2, (y0 + y1) // 2)
