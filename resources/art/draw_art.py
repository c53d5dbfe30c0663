"""Draws every bitmap and icon of the key manager and the installer and writes them as Windows BMP/ICO files."""

# Run with Debian's interpreter: /usr/bin/python3 resources/art/draw_art.py [--preview DIR]
# Needs python3-pil and fonts-wqy-microhei. The outputs are committed, so a build needs no Python.
#
# Every file is written by hand with struct so that the bit depth, the palette size and the
# header fields are exactly what the resource compiler and LoadImage expect; Pillow's own BMP
# writer would pick depths and palette sizes on its own. After writing, each file is parsed
# back with an independent reader and compared pixel for pixel with what was drawn.

import argparse
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.dirname(HERE)  # resources/
FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

MAGENTA = (255, 0, 255)  # the tree image list treats this colour as transparent
PIXELS_PER_METRE = 3780  # 96 dpi, what the dialogs are laid out for


def font(size):
    # Face 0 of the collection is the proportional one; face 1 is the monospaced one.
    return ImageFont.truetype(FONT_PATH, size, index=0)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def downsample(big, factor):
    # Premultiply before averaging so that edge pixels do not pick up the colour of
    # fully transparent neighbours.
    w, h = big.size
    return big.convert("RGBa").resize((w // factor, h // factor), Image.Resampling.BOX).convert("RGBA")


def gradient_fill(size, top, bottom, vertical=True):
    w, h = size
    img = Image.new("RGB", size)
    px = img.load()
    for y in range(h):
        for x in range(w):
            t = (y / (h - 1)) if vertical else (x / (w - 1))
            px[x, y] = lerp(top, bottom, t)
    return img


def fill_with(layer, mask_shape_fn, fill_img):
    # Paste a gradient through a shape mask; ImageDraw alone only does flat fills.
    mask = Image.new("L", layer.size, 0)
    mask_shape_fn(ImageDraw.Draw(mask))
    layer.paste(fill_img, (0, 0), mask)


def bezier(p0, p1, p2, steps=24):
    pts = []
    for i in range(steps + 1):
        t = i / steps
        x = (1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t ** 2 * p2[0]
        y = (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t ** 2 * p2[1]
        pts.append((x, y))
    return pts


def shield_points(x0, y0, w, h):
    # Flat-topped shield with curved flanks meeting in a point at the bottom.
    cx = x0 + w / 2
    left = [(x0, y0 + h * 0.10), (x0, y0 + h * 0.45)]
    left += bezier((x0, y0 + h * 0.45), (x0 + w * 0.05, y0 + h * 0.82), (cx, y0 + h))[1:]
    right = [(x0 + w - (p[0] - x0), p[1]) for p in reversed(left)]
    top = [(cx, y0)]
    return top + [(x0, y0 + h * 0.10)] + left[1:] + right[:-1] + [(x0 + w, y0 + h * 0.10)]


def draw_key(d, x, y, size, colour, hole):
    # Horizontal key: round bow on the left, shaft to the right, two bits hanging down.
    r = size * 0.22
    cy = y + size * 0.30
    d.ellipse([x, cy - r, x + 2 * r, cy + r], fill=colour)
    d.ellipse([x + r * 0.55, cy - r * 0.45, x + r * 1.45, cy + r * 0.45], fill=hole)
    shaft = size * 0.09
    d.rectangle([x + 2 * r - shaft, cy - shaft, x + size, cy + shaft], fill=colour)
    tooth_w = size * 0.09
    d.rectangle([x + size - tooth_w * 1.0, cy, x + size, cy + size * 0.22], fill=colour)
    d.rectangle([x + size - tooth_w * 3.0, cy, x + size - tooth_w * 2.0, cy + size * 0.16], fill=colour)


# ---------------------------------------------------------------------------------------------
# Writers. BMPs are bottom-up with a plain BITMAPINFOHEADER and BI_RGB; rows padded to 4 bytes.

def row_stride(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def pack_rows_24(img):
    w, h = img.size
    px = img.load()
    stride = row_stride(w, 24)
    out = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(w):
            r, g, b = px[x, y][:3]
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        out += row
    return bytes(out)


def pack_rows_8(indices, w, h):
    stride = row_stride(w, 8)
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytes(indices[y * w:(y + 1) * w])
        out += row + b"\0" * (stride - len(row))
    return bytes(out)


def info_header(w, h, bpp, image_size, clr_used):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, image_size,
                       PIXELS_PER_METRE, PIXELS_PER_METRE, clr_used, 0)


def write_bmp24(path, img):
    w, h = img.size
    bits = pack_rows_24(img.convert("RGB"))
    off = 14 + 40
    data = struct.pack("<2sIHHI", b"BM", off + len(bits), 0, 0, off) + info_header(w, h, 24, len(bits), 0) + bits
    with open(path, "wb") as f:
        f.write(data)


def write_bmp8(path, w, h, palette, indices):
    # Always a full 256-entry palette; unused entries are black.
    assert len(palette) <= 256 and len(indices) == w * h
    pal = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    bits = pack_rows_8(indices, w, h)
    off = 14 + 40 + len(pal_bytes)
    data = (struct.pack("<2sIHHI", b"BM", off + len(bits), 0, 0, off)
            + info_header(w, h, 8, len(bits), 256) + pal_bytes + bits)
    with open(path, "wb") as f:
        f.write(data)


def write_ico24(path, rgba):
    # One 32x32 image, 24 bpp colour plus a 1 bpp AND mask. Pixels under the mask are black
    # in the colour plane so that AND-then-XOR leaves the window background untouched.
    w, h = rgba.size
    px = rgba.load()
    colour = Image.new("RGB", (w, h))
    cpx = colour.load()
    mask_bits = bytearray()
    mstride = row_stride(w, 1)
    for y in range(h - 1, -1, -1):
        row = bytearray(mstride)
        for x in range(w):
            r, g, b, a = px[x, y]
            if a >= 128:
                cpx[x, y] = (r, g, b)
            else:
                cpx[x, y] = (0, 0, 0)
                row[x // 8] |= 0x80 >> (x % 8)
        mask_bits += row
    xor_bits = pack_rows_24(colour)
    image = info_header(w, h * 2, 24, len(xor_bits) + len(mask_bits), 0) + xor_bits + bytes(mask_bits)
    # ICO headers leave the resolution fields at zero.
    image = image[:24] + struct.pack("<ii", 0, 0) + image[32:]
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 24, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)


# ---------------------------------------------------------------------------------------------
# Readers used only for the self-check. Written from the file layout, independent of the writers.

class Bitmap:
    def __init__(self, width, height, bpp, palette, pixels, clr_used):
        self.width, self.height, self.bpp = width, height, bpp
        self.palette, self.pixels, self.clr_used = palette, pixels, clr_used


def parse_dib(buf, start, expect_double_height=False):
    (size, w, h, planes, bpp, comp, img_size, _xp, _yp, clr_used, _imp) = struct.unpack_from("<IiiHHIIiiII", buf, start)
    if size != 40:
        raise ValueError("header size %d, want 40" % size)
    if planes != 1 or comp != 0:
        raise ValueError("planes %d compression %d" % (planes, comp))
    if h <= 0:
        raise ValueError("not bottom-up")
    if expect_double_height:
        h //= 2
    n_pal = 0
    if bpp <= 8:
        n_pal = clr_used or (1 << bpp)
    pal_off = start + 40
    palette = [(buf[pal_off + 4 * i + 2], buf[pal_off + 4 * i + 1], buf[pal_off + 4 * i]) for i in range(n_pal)]
    bits_off = pal_off + 4 * n_pal
    stride = row_stride(w, bpp)
    pixels = []
    for y in range(h):
        row_off = bits_off + (h - 1 - y) * stride
        for x in range(w):
            if bpp == 24:
                b, g, r = buf[row_off + 3 * x:row_off + 3 * x + 3]
                pixels.append((r, g, b))
            elif bpp == 8:
                pixels.append(palette[buf[row_off + x]])
            else:
                raise ValueError("unexpected depth %d" % bpp)
    end = bits_off + stride * h
    return Bitmap(w, h, bpp, palette, pixels, clr_used), img_size, end


def read_bmp(path):
    with open(path, "rb") as f:
        buf = f.read()
    magic, file_size, _r1, _r2, off_bits = struct.unpack_from("<2sIHHI", buf, 0)
    if magic != b"BM" or file_size != len(buf):
        raise ValueError("%s: bad magic or bfSize %d vs %d" % (path, file_size, len(buf)))
    bmp, img_size, end = parse_dib(buf, 14)
    pal_bytes = 4 * len(bmp.palette)
    if off_bits != 14 + 40 + pal_bytes:
        raise ValueError("%s: bfOffBits %d" % (path, off_bits))
    if img_size != end - off_bits or end != len(buf):
        raise ValueError("%s: biSizeImage %d, pixel bytes %d, file %d" % (path, img_size, end - off_bits, len(buf)))
    return bmp, len(buf)


def read_ico(path):
    with open(path, "rb") as f:
        buf = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", buf, 0)
    if reserved != 0 or kind != 1 or count != 1:
        raise ValueError("%s: icon directory %d/%d/%d" % (path, reserved, kind, count))
    w, h, colours, _res, planes, bit_count, nbytes, offset = struct.unpack_from("<BBBBHHII", buf, 6)
    if colours != 0 or planes != 1 or bit_count != 24 or offset != 22 or offset + nbytes != len(buf):
        raise ValueError("%s: bad directory entry" % path)
    bmp, img_size, end = parse_dib(buf, offset, expect_double_height=True)
    if (bmp.width, bmp.height) != (w, h) or bmp.bpp != 24:
        raise ValueError("%s: entry and bitmap disagree" % path)
    mstride = row_stride(w, 1)
    transparent = []
    for y in range(h):
        row_off = end + (h - 1 - y) * mstride
        for x in range(w):
            transparent.append(bool(buf[row_off + x // 8] & (0x80 >> (x % 8))))
    if end + mstride * h != len(buf) or img_size != len(buf) - offset - 40:
        raise ValueError("%s: mask size mismatch" % path)
    return bmp, transparent, len(buf)


# ---------------------------------------------------------------------------------------------
# Artwork

BLUE_DARK = (14, 48, 110)
BLUE = (30, 102, 196)
BLUE_LIGHT = (120, 178, 240)


def draw_banner():
    w, h = 438, 65
    # Calm navy-to-blue wash, a touch lighter at the top.
    bg = Image.new("RGB", (w, h))
    px = bg.load()
    for y in range(h):
        for x in range(w):
            base = lerp((12, 44, 98), (34, 104, 184), x / (w - 1))
            lift = 14 * (1 - y / (h - 1))
            px[x, y] = tuple(min(255, int(round(c + lift))) for c in base)
    img = bg.convert("RGBA")

    s = 4  # supersampling for the shapes
    deco = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(deco)
    # Faint concentric arcs on the right give the band some depth without competing with the text.
    cx, cy = (w - 30) * s, (h + 70) * s
    for i, r in enumerate((100, 128, 156, 184)):
        alpha = 22 - i * 4
        d.ellipse([cx - r * s, cy - r * s, cx + r * s, cy + r * s], outline=(255, 255, 255, alpha), width=7 * s)
    img.alpha_composite(downsample(deco, s))

    # Shield with a key on the left.
    sh = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(sh)
    x0, y0, sw, shh = 16 * s, 8 * s, 40 * s, 49 * s
    d.polygon(shield_points(x0 - 2 * s, y0 - 2 * s, sw + 4 * s, shh + 4 * s), fill=(255, 255, 255, 255))
    inner = shield_points(x0 + 1 * s, y0 + 1 * s, sw - 2 * s, shh - 2 * s)
    fill_with(sh, lambda m: m.polygon(inner, fill=255),
              gradient_fill(sh.size, (58, 136, 226), (16, 62, 140)))
    # The hole in the bow takes the shield's blue at that height.
    draw_key(d, x0 + 7 * s, y0 + 15 * s, 26 * s, (255, 255, 255, 255), (38, 100, 185, 255))
    img.alpha_composite(downsample(sh, s))

    # Text at native size so that FreeType's hinting keeps it crisp.
    d = ImageDraw.Draw(img)
    title = font(25)
    x = 70
    d.text((x, 31), "Velmora", font=title, fill=(255, 255, 255), anchor="ls", stroke_width=0)
    x_ca = x + d.textlength("Velmora ", font=title)
    d.text((x_ca, 31), "CA", font=title, fill=(150, 204, 255), anchor="ls")
    d.line([(x, 37), (x + 200, 37)], fill=(110, 165, 230), width=1)
    d.text((x, 56), "VelmoraCA客户端工具", font=font(15), fill=(226, 238, 252), anchor="ls")
    # A light rule along the bottom edge separates the band from the dialog below it.
    d.line([(0, h - 2), (w - 1, h - 2)], fill=(72, 140, 220))
    d.line([(0, h - 1), (w - 1, h - 1)], fill=(172, 208, 244))

    rgb = img.convert("RGB")
    # Median cut without dithering: deterministic, and text edges stay clean.
    q = rgb.quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    flat = q.getpalette()[:768]
    palette = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    indices = list(q.getdata())
    return w, h, palette, indices


def draw_usb_key(layer_size, s, body_box, conn_box, body_top, body_bottom):
    """USB key standing upright: silver connector on top, blue body below. Returns an RGBA layer."""
    layer = Image.new("RGBA", layer_size, (0, 0, 0, 0))
    # "RGBA" mode so translucent fills blend instead of punching holes into the layer.
    d = ImageDraw.Draw(layer, "RGBA")
    cx0, cy0, cx1, cy1 = conn_box
    d.rectangle(conn_box, fill=(92, 98, 110, 255))
    fill_with(layer, lambda m: m.rectangle([cx0 + s, cy0 + s, cx1 - s, cy1], fill=255),
              gradient_fill(layer_size, (236, 238, 242), (168, 174, 184), vertical=False))
    hw = (cx1 - cx0) // 5
    for hx in (cx0 + hw, cx1 - 2 * hw):
        d.rectangle([hx, cy0 + 3 * s, hx + hw, cy0 + 3 * s + hw], fill=(70, 76, 88, 255))
    bx0, by0, bx1, by1 = body_box
    radius = 3 * s
    d.rounded_rectangle(body_box, radius=radius, fill=(12, 42, 100, 255))
    fill_with(layer, lambda m: m.rounded_rectangle([bx0 + s, by0 + s, bx1 - s, by1 - s], radius=radius - s, fill=255),
              gradient_fill(layer_size, body_top, body_bottom, vertical=False))
    # Glossy strip down the left of the body.
    d.rectangle([bx0 + 2 * s, by0 + 3 * s, bx0 + 3 * s - 1, by1 - 3 * s], fill=(255, 255, 255, 80))
    return layer


def draw_manager_icon():
    s = 8
    size = (32 * s, 32 * s)
    img = draw_usb_key(size, s, (7 * s, 9 * s, 25 * s - 1, 32 * s - 1), (11 * s, 0, 21 * s - 1, 10 * s),
                       (78, 150, 236), (22, 76, 170))
    d = ImageDraw.Draw(img)
    # White shield with a keyhole on the body.
    pts = shield_points(11 * s, 14 * s, 10 * s, 12.5 * s)
    d.polygon(pts, fill=(255, 255, 255, 255))
    d.ellipse([14.2 * s, 17 * s, 17.8 * s, 20.6 * s], fill=(20, 70, 160, 255))
    d.polygon([(15.1 * s, 19.5 * s), (16.9 * s, 19.5 * s), (17.4 * s, 24 * s), (14.6 * s, 24 * s)], fill=(20, 70, 160, 255))
    return downsample(img, s)


def draw_setup_icon():
    s = 8
    size = (32 * s, 32 * s)
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    outline = (96, 62, 24, 255)
    # Open carton: back flaps, right side face, front face.
    d.polygon([(4 * s, 13 * s), (1 * s, 9 * s), (12 * s, 9 * s), (14 * s, 13 * s)], fill=outline)
    d.polygon([(5 * s, 12.5 * s), (2.6 * s, 10 * s), (11.4 * s, 10 * s), (13 * s, 12.5 * s)], fill=(232, 196, 136, 255))
    d.polygon([(24 * s, 13 * s), (27 * s, 9 * s), (31 * s, 9 * s), (29.5 * s, 13 * s)], fill=outline)
    d.polygon([(24.9 * s, 12.5 * s), (27.5 * s, 10 * s), (29.7 * s, 10 * s), (28.7 * s, 12.5 * s)], fill=(190, 146, 84, 255))
    d.polygon([(24 * s, 13 * s), (30 * s, 11 * s), (30 * s, 28 * s), (24 * s, 31 * s)], fill=outline)
    fill_with(img, lambda m: m.polygon([(25 * s, 13.6 * s), (29 * s, 12.4 * s), (29 * s, 27.4 * s), (25 * s, 29.4 * s)], fill=255),
              gradient_fill(size, (176, 128, 66), (140, 96, 44)))
    d.rectangle([2 * s, 13 * s, 24 * s, 31 * s - 1], fill=outline)
    fill_with(img, lambda m: m.rectangle([3 * s, 14 * s, 24 * s - 1, 30 * s - 1], fill=255),
              gradient_fill(size, (236, 196, 130), (206, 160, 92)))
    # Green arrow dropping into the box.
    g_out = (18, 96, 36, 255)
    arrow = [(11 * s, 0), (17 * s, 0), (17 * s, 8 * s), (21.5 * s, 8 * s), (14 * s, 17 * s), (6.5 * s, 8 * s), (11 * s, 8 * s)]
    d.polygon(arrow, fill=g_out)
    inner = [(12 * s, 1 * s), (16 * s, 1 * s), (16 * s, 9 * s), (19.3 * s, 9 * s), (14 * s, 15.4 * s), (8.7 * s, 9 * s), (12 * s, 9 * s)]
    fill_with(img, lambda m: m.polygon(inner, fill=255), gradient_fill(size, (110, 214, 110), (34, 150, 56), vertical=False))
    # Blue key badge on the front of the box.
    d.rounded_rectangle([5 * s, 19 * s, 22 * s, 28 * s], radius=2 * s, fill=(12, 42, 100, 255))
    fill_with(img, lambda m: m.rounded_rectangle([6 * s, 20 * s, 21 * s, 27 * s], radius=1.5 * s, fill=255),
              gradient_fill(size, (78, 150, 236), (22, 76, 170)))
    draw_key(d, 7 * s, 20.5 * s, 13 * s, (255, 255, 255, 255), (40, 110, 200, 255))
    return downsample(img, s)


# 16x16 pixel art for the tree view. Drawn pixel by pixel so that nothing blends into the
# magenta background the image list keys on.
TREE_COLOURS = {
    ".": MAGENTA,
    "B": (16, 52, 122),    # body outline
    "l": (120, 178, 240),  # body highlight
    "b": (36, 108, 206),   # body
    "d": (22, 74, 160),    # body shade
    "w": (255, 255, 255),
    "G": (88, 92, 102),    # connector outline
    "g": (196, 200, 208),  # connector
    "k": (60, 64, 74),     # connector holes
    "K": (112, 112, 120),  # paper outline
    "p": (255, 255, 250),  # paper
    "h": (110, 132, 168),  # text lines
    "R": (136, 12, 12),    # seal outline
    "r": (214, 34, 34),    # seal
    "o": (250, 130, 110),  # seal highlight
}

TREE_USB_KEY = [
    "................",
    "................",
    "................",
    "......BBBBBBBB..",
    ".....BllllllllB.",
    "GGGGGBbbbbbbbbB.",
    "GkgkgBbwwwbbbbB.",
    "GggggBbwbwwwwbB.",
    "GggggBbwwwbwbbB.",
    "GkgkgBbbbbbbbbB.",
    "GGGGGBbbbbbbbbB.",
    ".....BddddddddB.",
    "......BBBBBBBB..",
    "................",
    "................",
    "................",
]

TREE_CERTIFICATE = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KppppppppppppK.",
    ".KpphhhhhhhhppK.",
    ".KppppppppppppK.",
    ".KphhhhhhhhhhpK.",
    ".KppppppppppppK.",
    ".KphhhhhhhppppK.",
    ".KphhhhpppRRRpK.",
    ".KpppppppRorrRK.",
    ".KphhhhppRrrrRK.",
    ".KpppppppRrrrRK.",
    ".KKKKKKKKKRRRKK.",
    ".........rr.rr..",
    ".........rr.rr..",
    ".........r...r..",
]


def draw_tree_images():
    w, h = 32, 16
    sprites = [TREE_USB_KEY, TREE_CERTIFICATE]
    for sp in sprites:
        assert len(sp) == 16 and all(len(row) == 16 for row in sp), "sprite must be 16x16"
    palette = [MAGENTA]  # magenta first so it is easy to spot in a palette dump
    index_of = {MAGENTA: 0}
    indices = []
    for y in range(h):
        for x in range(w):
            rgb = TREE_COLOURS[sprites[x // 16][y][x % 16]]
            if rgb not in index_of:
                index_of[rgb] = len(palette)
                palette.append(rgb)
            indices.append(index_of[rgb])
    return w, h, palette, indices


METER_COLOURS = {
    "low": ((252, 222, 218), (200, 32, 28)),
    "medium": ((255, 244, 206), (232, 160, 0)),
    "high": ((224, 244, 218), (34, 150, 50)),
}


def draw_meter(level):
    # 24 bpp: a smooth gradient would band in a small palette.
    w, h = 150, 20
    pale, strong = METER_COLOURS[level]
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        # Slight vertical shading, brighter at the top, for a bar rather than a flat strip.
        shade = 1.0 + 0.10 * (1 - y / (h - 1)) - 0.05
        for x in range(w):
            c = lerp(pale, strong, x / (w - 1))
            px[x, y] = tuple(max(0, min(255, int(round(v * shade)))) for v in c)
    border = tuple(int(v * 0.6) for v in strong)
    ImageDraw.Draw(img).rectangle([0, 0, w - 1, h - 1], outline=border)
    return img


KEY_FACE = (218, 228, 242)
KEY_TEXT = (0, 64, 176)


def draw_held_key(width, label):
    # Sunken button: dark edges top/left, light edges bottom/right, like a pressed push button.
    h = 16
    img = Image.new("RGB", (width, h), KEY_FACE)
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (width - 1, 0)], fill=(96, 104, 118))
    d.line([(0, 0), (0, h - 1)], fill=(96, 104, 118))
    d.line([(1, 1), (width - 2, 1)], fill=(156, 166, 182))
    d.line([(1, 1), (1, h - 2)], fill=(156, 166, 182))
    d.line([(0, h - 1), (width - 1, h - 1)], fill=(255, 255, 255))
    d.line([(width - 1, 0), (width - 1, h - 1)], fill=(255, 255, 255))
    d.line([(1, h - 2), (width - 2, h - 2)], fill=(236, 242, 250))
    d.line([(width - 2, 1), (width - 2, h - 2)], fill=(236, 242, 250))
    f = font(12)
    # Centre the ink, not the line box, then nudge it one pixel down and right as a pressed
    # key does, without letting a descender touch the light bottom edge (face is rows 2..13).
    left, top, right, bottom = d.textbbox((0, 0), label, font=f, anchor="ls")
    ink_w, ink_h = right - left, bottom - top
    y = min(int((h - ink_h) / 2 + 1), h - 2 - ink_h)
    x = int((width - ink_w) / 2 + 1)
    d.text((x - left, y - top), label, font=f, fill=KEY_TEXT, anchor="ls")
    return img


# ---------------------------------------------------------------------------------------------

def build():
    """Returns [(file name, resource id, kind, expected pixels, extra)] after writing every file."""
    results = []

    w, h, pal, idx = draw_banner()
    write_bmp8(os.path.join(OUT_DIR, "banner.bmp"), w, h, pal, idx)
    results.append(("banner.bmp", 102, "bmp8", (w, h), [pal[i] for i in idx]))

    for name, rid, img in (("manager.ico", 103, draw_manager_icon()), ("setup.ico", 119, draw_setup_icon())):
        write_ico24(os.path.join(OUT_DIR, name), img)
        results.append((name, rid, "ico24", img.size, list(img.getdata())))

    w, h, pal, idx = draw_tree_images()
    write_bmp8(os.path.join(OUT_DIR, "tree_images.bmp"), w, h, pal, idx)
    results.append(("tree_images.bmp", 107, "bmp8", (w, h), [pal[i] for i in idx]))

    for name, rid in (("meter_low.bmp", 109), ("meter_medium.bmp", 110), ("meter_high.bmp", 111)):
        img = draw_meter(name[6:-4])
        write_bmp24(os.path.join(OUT_DIR, name), img)
        results.append((name, rid, "bmp24", img.size, list(img.getdata())))

    for name, rid, width, label in (("key_caps_held.bmp", 113, 41, "Caps"),
                                    ("key_shift_right_held.bmp", 114, 74, "Shift"),
                                    ("key_shift_left_held.bmp", 115, 61, "Shift")):
        img = draw_held_key(width, label)
        write_bmp24(os.path.join(OUT_DIR, name), img)
        results.append((name, rid, "bmp24", img.size, list(img.getdata())))
    return results


def verify(results, preview_dir):
    failures = []
    print("%-26s %4s %5s %4s %4s %6s  %s" % ("file", "id", "w", "h", "bpp", "bytes", "notes"))
    for name, rid, kind, (w, h), expected in results:
        path = os.path.join(OUT_DIR, name)
        notes = []
        try:
            if kind == "ico24":
                bmp, transparent, nbytes = read_ico(path)
                # Opaque pixels must round-trip exactly; masked ones must be black in the colour plane.
                for i, (r, g, b, a) in enumerate(expected):
                    want_t = a < 128
                    if transparent[i] != want_t:
                        raise ValueError("mask differs at pixel %d" % i)
                    want = (0, 0, 0) if want_t else (r, g, b)
                    if bmp.pixels[i] != want:
                        raise ValueError("colour differs at pixel %d" % i)
                notes.append("%d opaque px" % transparent.count(False))
            else:
                bmp, nbytes = read_bmp(path)
                if bmp.pixels != [tuple(p[:3]) for p in expected]:
                    raise ValueError("pixels differ from the drawing")
                if kind == "bmp8":
                    if bmp.bpp != 8 or bmp.clr_used != 256 or len(bmp.palette) != 256:
                        raise ValueError("want 8 bpp with 256 palette entries")
                    notes.append("%d colours used" % len(set(bmp.pixels)))
                elif bmp.bpp != 24:
                    raise ValueError("want 24 bpp")
            if (bmp.width, bmp.height) != (w, h):
                raise ValueError("size %dx%d, want %dx%d" % (bmp.width, bmp.height, w, h))
            if name == "tree_images.bmp":
                if MAGENTA not in bmp.palette:
                    raise ValueError("palette lacks exact magenta")
                # Anything close to magenta but not equal would show as a pink fringe.
                near = [p for p in set(bmp.pixels) if p != MAGENTA and sum(abs(a - b) for a, b in zip(p, MAGENTA)) < 120]
                if near:
                    raise ValueError("near-magenta colours %r" % near)
                for x0 in (0, 16):
                    corners = [bmp.pixels[y * w + x0 + x] for (x, y) in ((0, 0), (15, 0), (0, 15), (15, 15))]
                    if corners.count(MAGENTA) < 3:
                        raise ValueError("image at x=%d is not on a magenta background" % x0)
                notes.append("magenta background")
            print("%-26s %4d %5d %4d %4d %6d  %s" % (name, rid, bmp.width, bmp.height, bmp.bpp, nbytes, ", ".join(notes)))
            if preview_dir:
                write_preview(preview_dir, name, bmp, transparent if kind == "ico24" else None)
        except (ValueError, struct.error, IndexError) as e:
            failures.append("%s: %s" % (name, e))
            print("%-26s FAILED: %s" % (name, e))
    return failures


def write_preview(preview_dir, name, bmp, transparent):
    img = Image.new("RGB", (bmp.width, bmp.height))
    img.putdata(bmp.pixels)
    if transparent is not None:
        # Show the mask against a checkerboard so holes are visible.
        px = img.load()
        for i, t in enumerate(transparent):
            if t:
                x, y = i % bmp.width, i // bmp.width
                px[x, y] = (204, 204, 204) if (x // 4 + y // 4) % 2 else (255, 255, 255)
    scale = 1 if bmp.width >= 300 else (8 if bmp.width <= 41 else 4)
    big = img.resize((bmp.width * scale, bmp.height * scale), Image.Resampling.NEAREST)
    big.save(os.path.join(preview_dir, os.path.splitext(name)[0] + ".png"))
    if scale != 1:
        img.save(os.path.join(preview_dir, os.path.splitext(name)[0] + "_1x.png"))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--preview", metavar="DIR", help="also write enlarged PNG previews to DIR (keep it outside the repo)")
    args = ap.parse_args()
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
    failures = verify(build(), args.preview)
    if failures:
        print("\n".join(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
