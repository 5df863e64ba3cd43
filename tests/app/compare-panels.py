#!/usr/bin/python3
"""compare-panels.py A.png B.png: prints how many of the 400 x 240 pixels differ in brightness
class and how many of A's are bright; exits 1 when they differ or A is all one colour."""
import sys

from PIL import Image

a = Image.open(sys.argv[1]).convert("L")
b = Image.open(sys.argv[2]).convert("L")
if a.size != (400, 240) or b.size != (400, 240):
    print(f"sizes {a.size} {b.size}")
    sys.exit(1)
pa, pb = a.getdata(), b.getdata()
differing = sum((x > 128) != (y > 128) for x, y in zip(pa, pb))
bright = sum(x > 128 for x in pa)
print(f"differing {differing} bright {bright}")
sys.exit(0 if differing == 0 and 0 < bright < 400 * 240 else 1)
