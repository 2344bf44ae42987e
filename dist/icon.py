#!/usr/bin/python3
"""Draws the Lumenade icon: a monitor showing the Windows 9x boot screen
(sky, clouds and the running colour bar along its foot).

  icon.py OUTDIR          writes OUTDIR/lumenade.svg and OUTDIR/SIZE/lumenade.png
                          for each size the desktop's icon theme asks for

The shapes are given once, on a 256-unit grid, and written both as SVG and
through Pillow as PNG, so the two never drift apart.
"""
import os
import sys

from PIL import Image, ImageDraw

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
GRID = 256
SKY_TOP, SKY_BOTTOM = (0x1E, 0x4F, 0xC8), (0x8F, 0xC4, 0xF5)
SCREEN = (30, 38, 226, 178)
BAR = (30, 164, 226, 178)
BAR_COLOURS = ("#ff3b30", "#ff9500", "#ffcc00", "#34c759", "#00a2ff", "#5856d6", "#af52de", "#ff2d55")

# (kind, box or points, fill, outline, radius)
SHAPES = [
    ("polygon", [(98, 196), (158, 196), (176, 230), (80, 230)], "#a9a498", "#5d594f", 0),
    ("rect", (60, 226, 196, 242), "#c9c5bb", "#5d594f", 5),
    ("rect", (12, 20, 244, 202), "#d8d4ca", "#5d594f", 18),
    ("sky", SCREEN, None, "#2b2b2b", 6),
    ("ellipse", (48, 62, 112, 94), "#ffffff", None, 0),
    ("ellipse", (76, 50, 128, 88), "#ffffff", None, 0),
    ("ellipse", (142, 96, 212, 126), "#ffffff", None, 0),
    ("ellipse", (168, 86, 208, 116), "#ffffff", None, 0),
    ("bar", BAR, None, None, 0),
    ("ellipse", (206, 186, 218, 198), "#3cd070", "#2b6e3f", 0),
]


def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def bar_rects(box):
    x0, y0, x1, y1 = box
    step = (x1 - x0) / len(BAR_COLOURS)
    return [((x0 + i * step, y0, x0 + (i + 1) * step, y1), c) for i, c in enumerate(BAR_COLOURS)]


def svg(shapes):
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{GRID}" height="{GRID}" viewBox="0 0 {GRID} {GRID}">',
        '  <title>Lumenade: a Windows 9x boot screen</title>',
        '  <defs>',
        '    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">',
        '      <stop offset="0" stop-color="#%02x%02x%02x"/>' % SKY_TOP,
        '      <stop offset="1" stop-color="#%02x%02x%02x"/>' % SKY_BOTTOM,
        '    </linearGradient>',
        '  </defs>',
    ]
    for kind, geom, fill, outline, radius in shapes:
        stroke = f' stroke="{outline}" stroke-width="3"' if outline else ''
        if kind == "polygon":
            points = " ".join(f"{x},{y}" for x, y in geom)
            out.append(f'  <polygon points="{points}" fill="{fill}"{stroke}/>')
        elif kind in ("rect", "sky"):
            x0, y0, x1, y1 = geom
            paint = "url(#sky)" if kind == "sky" else fill
            out.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{radius}" '
                       f'fill="{paint}"{stroke}/>')
        elif kind == "ellipse":
            x0, y0, x1, y1 = geom
            out.append(f'  <ellipse cx="{(x0 + x1) / 2:g}" cy="{(y0 + y1) / 2:g}" rx="{(x1 - x0) / 2:g}" '
                       f'ry="{(y1 - y0) / 2:g}" fill="{fill}"{stroke}/>')
        elif kind == "bar":
            for (x0, y0, x1, y1), colour in bar_rects(geom):
                out.append(f'  <rect x="{x0:g}" y="{y0}" width="{x1 - x0:g}" height="{y1 - y0}" fill="{colour}"/>')
    out.append('</svg>')
    return "\n".join(out) + "\n"


def png(shapes, size):
    # Drawn four times larger and reduced, for smooth edges.
    scale = size * 4 / GRID
    image = Image.new("RGBA", (size * 4, size * 4), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    width = max(1, round(3 * scale))

    def box(b):
        return [round(v * scale) for v in b]

    for kind, geom, fill, outline, radius in shapes:
        if kind == "polygon":
            draw.polygon([(x * scale, y * scale) for x, y in geom], fill=fill, outline=outline, width=width)
        elif kind == "rect":
            draw.rounded_rectangle(box(geom), radius=radius * scale, fill=fill, outline=outline, width=width)
        elif kind == "sky":
            x0, y0, x1, y1 = box(geom)
            sky = Image.new("RGBA", (x1 - x0, y1 - y0))
            for y in range(y1 - y0):
                t = y / max(1, y1 - y0 - 1)
                colour = tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM)) + (255,)
                ImageDraw.Draw(sky).line([(0, y), (x1 - x0, y)], fill=colour)
            mask = Image.new("L", sky.size, 0)
            ImageDraw.Draw(mask).rounded_rectangle([0, 0, x1 - x0 - 1, y1 - y0 - 1], radius=radius * scale, fill=255)
            image.paste(sky, (x0, y0), mask)
            draw.rounded_rectangle([x0, y0, x1, y1], radius=radius * scale, outline=outline, width=width)
        elif kind == "ellipse":
            draw.ellipse(box(geom), fill=fill, outline=outline, width=width)
        elif kind == "bar":
            for rect, colour in bar_rects(geom):
                draw.rectangle(box(rect), fill=hex_rgb(colour))
    return image.resize((size, size), Image.LANCZOS)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "lumenade.svg"), "w", encoding="utf-8") as f:
        f.write(svg(SHAPES))
    for size in SIZES:
        folder = os.path.join(outdir, f"{size}x{size}")
        os.makedirs(folder, exist_ok=True)
        png(SHAPES, size).save(os.path.join(folder, "lumenade.png"), optimize=True)


if __name__ == "__main__":
    main()
