#!/usr/bin/env python3
"""Prints the centre (x y) of the top bar's n-th plain pill (1 = browsers ... 4 = guide) in a
screenshot of the window: the row just inside the primary pill's top edge crosses every pill
above their titles, so each pill is one run of its fill there."""
import subprocess
import sys

path, nth = sys.argv[1], int(sys.argv[2])
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
px = lambda x, y: tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3])
def runs(y, pred, minimum):
    out, start = [], None
    for x in range(w + 1):
        on = x < w and pred(px(x, y))
        if on and start is None: start = x
        if not on and start is not None:
            if x - start >= minimum: out.append((start, x))
            start = None
    return out
dark = lambda c: all(abs(a - b) <= 6 for a, b in zip(c, (20, 22, 26))) or all(abs(a - b) <= 6 for a, b in zip(c, (237, 239, 241)))
for y in range(h):
    primary = runs(y, dark, 60)
    if primary:
        row = y + 5
        fill = px(primary[0][1] + 40, row)
        break
else:
    sys.exit("no primary pill")
start = primary[0][1]
plain = [r for r in runs(row, lambda c: c == (255, 255, 255) or c == (25, 27, 29), 20) if r[0] > start]
if len(plain) < nth: sys.exit("pills: %s" % plain)
x0, x1 = plain[nth - 1]
print((x0 + x1) // 2, row + 8)
