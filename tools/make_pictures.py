#!/usr/bin/env python3
"""Regenerates Ostrel's six window pictures into resources/.

The four 16x16 image-button bitmaps are written byte by byte; the two JPEGs are drawn with
ImageMagick's `convert`. The output is committed, so a build never runs this script.

Usage: tools/make_pictures.py [output-folder]   (default: resources/ beside tools/)
"""

import pathlib
import struct
import subprocess
import sys
import tempfile

FIELD = (0, 51, 152)  # RGB of the image buttons' background
WHITE = (255, 255, 255)
SIZE = 16
PIXELS_PER_METRE = 2834  # 72 dots per inch


def outline(inset):
    """A square with cut corners; the pressed one is inset by one pixel on every side."""
    lo, hi = 1 + inset, 14 - inset
    points = set()
    for x in range(lo + 2, hi - 1):
        points.add((x, lo))
        points.add((x, hi))
    for y in range(lo + 2, hi - 1):
        points.add((lo, y))
        points.add((hi, y))
    for x, y in ((lo + 1, lo + 1), (hi - 1, lo + 1), (lo + 1, hi - 1), (hi - 1, hi - 1)):
        points.add((x, y))
    return points


def close_mark(inset):
    """Two crossing diagonals, shrinking with the outline."""
    points = set()
    for i in range(4 + inset, 12 - inset):
        points.add((i, i))
        points.add((15 - i, i))
    return points


def minimise_mark(inset):
    """Two bars; pressed, each is one pixel shorter at both ends and one pixel higher."""
    points = set()
    for x in range(4 + inset, 12 - inset):
        points.add((x, 9 - inset))
    for x in range(5 + inset, 11 - inset):
        points.add((x, 11 - inset))
    return points


def bitmap_bytes(white):
    """A 24-bpp bottom-up Windows bitmap: 54 header bytes, 16 rows of 48 bytes, 2 pad bytes."""
    row_bytes = SIZE * 3
    pixel_bytes = SIZE * row_bytes + 2  # the trailing zero pair is part of the image size
    offset = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", offset + pixel_bytes, 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, pixel_bytes,
                              PIXELS_PER_METRE, PIXELS_PER_METRE, 0, 0)
    rows = bytearray()
    for y in reversed(range(SIZE)):
        for x in range(SIZE):
            r, g, b = WHITE if (x, y) in white else FIELD
            rows += bytes((b, g, r))
    rows += b"\0\0"
    data = file_header + info_header + bytes(rows)
    assert len(data) == 824
    return data


def convert(*args):
    subprocess.run(["convert", *args], check=True)


# Shared JPEG settings: baseline, full-resolution chroma, no metadata, so every run writes the
# same bytes.
JPEG_OPTIONS = ["-strip", "-interlace", "none", "-sampling-factor", "1x1", "-quality", "92",
                "-define", "jpeg:optimize-coding=true", "-colorspace", "sRGB", "-type",
                "TrueColor"]


def make_background(path, work):
    width, height, band = 300, 225, 37
    gradient = work / "gradient.png"
    # Blue, lightening towards the lower right.
    convert("-size", f"{width}x{height}", "xc:", "-sparse-color", "Bilinear",
            "0,0 rgb(38,84,178) "
            f"{width - 1},0 rgb(74,122,208) "
            f"0,{height - 1} rgb(92,138,214) "
            f"{width - 1},{height - 1} rgb(168,198,242)",
            str(gradient))
    convert(str(gradient),
            # A soft lighter patch just under the band's left end.
            "(", "-size", f"{width}x{height}", "xc:none", "-fill", "rgba(210,228,255,0.55)",
            "-draw", f"roundrectangle -20,{band - 12} 150,{band + 14} 12,12",
            "-blur", "0x4", ")", "-compose", "over", "-composite",
            # The dark band with a slight vertical shading, kept even across its width so the
            # image buttons at its right end sit on plain colour.
            "(", "-size", f"{width}x{band}", "gradient:rgb(6,30,92)-rgb(2,20,70)", ")",
            "-geometry", "+0+0", "-composite",
            # A thin highlight line separating the band from the gradient.
            "-fill", "rgb(110,150,222)", "-draw", f"line 0,{band} {width - 1},{band}",
            # The title: yellow bold with a soft shadow.
            "-font", "DejaVu-Sans-Bold", "-pointsize", "21", "-gravity", "NorthWest",
            "-fill", "rgb(0,8,30)", "-annotate", "+11+8", "Ostrel",
            "-fill", "rgb(255,214,0)", "-annotate", "+10+7", "Ostrel",
            *JPEG_OPTIONS, str(path))


def make_button_face(path):
    convert("-size", "160x68", "xc:rgb(196,220,248)", "-seed", "1791",
            "-attenuate", "0.25", "+noise", "Gaussian", "-blur", "0x0.6",
            *JPEG_OPTIONS, str(path))


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "resources"
    out.mkdir(parents=True, exist_ok=True)

    raised, pressed = outline(0), outline(1)
    (out / "min_up.bmp").write_bytes(bitmap_bytes(raised | minimise_mark(0)))
    (out / "min_down.bmp").write_bytes(bitmap_bytes(pressed | minimise_mark(1)))
    (out / "close_up.bmp").write_bytes(bitmap_bytes(raised | close_mark(0)))
    (out / "close_down.bmp").write_bytes(bitmap_bytes(pressed | close_mark(1)))

    with tempfile.TemporaryDirectory() as work:
        make_background(out / "background.jpg", pathlib.Path(work))
    make_button_face(out / "button_face.jpg")


if __name__ == "__main__":
    main()
