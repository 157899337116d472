#!/usr/bin/env python3
"""Reads pixels of a screenshot (rectangles are x0 y0 x1 y1, the ends excluded, cut at the image):
  pixels.py near R,G,B shot x0 y0 x1 y1   prints how many lie within 12 of the colour in each channel
  pixels.py centre R,G,B shot x0 y0 x1 y1 prints the centre (x y) of those that do; fails for none
  pixels.py ink shot x0 y0 x1 y1          prints how many lie more than 40 from the rectangle's
                                          commonest colour in some channel (text, a ring)
  pixels.py longest shot y x0 x1          prints where the longest run of one colour (each pixel
                                          within 12 of the run's first) on row y ends (its last x)"""
import collections
import subprocess
import sys

mode = sys.argv[1]
args = sys.argv[2:]
if mode in ("near", "centre"):
    want = tuple(int(v) for v in args[0].split(","))
    args = args[1:]
path = args[0]
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
px = lambda x, y: tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3])
close = lambda a, b, d: all(abs(p - q) <= d for p, q in zip(a, b))

if mode == "longest":
    y, x0, x1 = int(args[1]), max(0, int(args[2])), min(w, int(args[3]))
    best, start, first = (0, x0), x0, px(x0, y)
    for x in range(x0, x1 + 1):
        if x == x1 or not close(px(x, y), first, 12):
            if x - start > best[0]: best = (x - start, x - 1)
            if x < x1: start, first = x, px(x, y)
    print(best[1])
    sys.exit(0)

x0, y0 = max(0, int(args[1])), max(0, int(args[2]))
x1, y1 = min(w, int(args[3])), min(h, int(args[4]))
pixels = [px(x, y) for y in range(y0, y1) for x in range(x0, x1)]
if mode == "near":
    print(sum(1 for p in pixels if close(p, want, 12)))
elif mode == "centre":
    found = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if close(px(x, y), want, 12)]
    if not found: sys.exit(1)
    xs, ys = [x for x, _ in found], [y for _, y in found]
    print((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)
elif mode == "ink":
    ground = collections.Counter(pixels).most_common(1)[0][0] if pixels else (0, 0, 0)
    print(sum(1 for p in pixels if not close(p, ground, 40)))
else:
    sys.exit("unknown mode " + mode)
