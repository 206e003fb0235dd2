#!/usr/bin/env python3
"""Draws the launcher icon (a gold star on a rounded navy tile) with ImageMagick
and writes one .ico holding 16, 24, 32, 48, 64, 128 and 256 px 32-bit images."""
import math
import subprocess
import sys
import tempfile
import os

SIZES = [16, 24, 32, 48, 64, 128, 256]


def star_points(cx, cy, outer, inner):
    points = []
    for i in range(10):
        radius = outer if i % 2 == 0 else inner
        angle = -math.pi / 2 + i * math.pi / 5
        points.append(f"{cx + radius * math.cos(angle):.2f},{cy + radius * math.sin(angle):.2f}")
    return " ".join(points)


def draw(size, path):
    # Drawn at 4x and scaled down, so small sizes stay smooth.
    big = size * 4
    margin = big * 0.04
    corner = big * 0.22
    star = star_points(big / 2, big * 0.53, big * 0.36, big * 0.15)
    inset = margin + big * 0.05
    subprocess.run([
        "convert", "-size", f"{big}x{big}", "xc:none",
        "-fill", "#061826",
        "-draw", f"roundrectangle {margin},{margin} {big - margin},{big - margin} {corner},{corner}",
        "-fill", "#0f3a58",
        "-draw", f"roundrectangle {inset},{inset} {big - inset},{big - inset} {corner * 0.8},{corner * 0.8}",
        "-fill", "#f2b632", "-stroke", "#ffe29a", "-strokewidth", str(max(1, big // 64)),
        "-draw", f"polygon {star}",
        "-resize", f"{size}x{size}", "-depth", "8", f"PNG32:{path}",
    ], check=True)


def main():
    out = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        pngs = []
        for size in SIZES:
            png = os.path.join(tmp, f"icon{size}.png")
            draw(size, png)
            pngs.append(png)
        subprocess.run(["convert", *pngs, out], check=True)


if __name__ == "__main__":
    main()
