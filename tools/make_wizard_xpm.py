#!/usr/bin/env python3
"""Generates the wizard's built-in side picture; the build runs it.

The picture is a 140 x 264 installer banner: a deep blue to teal gradient
with soft light bands, a storage controller card above a stack of disks, and
a small "stage3" wordmark, inside a transparent rounded margin. Shapes are
drawn with supersampling, so their edges are anti-aliased. The scene is drawn
twice: at its size, and at twice its size (280 x 528 device pixels) for windows
of scale 2, where the picture keeps its size and gains detail.

Usage: tools/make_wizard_xpm.py OUTPUT_DIRECTORY, which receives
  wizard_xpm.cpp     wizard_xpm, the picture at its size as XPM data;
  wizard_pixels.cpp  wizard_rgba_1x, that data decoded to gdk-pixbuf's RGBA bytes,
                     and wizard_argb_2x, the picture at twice its size as cairo
                     ARGB32 pixels.
Pure Python, no extra modules; the rows are drawn on every processor.
"""

import math
import os
import sys

WIDTH, HEIGHT = 140, 264
SUB = 4  # samples per pixel and axis
SUB_2X = 3  # the same at twice the size, per device pixel
MARGIN = 2.0  # transparent margin around the rounded panel
RADIUS = 14.0  # corner radius of the panel

# Characters for the 3-character colour keys: printable ASCII except the blank
# (three blanks key the transparent colour), the quotation mark and the
# backslash (they would need escapes) and the question mark (no trigraphs).
KEY_CHARS = [chr(c) for c in range(33, 127) if chr(c) not in '"\\?']


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def hexrgb(h):
    return (int(h[1:3], 16) / 255.0, int(h[3:5], 16) / 255.0, int(h[5:7], 16) / 255.0)


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = x0 + r if x < x0 + r else x1 - r if x > x1 - r else x
    cy = y0 + r if y < y0 + r else y1 - r if y > y1 - r else y
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


# ---- background ---------------------------------------------------------

GRAD = [(0.0, hexrgb("#071537")), (0.45, hexrgb("#0d3a78")), (0.8, hexrgb("#0c6a8a")),
        (1.0, hexrgb("#0f8f8c"))]


def gradient(t):
    for (t0, c0), (t1, c1) in zip(GRAD, GRAD[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0))
    return GRAD[-1][1]


def background(x, y):
    c = gradient(y / HEIGHT)
    # Soft diagonal light bands.
    d = x * 0.55 + y
    band = 0.5 + 0.5 * math.sin(d / 23.0)
    band = band ** 6 * 0.10 + (0.5 + 0.5 * math.sin(d / 9.0 + 1.3)) ** 12 * 0.05
    c = mix(c, (0.75, 0.9, 1.0), band)
    # A glow at the upper right and a darker rim.
    g = math.exp(-(((x - 120) / 70.0) ** 2 + ((y - 20) / 60.0) ** 2))
    c = mix(c, (0.45, 0.7, 1.0), 0.22 * g)
    ex = min(x, WIDTH - x) / 20.0
    ey = min(y, HEIGHT - y) / 24.0
    vignette = 1.0 - 0.28 * (1.0 - smoothstep(0.0, 1.0, min(ex, ey)))
    return (c[0] * vignette, c[1] * vignette, c[2] * vignette)


# Faint circuit traces across the upper half: (points, ...) polylines.
TRACES = [
    [(6, 18), (34, 18), (44, 28), (44, 44)],
    [(134, 30), (104, 30), (96, 38), (96, 50)],
    [(10, 140), (10, 120), (16, 114)],
    [(130, 134), (130, 112), (124, 106)],
    [(60, 8), (60, 20), (70, 30), (70, 46)],
]
NODES = [(44, 44), (96, 50), (16, 114), (124, 106), (70, 46), (6, 18), (134, 30), (60, 8)]


def dist_segment(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    wx, wy = px - ax, py - ay
    t = clamp((wx * vx + wy * vy) / float(vx * vx + vy * vy))
    dx, dy = px - (ax + t * vx), py - (ay + t * vy)
    return math.sqrt(dx * dx + dy * dy)


TRACE_WIDTH = 0.6  # half the width of a trace
# Each segment with its bounding box grown by the half width: a point outside the
# box cannot be on the trace, which saves most distance computations.
SEGMENTS = [(ax, ay, bx, by, min(ax, bx) - TRACE_WIDTH, min(ay, by) - TRACE_WIDTH,
             max(ax, bx) + TRACE_WIDTH, max(ay, by) + TRACE_WIDTH)
            for line in TRACES for (ax, ay), (bx, by) in zip(line, line[1:])]


# Below this line there are no traces and no nodes.
TRACES_BOTTOM = max(max(s[7] for s in SEGMENTS), max(ny for _, ny in NODES) + 2.2)


def traces(x, y, c):
    if y > TRACES_BOTTOM:
        return None
    for ax, ay, bx, by, x0, y0, x1, y1 in SEGMENTS:
        if x0 <= x <= x1 and y0 <= y <= y1 and dist_segment(x, y, ax, ay, bx, by) <= TRACE_WIDTH:
            return mix(c, (0.55, 0.85, 1.0), 0.28)
    for nx, ny in NODES:
        r2 = (x - nx) ** 2 + (y - ny) ** 2
        if r2 <= 2.2 ** 2:
            return mix(c, (0.7, 0.95, 1.0), 0.45 if r2 > 1.0 else 0.7)
    return None


# ---- the controller card -------------------------------------------------

CARD = (22.0, 58.0, 118.0, 118.0)  # x0, y0, x1, y1
PCB_TOP, PCB_BOTTOM = hexrgb("#137a4a"), hexrgb("#0a4d2f")
GOLD_HI, GOLD_LO = hexrgb("#ffe9a0"), hexrgb("#b8862b")


def card(x, y):
    x0, y0, x1, y1 = CARD
    # Drop shadow, offset down and right.
    shadow = in_round_rect(x - 2, y - 3, x0, y0, x1, y1, 4)
    # Metal bracket on the left.
    if 14.0 <= x <= 22.0 and 50.0 <= y <= 128.0:
        t = (x - 14.0) / 8.0
        c = mix(hexrgb("#8a96a8"), hexrgb("#eef3fa"), math.sin(t * math.pi) ** 0.7)
        if 86 <= y <= 92 and 16.5 <= x <= 19.5:  # slot
            c = hexrgb("#3a4350")
        if (x - 18) ** 2 + (y - 54) ** 2 <= 2.0:  # screw hole
            c = hexrgb("#2c3440")
        return c
    # Gold contact fingers below the board.
    if 40.0 <= x <= 104.0 and y1 <= y <= y1 + 7.0:
        if 66.0 <= x <= 69.0:
            return None if not shadow else "shadow"
        if (x - 40.0) % 3.2 < 2.2:
            return mix(GOLD_HI, GOLD_LO, (y - y1) / 7.0)
        c = mix(PCB_BOTTOM, (0, 0, 0), 0.2)
        return c
    if not in_round_rect(x, y, x0, y0, x1, y1, 4):
        return "shadow" if shadow else None
    t = (y - y0) / (y1 - y0)
    c = mix(PCB_TOP, PCB_BOTTOM, t)
    # Light edge along the top of the board.
    if y < y0 + 1.2:
        c = mix(c, (0.6, 1.0, 0.75), 0.5)
    # Board traces.
    for ty in (72.0, 76.0, 104.0, 108.0):
        if abs(y - ty) < 0.45 and 26 < x < 112:
            c = mix(c, (0.45, 0.85, 0.5), 0.45)
    for tx in (34.0, 38.0):
        if abs(x - tx) < 0.45 and 62 < y < 114:
            c = mix(c, (0.45, 0.85, 0.5), 0.45)
    # Main controller chip with its pins.
    cx0, cy0, cx1, cy1 = 48.0, 70.0, 82.0, 104.0
    if cx0 - 2.5 <= x <= cx1 + 2.5 and cy0 - 2.5 <= y <= cy1 + 2.5:
        if cx0 <= x <= cx1 and cy0 <= y <= cy1:
            u, v = (x - cx0) / (cx1 - cx0), (y - cy0) / (cy1 - cy0)
            c = mix(hexrgb("#3b4250"), hexrgb("#181c24"), 0.5 * u + 0.5 * v)
            if in_round_rect(x, y, cx0 + 5, cy0 + 5, cx1 - 5, cy1 - 5, 3):
                c = mix(c, hexrgb("#4a5466"), 0.6)
            if (x - (cx0 + 4)) ** 2 + (y - (cy0 + 4)) ** 2 < 1.6:
                c = hexrgb("#9aa4b4")
            return c
        along = x if (y < cy0 or y > cy1) else y
        if (along % 3.0) < 1.5:
            return mix(hexrgb("#e8e8e8"), hexrgb("#9a9a9a"), 0.4)
        return c
    # Memory chips and a small chip.
    for (mx0, my0, mx1, my1) in ((88, 66, 110, 76), (88, 82, 110, 92), (26, 96, 42, 110)):
        if mx0 <= x <= mx1 and my0 <= y <= my1:
            u = (y - my0) / float(my1 - my0)
            return mix(hexrgb("#2a303b"), hexrgb("#11151c"), u)
    # Two ports on the right edge.
    for (px0, py0) in ((106.0, 96.0), (106.0, 106.0)):
        if px0 <= x <= px0 + 12 and py0 <= y <= py0 + 7:
            inner = px0 + 2 <= x <= px0 + 10 and py0 + 2 <= y <= py0 + 5
            return hexrgb("#0b0d12") if inner else mix(hexrgb("#c9d2de"), hexrgb("#7b8694"),
                                                        (y - py0) / 7.0)
    # Status LED.
    if (x - 30) ** 2 + (y - 66) ** 2 <= 4.0:
        return (0.55, 1.0, 0.55)
    if (x - 30) ** 2 + (y - 66) ** 2 <= 12.0:
        return mix(c, (0.55, 1.0, 0.55), 0.35)
    return c


# ---- the disk stack ------------------------------------------------------

DISK_CX, DISK_RX, DISK_RY, DISK_H = 70.0, 44.0, 11.0, 17.0
DISK_TOPS = [190.0, 170.0, 150.0]  # drawn from the bottom disk up


def metal(u, base_dark, base_light):
    # u in [-1, 1] across the cylinder: bright band left of centre.
    k = math.cos(clamp((u + 0.25) * 1.2, -1.5, 1.5))
    highlight = math.exp(-((u + 0.35) / 0.12) ** 2) * 0.35
    c = mix(base_dark, base_light, clamp(k))
    return mix(c, (1, 1, 1), highlight)


def disks(x, y):
    result = None
    if y < DISK_TOPS[-1] - DISK_RY or y > DISK_TOPS[0] + DISK_H + DISK_RY:
        return result
    for i, top in enumerate(DISK_TOPS):
        u = (x - DISK_CX) / DISK_RX
        if abs(u) > 1.0:
            continue
        dy = DISK_RY * math.sqrt(max(0.0, 1.0 - u * u))
        body_top, body_bottom = top, top + DISK_H
        inside_top = in_ellipse(x, y, DISK_CX, top, DISK_RX, DISK_RY)
        inside_body = body_top <= y <= body_bottom + dy
        if not (inside_top or inside_body):
            continue
        if inside_top:
            # Platter face: radial shading with a hub and a soft reflection.
            r = math.sqrt(((x - DISK_CX) / DISK_RX) ** 2 + ((y - top) / DISK_RY) ** 2)
            c = mix(hexrgb("#dfe8f2"), hexrgb("#8d9bb0"), r ** 1.5)
            ang = math.atan2((y - top) / DISK_RY, (x - DISK_CX) / DISK_RX)
            c = mix(c, (1, 1, 1), 0.18 * max(0.0, math.cos(2 * ang + 0.6)) ** 4)
            if r < 0.2:
                c = mix(hexrgb("#5b6678"), hexrgb("#aeb9c8"), r / 0.2)
            if abs(r - 0.62) < 0.03:
                c = mix(c, hexrgb("#6d7b90"), 0.5)
            if r > 0.93:
                c = mix(c, hexrgb("#f4f8ff"), 0.6)
            result = c
        else:
            c = metal(u, hexrgb("#2c3646"), hexrgb("#a9b6c8"))
            # Darker lower rim and a seam line.
            if y > body_bottom + dy - 1.4:
                c = mix(c, (0.05, 0.07, 0.1), 0.5)
            if abs(y - (body_top + 6.0 + dy)) < 0.5:
                c = mix(c, (0.1, 0.12, 0.16), 0.35)
            # Activity LED on the front.
            lx, ly = DISK_CX + 28.0, body_top + 9.5 + DISK_RY * math.sqrt(1 - (28.0 / DISK_RX) ** 2)
            d2 = (x - lx) ** 2 + (y - ly) ** 2
            led = (0.35, 1.0, 0.55) if i != 1 else (1.0, 0.75, 0.25)
            if d2 <= 2.6:
                c = led
            elif d2 <= 9.0:
                c = mix(c, led, 0.3)
            result = c
    return result


def disk_shadow(x, y):
    return in_ellipse(x, y, DISK_CX + 4, DISK_TOPS[0] + DISK_H + 13, DISK_RX + 6, DISK_RY + 3)


# ---- the wordmark --------------------------------------------------------

FONT = {
    "s": ["     ", "     ", " ####", "#    ", " ### ", "    #", "#### "],
    "t": [" #   ", " #   ", "#### ", " #   ", " #   ", " #  #", "  ## "],
    "a": ["     ", "     ", " ### ", "    #", " ####", "#   #", " ####"],
    "g": ["     ", " ####", "#   #", "#   #", " ####", "    #", " ### "],
    "e": ["     ", "     ", " ### ", "#   #", "#####", "#    ", " ### "],
    "3": [" ### ", "#   #", "    #", "  ## ", "    #", "#   #", " ### "],
}
WORD = "stage3"
SCALE = 2.0
GLYPH_W, GAP = 5 * SCALE, 1.5 * SCALE
WORD_W = len(WORD) * GLYPH_W + (len(WORD) - 1) * GAP
WORD_X, WORD_Y = (WIDTH - WORD_W) / 2.0, 232.0


def wordmark_hit(x, y):
    gx = x - WORD_X
    gy = y - WORD_Y
    if gy < 0 or gy >= 7 * SCALE or gx < 0 or gx >= WORD_W:
        return False
    idx = int(gx // (GLYPH_W + GAP))
    ox = gx - idx * (GLYPH_W + GAP)
    if idx >= len(WORD) or ox >= GLYPH_W:
        return False
    rows = FONT[WORD[idx]]
    return rows[int(gy // SCALE)][int(ox // SCALE)] == "#"


# ---- the scene -----------------------------------------------------------

def sample(x, y):
    """Colour at a sample point, or None outside the rounded panel."""
    if not in_round_rect(x, y, MARGIN, MARGIN, WIDTH - MARGIN, HEIGHT - MARGIN, RADIUS):
        return None
    c = background(x, y)
    t = traces(x, y, c)
    if t is not None:
        c = t
    if disk_shadow(x, y):
        c = mix(c, (0, 0.02, 0.06), 0.35)
    d = disks(x, y)
    if d is not None:
        c = d
    k = card(x, y)
    if k == "shadow":
        c = mix(c, (0, 0.02, 0.06), 0.3)
    elif k is not None:
        c = k
    # Wordmark with a soft shadow.
    if wordmark_hit(x, y):
        c = mix(c, (0.93, 0.97, 1.0), 0.92)
    elif wordmark_hit(x - 1, y - 1):
        c = mix(c, (0, 0.03, 0.08), 0.45)
    # Inner rim light along the panel edge.
    if not in_round_rect(x, y, MARGIN + 1.0, MARGIN + 1.0, WIDTH - MARGIN - 1.0,
                         HEIGHT - MARGIN - 1.0, RADIUS - 1.0):
        c = mix(c, (0.6, 0.8, 1.0), 0.35)
    return c


def render_row(job):
    """One row of device pixels at `scale` device pixels per unit, `sub` x `sub`
    samples each: a list of (r, g, b) in 0..255, or None where fewer than half the
    samples fall inside the panel (transparent)."""
    scale, sub, py = job
    offsets = [(i + 0.5) / sub for i in range(sub)]
    row = []
    for px in range(WIDTH * scale):
        r = g = b = 0.0
        n = 0
        for oy in offsets:
            for ox in offsets:
                c = sample((px + ox) / scale, (py + oy) / scale)
                if c is not None:
                    r += c[0]
                    g += c[1]
                    b += c[2]
                    n += 1
        if n * 2 < sub * sub:
            row.append(None)
        else:
            # A faint fixed dither breaks up banding in the gradient.
            h = ((px * 73856093) ^ (py * 19349663)) & 0xFF
            dither = (h / 255.0 - 0.5) / 255.0
            row.append(tuple(int(round(clamp(v / n + dither) * 255)) for v in (r, g, b)))
    return row


def render_all(jobs):
    """The rows of every job, in order, on every processor when the machine lets
    the script start worker processes."""
    try:
        import multiprocessing
        with multiprocessing.Pool() as pool:
            return pool.map(render_row, jobs, chunksize=8)
    except (ImportError, OSError):
        return [render_row(job) for job in jobs]


def render():
    """The picture at its size (SUB x SUB samples a pixel) and at twice its size
    (SUB_2X x SUB_2X samples a device pixel)."""
    jobs = [(1, SUB, py) for py in range(HEIGHT)] + [(2, SUB_2X, py) for py in range(2 * HEIGHT)]
    rows = render_all(jobs)
    return rows[:HEIGHT], rows[HEIGHT:]


def key_for(index):
    n = len(KEY_CHARS)
    return KEY_CHARS[index // (n * n)] + KEY_CHARS[(index // n) % n] + KEY_CHARS[index % n]


GENERATED = ["// Generated by tools/make_wizard_xpm.py at build time; edit the script, not",
             "// this file."]


def xpm_source(pixels):
    """The C++ source of wizard_xpm, and the number of colours."""
    colours = {}
    for row in pixels:
        for p in row:
            if p is not None and p not in colours:
                colours[p] = key_for(len(colours))
    lines = ["// The wizard's built-in side picture as XPM data (%d x %d)." % (WIDTH, HEIGHT)]
    lines += GENERATED
    lines.append('#include "interface/wizard_xpm.h"')
    lines.append("")
    lines.append("const char* wizard_xpm[] = {")
    lines.append('"%d %d %d 3",' % (WIDTH, HEIGHT, len(colours) + 1))
    lines.append('"   \\tc None",')
    for (r, g, b), key in colours.items():
        lines.append('"%s\\tc #%02X%02X%02X",' % (key, r, g, b))
    for i, row in enumerate(pixels):
        text = "".join("   " if p is None else colours[p] for p in row)
        lines.append('"%s"%s' % (text, "," if i + 1 < len(pixels) else ""))
    lines.append("};")
    return "\n".join(lines) + "\n", len(colours) + 1


def c_array(declaration, values, per_line):
    lines = [declaration + " = {"]
    for i in range(0, len(values), per_line):
        lines.append(",".join(values[i:i + per_line]) + ",")
    lines.append("};")
    return lines


def rgba_array(name, pixels):
    """A C array of gdk-pixbuf's RGBA bytes, transparent pixels all zero."""
    values = ["%d" % v for row in pixels for p in row
              for v in ((0, 0, 0, 0) if p is None else p + (255,))]
    return c_array("const unsigned char %s[]" % name, values, 32)


def argb_array(name, pixels):
    """A C array of cairo ARGB32 values, premultiplied: every pixel is either
    transparent (0) or opaque."""
    values = ["0x%08Xu" % (0 if p is None else 0xFF000000 | p[0] << 16 | p[1] << 8 | p[2])
              for row in pixels for p in row]
    return c_array("const uint32_t %s[]" % name, values, 8)


def pixels_source(pixels_1x, pixels_2x):
    lines = ["// The wizard's built-in side picture as pixels ready to draw: the XPM data",
             "// decoded (%d x %d) and the picture drawn at twice its size (%d x %d)."
             % (WIDTH, HEIGHT, 2 * WIDTH, 2 * HEIGHT)]
    lines += GENERATED
    lines.append('#include "interface/wizard_xpm.h"')
    lines.append("")
    lines += rgba_array("wizard_rgba_1x", pixels_1x)
    lines += argb_array("wizard_argb_2x", pixels_2x)
    return "\n".join(lines) + "\n"


def write_file(path, text):
    """Writes under a temporary name first, so that an interrupted run leaves no
    half file under the real name."""
    part = path + ".part"
    with open(part, "w") as out:
        out.write(text)
    os.replace(part, path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_wizard_xpm.py OUTPUT_DIRECTORY")
    out_dir = sys.argv[1]
    pixels_1x, pixels_2x = render()
    xpm, count = xpm_source(pixels_1x)
    write_file(os.path.join(out_dir, "wizard_xpm.cpp"), xpm)
    write_file(os.path.join(out_dir, "wizard_pixels.cpp"), pixels_source(pixels_1x, pixels_2x))
    print("%s: wizard_xpm.cpp (%d colours), wizard_pixels.cpp" % (out_dir, count))


if __name__ == "__main__":
    main()
