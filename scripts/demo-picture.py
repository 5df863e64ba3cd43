#!/usr/bin/python3
"""Writes the demo's screen picture: a 640 x 480 scene with gradients, shapes and fine lines."""
import sys

from PIL import Image, ImageDraw

width, height = 640, 480
img = Image.new("RGB", (width, height))
img.putdata([(x * 255 // width, y * 255 // height, (x + y) * 255 // (width + height))
             for y in range(height) for x in range(width)])
draw = ImageDraw.Draw(img)
for i in range(8):
    r = 30 + i * 18
    draw.ellipse((200 - r, 240 - r, 200 + r, 240 + r), outline=(255, 255, 255) if i % 2 else (0, 0, 0), width=6)
draw.rectangle((400, 60, 600, 200), fill=(250, 250, 250), outline=(0, 0, 0), width=4)
for x in range(410, 590, 6):
    draw.line((x, 70, x + 40, 190), fill=(0, 0, 0), width=2)
draw.polygon([(420, 420), (520, 250), (620, 420)], fill=(20, 20, 20))
draw.text((24, 24), "Vantelink demo", fill=(255, 255, 255))
img.save(sys.argv[1])
