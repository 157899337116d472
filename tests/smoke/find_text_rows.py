#!/usr/bin/env python3
"""In a screenshot's box that holds a terminal (a dark ground, (17, 17, 19) or (24, 24, 28)),
prints the terminal's extent in the box as "terminal left top right bottom" (the longest dark
runs down the box two thirds across and along its middle), then one line "top bottom left right"
for each run of rows of the terminal that hold light text, at least 6 pixels high, top to bottom
(every channel above 150; the terminal's text is (228, 228, 231)).
    find_text_rows.py shot.png x0 y0 x1 y1"""
import subprocess
import sys

path, x0, y0, x1, y1 = sys.argv[1], *map(int, sys.argv[2:6])
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
px = lambda x, y: data[(y * w + x) * 3:(y * w + x) * 3 + 3]
dark = lambda x, y: max(px(x, y)) < 40


def longest(points):
    """The longest run of dark points, as (first, past the last) indexes."""
    best, start = (0, 0), None
    for i in range(len(points) + 1):
        on = i < len(points) and dark(*points[i])
        if on and start is None:
            start = i
        elif not on and start is not None:
            if i - start > best[1] - best[0]: best = (start, i)
            start = None
    return best


x0, y0, x1, y1 = max(0, x0), max(0, y0), min(w, x1), min(h, y1)
column = x0 + (x1 - x0) * 2 // 3
top, bottom = longest([(column, y) for y in range(y0, y1)])
top, bottom = y0 + top, y0 + bottom
middle = (top + bottom) // 2
left, right = longest([(x, middle) for x in range(x0, x1)])
left, right = x0 + left, x0 + right
if bottom - top < 40 or right - left < 40: sys.exit("no terminal in the box")
print("terminal", left, top, right, bottom)
run = None
for y in range(top, bottom + 1):
    xs = [x for x in range(left, right) if y < bottom and min(px(x, y)) > 150]
    if xs and run is None:
        run = [y, y, min(xs), max(xs)]
    elif xs:
        run = [run[0], y, min(run[2], min(xs)), max(run[3], max(xs))]
    elif run is not None:
        if run[1] - run[0] >= 5: print(*run)
        run = None
