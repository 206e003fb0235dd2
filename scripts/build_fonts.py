#!/usr/bin/env python3
"""Builds one TrueType file per weight of Be Vietnam Pro from the npm package's
WOFF2 subsets (latin, latin-ext, vietnamese), and refuses a result that lacks a
character the launcher can draw.

usage: build_fonts.py PACKAGE_DIR OUTPUT_DIR

Needs Debian's python3-fonttools and python3-brotli (WOFF2 is Brotli-packed).
"""
import os
import sys
import tempfile

from fontTools import merge
from fontTools.ttLib import TTFont

SUBSETS = ("latin", "latin-ext", "vietnamese")
WEIGHTS = {"400": "BeVietnamPro-Regular.ttf", "700": "BeVietnamPro-Bold.ttf"}

# The glyph ranges the launcher hands to Dear ImGui for every font, plus the two
# punctuation marks its texts use. U+007F-U+009F are control characters that no
# font maps, so they are left out of the check.
IMGUI_VIETNAMESE_RANGES = [
    (0x0020, 0x00FF), (0x0102, 0x0103), (0x0110, 0x0111), (0x0128, 0x0129),
    (0x0168, 0x0169), (0x01A0, 0x01A1), (0x01AF, 0x01B0), (0x1EA0, 0x1EF9),
]
EXTRA_CODE_POINTS = [0x00B7, 0x00D7]


def required_code_points():
    points = set(EXTRA_CODE_POINTS)
    for first, last in IMGUI_VIETNAMESE_RANGES:
        points.update(range(first, last + 1))
    return sorted(p for p in points if not 0x7F <= p <= 0x9F)


def merged_weight(package_dir, weight, scratch):
    parts = []
    for subset in SUBSETS:
        source = os.path.join(package_dir, "files", f"be-vietnam-pro-{subset}-{weight}-normal.woff2")
        font = TTFont(source)
        font.flavor = None  # plain TrueType, which is what stb_truetype reads
        part = os.path.join(scratch, f"{subset}-{weight}.ttf")
        font.save(part)
        parts.append(part)
    return merge.Merger().merge(parts)


def main():
    package_dir, output_dir = sys.argv[1], sys.argv[2]
    os.makedirs(output_dir, exist_ok=True)
    needed = required_code_points()
    with tempfile.TemporaryDirectory() as scratch:
        for weight, name in WEIGHTS.items():
            font = merged_weight(package_dir, weight, scratch)
            mapped = font.getBestCmap()
            missing = [p for p in needed if p not in mapped]
            if missing:
                shown = " ".join(f"U+{p:04X}" for p in missing[:20])
                sys.exit(f"build_fonts: {name} lacks {len(missing)} code points: {shown}")
            target = os.path.join(output_dir, name)
            font.save(target + ".tmp")
            os.replace(target + ".tmp", target)
            print(f"build_fonts: {name}, {len(mapped)} code points")


if __name__ == "__main__":
    main()
