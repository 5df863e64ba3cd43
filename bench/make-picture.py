#!/usr/bin/python3
"""Writes the 400 x 240 test picture the comparison scripts share: gradients with noise."""
import random
import sys

from PIL import Image

width, height = 400, 240
rng = random.Random(12345)
img = Image.new("RGB", (width, height))
img.putdata([
    (min(255, max(0, (x + y) * 255 // (width + height) + rng.randint(-16, 15))),
     min(255, max(0, y * 255 // height + rng.randint(-16, 15))),
     min(255, max(0, x * 255 // width + rng.randint(-16, 15))))
    for y in range(height) for x in range(width)
])
img.save(sys.argv[1])
