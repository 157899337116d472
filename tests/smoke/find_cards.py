#!/usr/bin/env python3
"""Prints the top edge (y) of the first row of tile cards in a screenshot, looking down the
column x: the first run of 40 pixels there in the dark theme's card ground (18, 19, 21) or
tinted a little by the header's wash, the header of the card, that follows the 18-point gap of the wall's ground (11, 12, 13) under the tab
bar (the menu bar and the top bar may share the card's ground, but not after such a gap)."""
import subprocess
import sys

path, x, y0 = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
px = lambda x, y: tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3])
near = lambda c, want: all(abs(a - b) <= 2 for a, b in zip(c, want))
# The wash lays the tile's tint over the ground, at most 0.18 of it.
header = lambda c: near(c, (18, 19, 21)) or (all(a >= 16 for a in c) and max(c) <= 62)
# The ground (darkened near the card by its shadow) over ten rows, just above the card's border.
after_gap = lambda y: y >= 14 and all(max(px(x, yy)) <= 14 for yy in range(y - 14, y - 4))
run = 0
for y in range(y0, h):
    if header(px(x, y)) and (run > 0 or after_gap(y)):
        run += 1
        if run == 40:
            # The card's top edge is its border, just above the ground colour.
            top = y - 39
            while top > 0 and not max(px(x, top - 1)) <= 14:
                top -= 1
            print(top)
            break
    else:
        run = 0
else:
    sys.exit("no card under x %d" % x)
