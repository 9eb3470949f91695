#!/usr/bin/python3
"""Draws KELO's skin art and writes the skin files that use it.

    /usr/bin/python3 tools/skin-art/make_skin.py [--out ROOT]

Writes, under ROOT (default: the checkout):
  data/RededazadEdadar2.skn, data/RededazadEdadar2/*.png   the default skin
  data/resources/*.png                                     the module's own pictures
  tests/data/skins/EveryTag.skn, tests/data/skins/EveryTag/*.png   the test skin
  docs/skin-preview.png                                    the default panel, composed here

Needs Debian's python3-cairo and python3-pil and the DejaVu fonts (fonts-dejavu-core). Every
picture is drawn at twice its size and halved, so edges are smooth; the output is the same
bytes on every run (no randomness without a fixed seed, no time stamps in the PNGs).

The test skin ("EveryTag") defines every tag the editor builds a control from, both families
of step keys included, and draws each image as one flat colour that names it:

    image k (0-based, counted from the top) of the bitmap of tag T has the colour
        red   = T mod 256
        green = 32 * (T div 256) + 16
        blue  = 2 * k + 1

so a test that samples a pixel of a control knows which control drew it and which of its
images is shown (a knob's frame, a key's state, a digit). The background (tag 0) is
(0, 16, 1); every image is opaque.
"""

import argparse
import math
import os
import random

import cairo
from PIL import Image

SCALE = 2  # drawn at 2x, saved at 1x

# ---------------------------------------------------------------------------------------------
# Colours (0..1 floats)


def hexc(s, a=1.0):
    s = s.lstrip('#')
    return (int(s[0:2], 16) / 255.0, int(s[2:4], 16) / 255.0, int(s[4:6], 16) / 255.0, a)


PANEL = hexc('1E2023')
PANEL_DARK = hexc('16171A')
LINE = hexc('3A3D42')
LINE_SOFT = hexc('2C2F33')
HEADING = hexc('8E9197')
LABEL = hexc('E8E6E1')
MUTED = hexc('9C9EA3')
AMBER = hexc('FF9A1F')
AMBER_HOT = hexc('FFC068')
AMBER_DIM = hexc('4A3215')
WINDOW = hexc('0B0C0D')

SANS = 'DejaVu Sans'

# ---------------------------------------------------------------------------------------------
# Drawing helpers


def new_surface(w, h):
    surf = cairo.ImageSurface(cairo.FORMAT_ARGB32, w * SCALE, h * SCALE)
    ctx = cairo.Context(surf)
    ctx.scale(SCALE, SCALE)
    opts = cairo.FontOptions()
    opts.set_antialias(cairo.ANTIALIAS_GRAY)
    opts.set_hint_style(cairo.HINT_STYLE_NONE)
    opts.set_hint_metrics(cairo.HINT_METRICS_OFF)
    ctx.set_font_options(opts)
    return surf, ctx


def to_image(surf):
    """The surface halved (averaging in premultiplied form, so edges do not fringe)."""
    surf.flush()
    w, h = surf.get_width(), surf.get_height()
    img = Image.frombuffer('RGBA', (w, h), bytes(surf.get_data()), 'raw', 'BGRa', surf.get_stride(), 1)
    return img.convert('RGBa').reduce(SCALE).convert('RGBA')


def render(w, h, draw):
    surf, ctx = new_surface(w, h)
    draw(ctx)
    return to_image(surf)


def strip(images):
    """Images stacked vertically, the first on top."""
    w = images[0].width
    h = sum(i.height for i in images)
    out = Image.new('RGBA', (w, h), (0, 0, 0, 0))
    y = 0
    for i in images:
        out.paste(i, (0, y))
        y += i.height
    return out


def rounded(ctx, x, y, w, h, r):
    r = min(r, w / 2, h / 2)
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def vgradient(y0, y1, stops):
    g = cairo.LinearGradient(0, y0, 0, y1)
    for off, col in stops:
        g.add_color_stop_rgba(off, *col)
    return g


def text_width(ctx, text, size, bold=True, spacing=0.0):
    ctx.select_font_face(SANS, cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(size)
    return ctx.text_extents(text).x_advance + spacing * max(0, len(text) - 1)


def text(ctx, s, x, y, size, colour, bold=True, align='center', spacing=0.0):
    """Text with its baseline at y; x is the left, centre or right edge by `align`."""
    w = text_width(ctx, s, size, bold, spacing)
    if align == 'center':
        x -= w / 2
    elif align == 'right':
        x -= w
    ctx.set_source_rgba(*colour)
    if spacing == 0.0:
        ctx.move_to(x, y)
        ctx.show_text(s)
        return
    for ch in s:
        ctx.move_to(x, y)
        ctx.show_text(ch)
        x += ctx.text_extents(ch).x_advance + spacing


def glow(ctx, x, y, r, colour, alpha):
    g = cairo.RadialGradient(x, y, 0, x, y, r)
    g.add_color_stop_rgba(0, colour[0], colour[1], colour[2], alpha)
    g.add_color_stop_rgba(1, colour[0], colour[1], colour[2], 0)
    ctx.set_source(g)
    ctx.arc(x, y, r, 0, 2 * math.pi)
    ctx.fill()


# ---------------------------------------------------------------------------------------------
# Controls


def knob_angle(v):
    # Value 0 at half past seven, 1 at half past four, clockwise over the top.
    return math.radians(135 + 270 * v)


def draw_knob(ctx, size, v, bipolar=False):
    c = size / 2
    ring = c - 2.2
    cap = c - 7.5 if size >= 44 else c - 6
    # Value arc and its track.
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)
    ctx.set_line_width(2.2)
    ctx.set_source_rgba(*hexc('33363B'))
    ctx.arc(c, c, ring, knob_angle(0), knob_angle(1))
    ctx.stroke()
    lo, hi = (min(v, 0.5), max(v, 0.5)) if bipolar else (0.0, v)
    if hi - lo > 0.002:
        ctx.set_source_rgba(*AMBER)
        ctx.arc(c, c, ring, knob_angle(lo), knob_angle(hi))
        ctx.stroke()
    # Shadow, skirt and face, lit from the top left.
    sh = cairo.RadialGradient(c + 0.8, c + 1.8, cap - 2, c + 0.8, c + 1.8, cap + 3.5)
    sh.add_color_stop_rgba(0, 0, 0, 0, 0.6)
    sh.add_color_stop_rgba(1, 0, 0, 0, 0)
    ctx.set_source(sh)
    ctx.arc(c + 0.8, c + 1.8, cap + 3.5, 0, 2 * math.pi)
    ctx.fill()
    skirt = cairo.LinearGradient(c - cap, c - cap, c + cap, c + cap)
    skirt.add_color_stop_rgba(0, *hexc('575B62'))
    skirt.add_color_stop_rgba(0.5, *hexc('2F3236'))
    skirt.add_color_stop_rgba(1, *hexc('1A1B1E'))
    ctx.set_source(skirt)
    ctx.arc(c, c, cap, 0, 2 * math.pi)
    ctx.fill()
    face_r = cap - 2.4
    face = cairo.RadialGradient(c - face_r * 0.45, c - face_r * 0.55, 0, c, c, face_r * 1.15)
    face.add_color_stop_rgba(0, *hexc('4A4E55'))
    face.add_color_stop_rgba(1, *hexc('26282C'))
    ctx.set_source(face)
    ctx.arc(c, c, face_r, 0, 2 * math.pi)
    ctx.fill()
    ctx.set_line_width(0.8)
    ctx.set_source_rgba(1, 1, 1, 0.10)
    ctx.arc(c, c, face_r - 0.4, math.radians(190), math.radians(290))
    ctx.stroke()
    # Pointer.
    a = knob_angle(v)
    x0, y0 = c + math.cos(a) * face_r * 0.28, c + math.sin(a) * face_r * 0.28
    x1, y1 = c + math.cos(a) * (cap - 0.8), c + math.sin(a) * (cap - 0.8)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_source_rgba(AMBER[0], AMBER[1], AMBER[2], 0.25)
    ctx.set_line_width(4.2)
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()
    ctx.set_source_rgba(*AMBER_HOT)
    ctx.set_line_width(2.1)
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()


def knob_strip(size, frames=101, bipolar=False):
    return strip([render(size, size, lambda ctx, k=k: draw_knob(ctx, size, k / (frames - 1), bipolar))
                  for k in range(frames)])


def draw_led(ctx, size, on):
    c = size / 2
    r = 2.9
    if on:
        glow(ctx, c, c, c, AMBER, 0.55)
        g = cairo.RadialGradient(c - 0.8, c - 0.8, 0, c, c, r)
        g.add_color_stop_rgba(0, 1, 0.93, 0.78, 1)
        g.add_color_stop_rgba(0.55, *AMBER_HOT)
        g.add_color_stop_rgba(1, *AMBER)
    else:
        g = cairo.RadialGradient(c - 0.8, c - 0.8, 0, c, c, r)
        g.add_color_stop_rgba(0, *hexc('5A3D1C'))
        g.add_color_stop_rgba(1, *hexc('2A1D0F'))
    ctx.set_source_rgba(0, 0, 0, 0.7)
    ctx.arc(c, c + 0.3, r + 0.9, 0, 2 * math.pi)
    ctx.fill()
    ctx.set_source(g)
    ctx.arc(c, c, r, 0, 2 * math.pi)
    ctx.fill()


def led_strip(size=12):
    return strip([render(size, size, lambda ctx, on=on: draw_led(ctx, size, on)) for on in (False, True)])


KEY_STYLES = {
    # cap top, cap bottom, legend, legend when lit
    'white': (hexc('E4E1DA'), hexc('C4C0B8'), hexc('3A3C40'), hexc('3A3C40')),
    'black': (hexc('3A3D42'), hexc('222427'), hexc('D9D7D2'), hexc('D9D7D2')),
    'func': (hexc('4A4E55'), hexc('33363B'), hexc('E8E6E1'), hexc('E8E6E1')),
}


def draw_key(ctx, w, h, style, lit, pressed, legend=None):
    top, bottom, ink, _ = KEY_STYLES[style]
    dy = 1.2 if pressed else 0.0
    inset = 1.5
    kh = h - inset * 2 - 1.2
    # Shadow: shorter when the key is down.
    ctx.set_source_rgba(0, 0, 0, 0.55)
    rounded(ctx, inset, inset + (1.8 if not pressed else 1.6), w - 2 * inset, kh + (0.0 if not pressed else -0.6), 3.2)
    ctx.fill()
    ctx.set_source(vgradient(inset + dy, inset + dy + kh, [(0, top), (1, bottom)]))
    rounded(ctx, inset, inset + dy, w - 2 * inset, kh, 3)
    ctx.fill()
    if pressed:
        ctx.set_source_rgba(0, 0, 0, 0.12)
        rounded(ctx, inset, inset + dy, w - 2 * inset, kh, 3)
        ctx.fill()
    # Top edge highlight.
    ctx.set_line_width(0.7)
    ctx.set_source_rgba(1, 1, 1, 0.22 if style == 'white' else 0.10)
    ctx.move_to(inset + 3, inset + dy + 0.6)
    ctx.line_to(w - inset - 3, inset + dy + 0.6)
    ctx.stroke()
    # The light: a window near the top of the cap.
    lw, lh = min(w * 0.42, 16), 2.6
    lx, ly = (w - lw) / 2, inset + dy + 3.4
    if lit:
        glow(ctx, w / 2, ly + lh / 2, lw * 0.75, AMBER, 0.45)
        ctx.set_source(vgradient(ly, ly + lh, [(0, AMBER_HOT), (1, AMBER)]))
    else:
        ctx.set_source_rgba(*(hexc('6B5A45') if style == 'white' else hexc('2A1E12')))
    rounded(ctx, lx, ly, lw, lh, 1.2)
    ctx.fill()
    if legend:
        size = 8.5 if len(legend) <= 2 else 7.5
        text(ctx, legend, w / 2, inset + dy + kh - 4.2, size, ink)


def key_strip(w, h, style, legend=None):
    return strip([render(w, h, lambda ctx, lit=lit, p=p: draw_key(ctx, w, h, style, lit, p, legend))
                  for lit, p in ((False, False), (False, True), (True, False), (True, True))])


def kick_strip(w, h, style, legend=None):
    return strip([render(w, h, lambda ctx, p=p: draw_key(ctx, w, h, style, False, p, legend)) for p in (False, True)])


def draw_segmented(ctx, w, h, labels, active):
    ctx.set_source_rgba(0, 0, 0, 0.45)
    rounded(ctx, 0.5, 1.2, w - 1, h - 1.2, 3.5)
    ctx.fill()
    ctx.set_source(vgradient(0.5, h - 1, [(0, hexc('141517')), (1, hexc('1B1C1F'))]))
    rounded(ctx, 0.5, 0.5, w - 1, h - 1.5, 3.5)
    ctx.fill()
    half = (w - 1) / 2
    sx = 0.5 + (half if active else 0)
    ctx.set_source(vgradient(1.5, h - 2, [(0, hexc('4A4E55')), (1, hexc('34373C'))]))
    rounded(ctx, sx + 1, 1.5, half - 2, h - 3.5, 2.6)
    ctx.fill()
    ctx.set_source_rgba(*AMBER)
    rounded(ctx, sx + half / 2 - 5, h - 4.6, 10, 1.4, 0.7)
    ctx.fill()
    for i, label in enumerate(labels):
        cx = 0.5 + half * i + half / 2
        on = (i == 1) == bool(active)
        text(ctx, label, cx, h / 2 + 1.4, 7.2, LABEL if on else hexc('6F7278'), spacing=0.2)


def segmented_strip(w, h, labels):
    return strip([render(w, h, lambda ctx, a=a: draw_segmented(ctx, w, h, labels, a)) for a in (0, 1)])


# Seven segments on a unit cell 10 x 18, slanted a little: a b c d e f g.
SEGMENTS = {
    'a': [(2.0, 1.0), (8.0, 1.0), (6.8, 2.4), (3.2, 2.4)],
    'b': [(8.4, 1.6), (8.4, 8.6), (7.2, 7.8), (7.2, 2.8)],
    'c': [(8.4, 9.4), (8.4, 16.4), (7.2, 15.2), (7.2, 10.2)],
    'd': [(2.0, 17.0), (8.0, 17.0), (6.8, 15.6), (3.2, 15.6)],
    'e': [(1.6, 9.4), (1.6, 16.4), (2.8, 15.2), (2.8, 10.2)],
    'f': [(1.6, 1.6), (1.6, 8.6), (2.8, 7.8), (2.8, 2.8)],
    'g': [(2.2, 9.0), (3.2, 8.3), (6.8, 8.3), (7.8, 9.0), (6.8, 9.7), (3.2, 9.7)],
}
DIGIT_SEGMENTS = ['abcdef', 'bc', 'abged', 'abgcd', 'fgbc', 'afgcd', 'afgedc', 'abc', 'abcdefg', 'abcdfg']


def draw_digit(ctx, w, h, d):
    ctx.set_source_rgba(*WINDOW)
    ctx.rectangle(0, 0, w, h)
    ctx.fill()
    sx, sy = (w - 2) / 10.0, (h - 3) / 18.0
    lit = DIGIT_SEGMENTS[d]

    def path(seg):
        pts = SEGMENTS[seg]
        for i, (x, y) in enumerate(pts):
            px = 1 + x * sx + (9 - y) * 0.07 * sx  # slant
            py = 1.5 + y * sy
            (ctx.move_to if i == 0 else ctx.line_to)(px, py)
        ctx.close_path()

    for seg in 'abcdefg':
        if seg not in lit:
            path(seg)
            ctx.set_source_rgba(*hexc('22180E'))
            ctx.fill()
    for seg in lit:
        path(seg)
        ctx.set_source_rgba(AMBER[0], AMBER[1], AMBER[2], 0.35)
        ctx.set_line_width(1.6)
        ctx.stroke_preserve()
        ctx.set_source_rgba(*AMBER)
        ctx.fill()


def digit_strip(w, h):
    return strip([render(w, h, lambda ctx, d=d: draw_digit(ctx, w, h, d)) for d in range(10)])


def draw_rocker(ctx, w, h, state):
    # state 0: top half pressed (the number goes up), 1: at rest, 2: bottom half pressed.
    ctx.set_source_rgba(0, 0, 0, 0.5)
    rounded(ctx, 1, 1.8, w - 2, h - 2.4, 3)
    ctx.fill()
    ctx.set_source(vgradient(1, h - 1.5, [(0, hexc('464A50')), (1, hexc('2C2E33'))]))
    rounded(ctx, 1, 1, w - 2, h - 2.6, 3)
    ctx.fill()
    mid = (h - 1.6) / 2 + 0.5
    for half in (0, 2):
        y0 = 1 if half == 0 else mid
        y1 = mid if half == 0 else h - 1.6
        if state == half:
            ctx.set_source_rgba(0, 0, 0, 0.32)
            ctx.rectangle(1, y0, w - 2, y1 - y0)
            ctx.save()
            rounded(ctx, 1, 1, w - 2, h - 2.6, 3)
            ctx.clip()
            ctx.rectangle(1, y0, w - 2, y1 - y0)
            ctx.fill()
            ctx.restore()
        cy = (y0 + y1) / 2
        col = AMBER if state == half else hexc('B4B6BA')
        ctx.set_source_rgba(*col)
        up = half == 0
        ctx.move_to(w / 2 - 3.2, cy + (1.6 if up else -1.6))
        ctx.line_to(w / 2 + 3.2, cy + (1.6 if up else -1.6))
        ctx.line_to(w / 2, cy + (-2.0 if up else 2.0))
        ctx.close_path()
        ctx.fill()
    ctx.set_source_rgba(0, 0, 0, 0.6)
    ctx.set_line_width(0.8)
    ctx.move_to(2, mid)
    ctx.line_to(w - 2, mid)
    ctx.stroke()


def rocker_strip(w, h):
    return strip([render(w, h, lambda ctx, s=s: draw_rocker(ctx, w, h, s)) for s in range(3)])


def draw_menu_button(ctx, w, h, label, lit, pressed):
    dy = 0.8 if pressed else 0
    ctx.set_source_rgba(0, 0, 0, 0.5)
    rounded(ctx, 0.5, 1.4, w - 1, h - 1.6, 4)
    ctx.fill()
    ctx.set_source(vgradient(dy, h - 1 + dy, [(0, hexc('3C4046')), (1, hexc('2A2C31'))]))
    rounded(ctx, 0.5, 0.5 + dy, w - 1, h - 2, 4)
    ctx.fill()
    ctx.set_line_width(1)
    ctx.set_source_rgba(*(AMBER if lit else hexc('4C5057')))
    rounded(ctx, 1, 1 + dy, w - 2, h - 3, 3.5)
    ctx.stroke()
    ink = AMBER_HOT if lit else LABEL
    tw = text_width(ctx, label, 8, spacing=0.6)
    x = (w - tw - 9) / 2
    text(ctx, label, x, h / 2 + 2.6 + dy, 8, ink, align='left', spacing=0.6)
    # A small downward arrow: these open menus.
    ax, ay = x + tw + 5, h / 2 + dy
    ctx.set_source_rgba(*ink)
    ctx.move_to(ax - 2.6, ay - 1.0)
    ctx.line_to(ax + 2.6, ay - 1.0)
    ctx.line_to(ax, ay + 1.8)
    ctx.close_path()
    ctx.fill()


def menu_strip(w, h, label):
    return strip([render(w, h, lambda ctx, lit=lit, p=p: draw_menu_button(ctx, w, h, label, lit, p))
                  for lit, p in ((False, False), (False, True), (True, False), (True, True))])


def menu_kick_strip(w, h, label):
    return strip([render(w, h, lambda ctx, p=p: draw_menu_button(ctx, w, h, label, False, p)) for p in (False, True)])


def draw_window(ctx, x, y, w, h, r=3):
    """An inset display window on the panel."""
    ctx.set_source_rgba(1, 1, 1, 0.06)
    rounded(ctx, x - 1, y - 1, w + 2, h + 2.4, r + 1)
    ctx.fill()
    ctx.set_source_rgba(0, 0, 0, 0.85)
    rounded(ctx, x - 1, y - 1.2, w + 2, h + 2, r + 1)
    ctx.fill()
    ctx.set_source_rgba(*WINDOW)
    rounded(ctx, x, y, w, h, r)
    ctx.fill()


# ---------------------------------------------------------------------------------------------
# The default skin's panel


W, H = 800, 420
SKIN = 'RededazadEdadar2'
KNOB = 50        # standard knob
KNOB_BIG = 62    # cutoff and resonance
KNOB_SMALL = 40  # shuffle
KEY_W, KEY_H = 34, 30
DIGIT_W, DIGIT_H = 17, 28
LED = 12


class Panel:
    """The default skin's layout: every element with its rectangle and image, and what the
    background prints around it."""

    def __init__(self):
        self.elements = []   # (tag, file, x, y, w, h)
        self.images = {}     # file -> image
        self.labels = []     # (text, x, y, size, colour, align, spacing)
        self.groups = []     # (title, x, y, w, h)
        self.windows = []    # (x, y, w, h)
        self.knob_marks = [] # (cx, cy, radius, bipolar)
        self.preview = {}    # tag -> frame shown in the preview

    def add(self, tag, file, x, y, w, h, image=None, frame=0):
        if image is not None and file not in self.images:
            self.images[file] = image
        self.elements.append((tag, file, int(round(x)), int(round(y)), w, h))
        self.preview[tag] = frame

    def label(self, s, x, y, size=8.5, colour=LABEL, align='center', spacing=0.5):
        self.labels.append((s, x, y, size, colour, align, spacing))


def build_panel():
    p = Panel()
    d = SKIN + '/'

    # Header: logo (the about area), pattern file, menus, MIDI light.
    p.add('SPLASH', d + 'about.png', 16, 6, 178, 34, about_picture())
    p.add('PATCHBUTTON', d + 'button_files.png', 300, 12, 58, 20, menu_kick_strip(58, 20, 'FILES'))
    p.add('PATCHDISPLAY', d + 'display_name.png', 364, 12, 196, 20,
          render(196, 20, lambda ctx: (ctx.set_source_rgba(*PANEL_DARK), ctx.paint(), draw_window(ctx, 1, 1, 194, 18))))
    p.add('PATTERNMENU', d + 'button_pattern.png', 578, 12, 84, 20, menu_strip(84, 20, 'PATTERN'))
    p.add('OPTIONMENU', d + 'button_options.png', 670, 12, 84, 20, menu_strip(84, 20, 'OPTIONS'))
    p.add('MIDILED', d + 'led.png', 766, 16, LED, LED, led_strip(), frame=1)
    p.label('MIDI', 772, 38, size=6.5, colour=MUTED, spacing=0.4)

    # Sound: four groups in one row.
    top, gh = 54, 112
    knob_y = top + 16
    groups = [('OSCILLATOR', 18, 128), ('FILTER', 154, 156), ('ENVELOPE', 318, 192), ('OUTPUT', 518, 264)]
    for title, x, w in groups:
        p.groups.append((title, x, top, w, gh))

    knob_strips = {}

    def knob(tag, name, cx, size, value, bipolar=False):
        key = (size, bipolar)
        file = d + ('knob%d%s.png' % (size, '_centre' if bipolar else ''))
        if key not in knob_strips:
            knob_strips[key] = knob_strip(size, bipolar=bipolar)
        cy = knob_y + KNOB_BIG / 2
        x, y = cx - size // 2, int(cy - size / 2)
        p.add(tag, file, x, y, size, size, knob_strips[key], frame=int(value * 100))
        p.knob_marks.append((x + size / 2, y + size / 2, size / 2 - 2.2, bipolar))
        p.label(name, cx, top + gh - 14)

    def switch(tag, file, labels, title, cx, y, on):
        w, h = 60, 17
        p.add(tag, d + file, cx - w // 2, y, w, h, segmented_strip(w, h, labels), frame=1 if on else 0)
        p.label(title, cx, y - 5, size=7, colour=MUTED)

    knob('TUNINGKNOB', 'TUNE', 18 + 36, KNOB, 0.5, bipolar=True)
    switch('WAVEFORMSWITCH', 'switch_wave.png', ('SAW', 'SQR'), 'WAVE', 18 + 96, knob_y + 24, False)
    knob('CUTOFFKNOB', 'CUTOFF', 154 + 40, KNOB_BIG, 0.42)
    knob('RESONANCEKNOB', 'RESONANCE', 154 + 116, KNOB_BIG, 0.71)
    knob('ENVMODKNOB', 'ENV MOD', 318 + 34, KNOB, 0.55)
    knob('DECAYKNOB', 'DECAY', 318 + 96, KNOB, 0.35)
    knob('ACCENTKNOB', 'ACCENT', 318 + 158, KNOB, 0.62)
    knob('DRIVEKNOB', 'DRIVE', 518 + 34, KNOB, 0.3)
    knob('DISTORTKNOB', 'DISTORTION', 518 + 98, KNOB, 0.24)
    switch('DISTORTIONSWITCH', 'switch_dist.png', ('SAT', 'FOLD'), 'DIST TYPE', 518 + 165, knob_y + 8, False)
    switch('HIGHPASS_SWITCH', 'switch_hpf.png', ('OFF', 'ON'), 'HIGH-PASS', 518 + 165, knob_y + 46, True)
    knob('VOLUMEKNOB', 'VOLUME', 518 + 230, KNOB, 0.78)

    # Sequencer: displays with rockers, shuffle and triplet, play modes.
    stop, sh = 176, 96
    p.groups.append(('SEQUENCER', 18, stop, 764, sh))
    digits = digit_strip(DIGIT_W, DIGIT_H)
    win_h = DIGIT_H + 10
    rocker = rocker_strip(16, win_h)
    wy = stop + 22

    def display(host, rocker_tag, digit_tags, title, x, value):
        n = len(digit_tags)
        ww = n * DIGIT_W + (n - 1) * 2 + 10
        p.windows.append((x, wy, ww, win_h))
        p.label(title, x + ww / 2 + (10 if rocker_tag else 0), wy - 6, size=7.5, colour=MUTED, spacing=0.6)
        text_digits = str(value).rjust(n, '0')
        for i, t in enumerate(digit_tags):
            p.add(t, d + 'digits.png', x + 5 + i * (DIGIT_W + 2), wy + 5, DIGIT_W, DIGIT_H, digits,
                  frame=int(text_digits[i]))
        p.add(host, d + 'digits.png', x, wy, ww, win_h)
        if rocker_tag:
            p.add(rocker_tag, d + 'rocker.png', x + ww + 4, wy, 16, win_h, rocker, frame=1)
        return x + ww + (20 if rocker_tag else 0)

    gap = 58
    x = 40
    end = display('PATTERNDIGITS', 'PATTERNROCKER', ['PATTERNDIGITS100', 'PATTERNDIGITS10', 'PATTERNDIGITS1'],
                  'PATTERN', x, 1)
    switch('MODESWITCH', 'switch_midi.png', ('PATT', 'NOTE'), 'MIDI IN', (x + end) / 2, wy + win_h + 16, False)
    x = end + gap
    end = display('TEMPODIGITS', 'TEMPOROCKER', ['TEMPODIGITS100', 'TEMPODIGITS10', 'TEMPODIGITS1'], 'TEMPO', x, 128)
    switch('SYNCSWITCH', 'switch_sync.png', ('INT', 'HOST'), 'SYNC', (x + end) / 2, wy + win_h + 16, False)
    x = end + gap
    end = display('STEPSDIGITS', 'STEPSROCKER', ['STEPSDIGITS10', 'STEPSDIGITS1'], 'LENGTH', x, 16)
    cx = (x + end) / 2
    p.add('ILLUBUTTON21', d + 'key_shorter.png', int(cx) - 30, wy + win_h + 8, 28, 24,
          key_strip(28, 24, 'func', '\u2212'))
    p.add('ILLUBUTTON22', d + 'key_longer.png', int(cx) + 2, wy + win_h + 8, 28, 24, key_strip(28, 24, 'func', '+'))
    x = end + gap
    end = display('STEPDISPLAY', None, ['STEPDIGITS10', 'STEPDIGITS1'], 'STEP', x, 1)
    x = end + gap
    kx = x + KNOB_SMALL // 2
    p.add('SHUFFLEKNOB', d + 'knob%d.png' % KNOB_SMALL, x, wy - 4, KNOB_SMALL, KNOB_SMALL, knob_strip(KNOB_SMALL),
          frame=20)
    p.knob_marks.append((kx, wy - 4 + KNOB_SMALL / 2, KNOB_SMALL / 2 - 2.2, False))
    p.label('SHUFFLE', kx, wy + win_h + 20, size=7.5, colour=LABEL)
    x += KNOB_SMALL + gap
    p.add('TRIPLETILLUBUTTON', d + 'key_func.png', x, wy + 2, KEY_W, KEY_H, key_strip(KEY_W, KEY_H, 'func'))
    p.add('TRIPLETLED', d + 'led.png', x + KEY_W + 4, wy + 11, LED, LED)
    p.label('TRIPLET', x + KEY_W / 2 + 6, wy + win_h + 20, size=7.5, colour=LABEL)

    # Step keys: transport, a one-octave keyboard, the step's flags, two function keys.
    ktop, kh = 282, 130
    p.groups.append(('STEP PROGRAMMING', 18, ktop, 764, kh))
    row1, row2 = ktop + 30, ktop + 82
    func = key_strip(KEY_W, KEY_H, 'func')

    def fkey(tag, name, x, y, w=KEY_W, frame=0, kick=False):
        if kick:
            p.add(tag, d + 'key_kick%d.png' % w, x, y, w, KEY_H, kick_strip(w, KEY_H, 'func'))
        else:
            file = d + ('key_func.png' if w == KEY_W else 'key_func%d.png' % w)
            p.add(tag, file, x, y, w, KEY_H, func if w == KEY_W else key_strip(w, KEY_H, 'func'), frame=frame)
        p.label(name, x + w / 2, y - 6, size=7.5)

    fkey('ILLUBUTTON15', 'RUN / STOP', 34, row1, w=56, frame=2)
    fkey('B_PATTERNCLEAR', 'CLEAR', 34, row2, w=56, kick=True)

    kx0 = 128
    step = KEY_W + 6
    whites = ['C', 'D', 'E', 'F', 'G', 'A', 'B', 'C']
    white_index = [0, 2, 4, 5, 7, 9, 11, 12]
    blacks = {1: ('C#', 0), 3: ('D#', 1), 6: ('F#', 3), 8: ('G#', 4), 10: ('A#', 5)}
    for i, (name, semitone) in enumerate(zip(whites, white_index)):
        x = kx0 + i * step
        file = d + 'key_white_%s.png' % (name.lower() + ('2' if i == 7 else ''))
        p.add('ILLUBUTTON%d' % (semitone + 1), file, x, row2, KEY_W, KEY_H, key_strip(KEY_W, KEY_H, 'white', name),
              frame=2 if semitone == 0 else 0)
        p.add('NOTELED%d' % (semitone + 1), d + 'led.png', x + KEY_W // 2 - LED // 2, row2 - LED - 2, LED, LED,
              frame=1 if semitone == 0 else 0)
    for semitone, (name, after) in blacks.items():
        x = kx0 + after * step + step // 2
        file = d + 'key_black_%s.png' % name[0].lower()
        p.add('ILLUBUTTON%d' % (semitone + 1), file, x, row1, KEY_W, KEY_H, key_strip(KEY_W, KEY_H, 'black', name))
        p.add('NOTELED%d' % (semitone + 1), d + 'led.png', x + KEY_W // 2 - LED // 2, row1 - LED - 2, LED, LED)

    fx = kx0 + 8 * step + 36
    fkey('ILLUBUTTON17', 'DOWN', fx, row1)
    fkey('ILLUBUTTON18', 'UP', fx + step, row1, frame=2)
    fkey('ILLUBUTTON19', 'ACCENT', fx + 2 * step, row1, frame=2)
    fkey('ILLUBUTTON20', 'SLIDE', fx + 3 * step, row1)
    fkey('ILLUBUTTON14', 'WRITE', fx, row2)
    fkey('ILLUBUTTON16', 'GATE', fx + step, row2, frame=2)
    fkey('B_BACK', 'BACK', fx + 2 * step, row2, kick=True)
    fkey('B_NEXT', 'NEXT', fx + 3 * step, row2, kick=True)

    gx = fx + 4 * step + 40
    fkey('ILLUBUTTON23', 'FN 1', gx, row1)
    fkey('ILLUBUTTON24', 'FN 2', gx, row2)
    p.add('FUNCTIONLED1', d + 'led.png', gx + KEY_W + 5, row1 + 9, LED, LED)
    p.add('FUNCTIONLED2', d + 'led.png', gx + KEY_W + 5, row2 + 9, LED, LED)

    # Learn labels take their backdrop from here; the editor places them over the controls.
    p.add('MIDICCBOX', d + 'learn.png', 0, H - 13, 60, 13, learn_backdrop())
    return p


def learn_backdrop():
    def draw(ctx):
        ctx.set_source_rgba(*hexc('101113'))
        ctx.rectangle(0, 0, 60, 13)
        ctx.fill()
    return render(60, 13, draw)


def draw_logo(ctx, x, y, big=1.0):
    """KELO in the accent colour with the maker's name; (x, y) is the word's baseline start."""
    text(ctx, 'KELO', x, y, 27 * big, AMBER, align='left', spacing=1.5 * big)
    w = text_width(ctx, 'KELO', 27 * big, spacing=1.5 * big)
    text(ctx, 'ORVANTA', x + w + 10 * big, y - 11 * big, 8 * big, LABEL, align='left', spacing=1.6 * big)
    text(ctx, 'ACID BASS LINE', x + w + 10 * big, y - 1 * big, 7 * big, MUTED, align='left', spacing=1.0 * big)


def draw_panel_background(ctx, p):
    # Graphite with a faint vertical grain: one brightness per column (compresses well).
    ctx.set_source_rgba(*PANEL)
    ctx.paint()
    rng = random.Random(303)
    for x in range(W * SCALE):
        dv = (rng.random() - 0.5) * 0.018
        ctx.set_source_rgba(1 if dv > 0 else 0, 1 if dv > 0 else 0, 1 if dv > 0 else 0, abs(dv))
        ctx.rectangle(x / SCALE, 0, 1 / SCALE, H)
        ctx.fill()
    ctx.set_source(vgradient(0, H, [(0, (1, 1, 1, 0.035)), (0.5, (1, 1, 1, 0)), (1, (0, 0, 0, 0.18))]))
    ctx.paint()
    # Header band.
    ctx.set_source_rgba(0, 0, 0, 0.28)
    ctx.rectangle(0, 0, W, 44)
    ctx.fill()
    ctx.set_source_rgba(*AMBER)
    ctx.rectangle(0, 0, W, 1.5)
    ctx.fill()
    ctx.set_source_rgba(1, 1, 1, 0.05)
    ctx.rectangle(0, 44, W, 1)
    ctx.fill()
    ctx.set_source_rgba(0, 0, 0, 0.5)
    ctx.rectangle(0, 43, W, 1)
    ctx.fill()
    draw_logo(ctx, 22, 33)
    # Framed groups with their headings in a gap of the top line.
    for title, x, y, w, h in p.groups:
        ctx.set_line_width(1)
        ctx.set_source_rgba(*LINE)
        tw = text_width(ctx, title, 8, spacing=1.2)
        gx0, gx1 = x + 10, x + 10 + tw + 10
        ctx.move_to(gx0, y + 0.5)
        ctx.line_to(x + 4.5, y + 0.5)
        ctx.arc_negative(x + 4.5, y + 4.5, 4, -math.pi / 2, -math.pi)
        ctx.line_to(x + 0.5, y + h - 4.5)
        ctx.arc_negative(x + 4.5, y + h - 4.5, 4, math.pi, math.pi / 2)
        ctx.line_to(x + w - 4.5, y + h - 0.5)
        ctx.arc_negative(x + w - 4.5, y + h - 4.5, 4, math.pi / 2, 0)
        ctx.line_to(x + w - 0.5, y + 4.5)
        ctx.arc_negative(x + w - 4.5, y + 4.5, 4, 0, -math.pi / 2)
        ctx.line_to(gx1, y + 0.5)
        ctx.stroke()
        text(ctx, title, gx0 + 5, y + 3.5, 8, HEADING, align='left', spacing=1.2)
    for x, y, w, h in p.windows:
        draw_window(ctx, x, y, w, h)
    # Scale dots at both ends of each knob's travel (and the centre of a centred one).
    for cx, cy, r, bipolar in p.knob_marks:
        for v in ((0.0, 0.5, 1.0) if bipolar else (0.0, 1.0)):
            a = knob_angle(v)
            rr = r + 4.0
            ctx.set_source_rgba(*MUTED)
            ctx.arc(cx + math.cos(a) * rr, cy + math.sin(a) * rr, 0.9, 0, 2 * math.pi)
            ctx.fill()
    for s, x, y, size, colour, align, spacing in p.labels:
        text(ctx, s, x, y, size, colour, align=align, spacing=spacing)
    # The panel's edges catch the light from the top left.
    ctx.set_line_width(1)
    ctx.set_source_rgba(1, 1, 1, 0.07)
    ctx.move_to(0.5, H)
    ctx.line_to(0.5, 1.5)
    ctx.stroke()
    ctx.set_source_rgba(0, 0, 0, 0.55)
    ctx.move_to(W - 0.5, 1.5)
    ctx.line_to(W - 0.5, H - 0.5)
    ctx.line_to(0, H - 0.5)
    ctx.stroke()


def about_picture(w=337, h=230):
    """The about box: the logo, a filter sweep, and room for the version text at (17, 160)
    and a line below (17, 126)."""

    def draw(ctx):
        ctx.set_source(vgradient(0, h, [(0, hexc('24262A')), (1, hexc('141517'))]))
        ctx.paint()
        ctx.set_source_rgba(*AMBER)
        ctx.rectangle(0, 0, w, 2)
        ctx.fill()
        # A resonant low-pass response, drawn as the instrument's emblem.
        ctx.set_line_width(1.6)
        for i, alpha in enumerate((0.9, 0.35, 0.18)):
            ctx.set_source_rgba(AMBER[0], AMBER[1], AMBER[2], alpha)
            peak = 0.62 - i * 0.12
            for k in range(0, 281):
                f = k / 280.0
                q = 3.6 - i * 0.8
                g = 1.0 / math.sqrt((1 - (f / peak) ** 2) ** 2 + (f / peak / q) ** 2)
                yv = 116 - g * 8
                xv = 28 + f * 281
                (ctx.move_to if k == 0 else ctx.line_to)(xv, yv)
            ctx.stroke()
        draw_logo(ctx, 28, 60, big=1.25)
        ctx.set_source_rgba(1, 1, 1, 0.08)
        ctx.rectangle(17, 150, w - 34, 1)
        ctx.fill()
        text(ctx, 'MONOPHONIC BASS SYNTHESIZER  ·  64-STEP SEQUENCER', w / 2, 214, 7, MUTED, spacing=0.6)
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        ctx.rectangle(0.5, 0.5, w - 1, h - 1)
        ctx.stroke()

    return render(w, h, draw)


# ---------------------------------------------------------------------------------------------
# Module resources (fixed names and sizes)


def resources():
    out = {}

    def bug_frame(k):
        def draw(ctx):
            # A small beetle seen from above, legs alternating.
            ctx.set_source_rgba(*hexc('2A1C10'))
            ctx.set_line_width(0.9)
            for side in (-1, 1):
                for j, lx in enumerate((5.5, 8.5, 11.5)):
                    swing = (1.4 if (j + k) % 2 == 0 else -1.4) * side
                    ctx.move_to(lx, 5.5)
                    ctx.line_to(lx + swing, 5.5 + side * 4.6)
                    ctx.stroke()
            ctx.set_source_rgba(*AMBER)
            ctx.save()
            ctx.translate(8.5, 5.5)
            ctx.scale(4.6, 3.2)
            ctx.arc(0, 0, 1, 0, 2 * math.pi)
            ctx.restore()
            ctx.fill()
            ctx.set_source_rgba(*hexc('2A1C10'))
            ctx.arc(3.6, 5.5, 1.9, 0, 2 * math.pi)
            ctx.fill()
            ctx.set_line_width(0.6)
            ctx.move_to(8.5, 2.4)
            ctx.line_to(8.5, 8.6)
            ctx.stroke()
        return render(16, 11, draw)

    out['bug.png'] = strip([bug_frame(k) for k in range(3)])

    def checkbox(checked, hot):
        def draw(ctx):
            ctx.set_source_rgba(*hexc('3C3C3C' if not hot else '4A4A4A'))
            rounded(ctx, 0.5, 0.5, 10, 10, 2)
            ctx.fill()
            ctx.set_source_rgba(*hexc('5A5A5A'))
            ctx.set_line_width(1)
            rounded(ctx, 0.5, 0.5, 10, 10, 2)
            ctx.stroke()
            if checked:
                ctx.set_source_rgba(*AMBER)
                ctx.set_line_width(1.6)
                ctx.set_line_cap(cairo.LINE_CAP_ROUND)
                ctx.move_to(3, 3)
                ctx.line_to(8, 8)
                ctx.move_to(8, 3)
                ctx.line_to(3, 8)
                ctx.stroke()
        return render(11, 11, draw)

    out['CheckBox.png'] = strip([checkbox(False, False), checkbox(True, False), checkbox(False, True),
                                 checkbox(True, True)])

    def close(pressed):
        def draw(ctx):
            dy = 1 if pressed else 0
            ctx.set_source_rgba(0, 0, 0, 0.5)
            ctx.arc(21, 22.5, 16, 0, 2 * math.pi)
            ctx.fill()
            ctx.set_source(vgradient(5, 37, [(0, hexc('4A4E55' if not pressed else '3A3D42')), (1, hexc('2A2C31'))]))
            ctx.arc(21, 21 + dy, 16, 0, 2 * math.pi)
            ctx.fill()
            ctx.set_source_rgba(*(AMBER if pressed else LABEL))
            ctx.set_line_width(2.4)
            ctx.set_line_cap(cairo.LINE_CAP_ROUND)
            ctx.move_to(15, 15 + dy)
            ctx.line_to(27, 27 + dy)
            ctx.move_to(27, 15 + dy)
            ctx.line_to(15, 27 + dy)
            ctx.stroke()
        return render(42, 42, draw)

    out['closebutton.png'] = strip([close(False), close(True)])

    def gradient(ctx):
        ctx.set_source(vgradient(0, 200, [(0, hexc('26282C')), (1, hexc('121315'))]))
        ctx.paint()
    out['gradient512x200.png'] = render(512, 200, gradient)

    def hline(ctx):
        ctx.set_source_rgba(0, 0, 0, 0.6)
        ctx.rectangle(0, 0, 605, 1)
        ctx.fill()
        ctx.set_source_rgba(1, 1, 1, 0.08)
        ctx.rectangle(0, 1, 605, 1)
        ctx.fill()
    out['horizontalline.png'] = render(605, 2, hline)

    def hslider(ctx):
        ctx.set_source_rgba(*WINDOW)
        rounded(ctx, 0.5, 5.5, 63, 5, 2.5)
        ctx.fill()
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        rounded(ctx, 0.5, 5.5, 63, 5, 2.5)
        ctx.stroke()
    out['hsliderback.png'] = render(64, 16, hslider)

    def vslider(ctx):
        ctx.set_source_rgba(*WINDOW)
        rounded(ctx, 5.5, 0.5, 5, 63, 2.5)
        ctx.fill()
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        rounded(ctx, 5.5, 0.5, 5, 63, 2.5)
        ctx.stroke()
    out['vsliderback.png'] = render(16, 64, vslider)

    def pill(ctx):
        ctx.set_source(vgradient(0, 15, [(0, hexc('4A4E55')), (1, hexc('2E3035'))]))
        rounded(ctx, 0.5, 0.5, 31, 14, 7)
        ctx.fill()
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        rounded(ctx, 0.5, 0.5, 31, 14, 7)
        ctx.stroke()
    out['pillbutton.png'] = render(32, 15, pill)

    def prefs(ctx):
        ctx.set_source(vgradient(0, 320, [(0, hexc('25272B')), (1, hexc('18191C'))]))
        ctx.paint()
        ctx.set_source_rgba(0, 0, 0, 0.25)
        ctx.rectangle(0, 0, 620, 36)
        ctx.fill()
        ctx.set_source_rgba(*AMBER)
        ctx.rectangle(0, 0, 620, 1.5)
        ctx.fill()
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        ctx.rectangle(0.5, 0.5, 619, 319)
        ctx.stroke()
    out['preferencesback.png'] = render(620, 320, prefs)

    def slider_knob(ctx):
        ctx.set_source_rgba(0, 0, 0, 0.5)
        ctx.arc(8, 8.8, 6.6, 0, 2 * math.pi)
        ctx.fill()
        g = cairo.RadialGradient(6, 5.5, 0, 8, 8, 7)
        g.add_color_stop_rgba(0, *hexc('5A5E66'))
        g.add_color_stop_rgba(1, *hexc('2A2C31'))
        ctx.set_source(g)
        ctx.arc(8, 8, 6.2, 0, 2 * math.pi)
        ctx.fill()
        ctx.set_source_rgba(*AMBER)
        ctx.arc(8, 8, 1.6, 0, 2 * math.pi)
        ctx.fill()
    out['sliderknob.png'] = render(16, 16, slider_knob)

    def spin(ctx):
        ctx.set_source_rgba(*WINDOW)
        rounded(ctx, 0.5, 0.5, 66, 17, 3)
        ctx.fill()
        ctx.set_source_rgba(*LINE)
        ctx.set_line_width(1)
        rounded(ctx, 0.5, 0.5, 66, 17, 3)
        ctx.stroke()
        ctx.set_source_rgba(*MUTED)
        for up in (True, False):
            cy = 6 if up else 12
            ctx.move_to(57, cy + (1.5 if up else -1.5))
            ctx.line_to(63, cy + (1.5 if up else -1.5))
            ctx.line_to(60, cy + (-1.8 if up else 1.8))
            ctx.close_path()
            ctx.fill()
    out['spinbox.png'] = render(67, 18, spin)

    out['splashscreen.png'] = about_picture()
    out['trimknob.png'] = knob_strip(33, frames=89)
    return out


# Resource names are the file names in capitals.
RESOURCE_SIZES = {
    'BUG.PNG': (16, 33), 'CHECKBOX.PNG': (11, 44), 'CLOSEBUTTON.PNG': (42, 84), 'GRADIENT512X200.PNG': (512, 200),
    'HORIZONTALLINE.PNG': (605, 2), 'HSLIDERBACK.PNG': (64, 16), 'PILLBUTTON.PNG': (32, 15),
    'PREFERENCESBACK.PNG': (620, 320), 'SLIDERKNOB.PNG': (16, 16), 'SPINBOX.PNG': (67, 18),
    'SPLASHSCREEN.PNG': (337, 230), 'TRIMKNOB.PNG': (33, 2937), 'VSLIDERBACK.PNG': (16, 64),
}

# ---------------------------------------------------------------------------------------------
# The test skin


TEST_W, TEST_H = 1000, 620


def test_colour(tag, k):
    return (tag % 256, 32 * (tag // 256) + 16, 2 * k + 1)


def test_strip(tag, w, h, frames):
    img = Image.new('RGB', (w, h * frames))
    for k in range(frames):
        img.paste(test_colour(tag, k), (0, k * h, w, (k + 1) * h))
    return img


def build_test_skin():
    """Every tag the editor makes a control from, in rows of like controls."""
    tags = {name: tid for name, tid in TAG_TABLE}
    elements = []  # (name, file, x, y, w, h, image)
    x, y, row_h = 8, 8, 0

    def place(name, w, h, frames, file=None, image=True):
        nonlocal x, y, row_h
        if x + w > TEST_W - 8:
            x, y, row_h = 8, y + row_h + 8, 0
        tid = tags[name]
        f = file or 'EveryTag/%s.png' % name.lower()
        img = test_strip(tid, w, h, frames) if image else None
        elements.append((name, f, x, y, w, h, img))
        x += w + 6
        row_h = max(row_h, h)
        return elements[-1]

    def newline():
        nonlocal x, y, row_h
        x, y, row_h = 8, y + row_h + 10, 0

    for n in ['TUNINGKNOB', 'CUTOFFKNOB', 'RESONANCEKNOB', 'ENVMODKNOB', 'DECAYKNOB', 'ACCENTKNOB', 'DRIVEKNOB',
              'DISTORTKNOB', 'VOLUMEKNOB', 'SHUFFLEKNOB']:
        place(n, 40, 40, 101)
    for n in ['WAVEFORMSWITCH', 'DISTORTIONSWITCH', 'HIGHPASS_SWITCH', 'SYNCSWITCH', 'MODESWITCH']:
        place(n, 32, 16, 2)
    newline()
    for n in ['NOTEBUTTON%d' % i for i in range(1, 14)] + ['B_PATTERNCLEAR', 'B_RUNSTOP', 'B_PITCHMODE',
                                                           'B_TIMEMODE', 'B_DOWN', 'B_UP', 'B_ACCENT', 'B_SLIDE',
                                                           'B_BACK', 'B_NEXT']:
        place(n, 30, 20, 2)
    newline()
    for n in ['NOTELED%d' % i for i in range(1, 14)] + ['RUNSTOPLED', 'PITCHMODELED', 'TIMEMODELED', 'DOWNLED',
                                                        'UPLED', 'ACCENTLED', 'SLIDELED', 'TRIPLETLED',
                                                        'FUNCTIONLED1', 'FUNCTIONLED2', 'MIDILED']:
        place(n, 12, 12, 2)
    newline()
    for n in ['ILLUBUTTON%d' % i for i in range(1, 25)] + ['TRIPLETILLUBUTTON', 'OPTIONMENU', 'PATTERNMENU']:
        place(n, 30, 20, 4)
    newline()
    for n in ['TRIPLETBUTTON', 'FUNCTIONBUTTON1', 'FUNCTIONBUTTON2', 'PATCHBUTTON']:
        place(n, 30, 20, 2)
    for n in ['PATTERNROCKER', 'TEMPOROCKER', 'STEPSROCKER']:
        place(n, 16, 30, 3)
    place('PATCHDISPLAY', 160, 18, 1)
    place('MIDICCBOX', 60, 13, 1)
    place('SKINSPLASH', 24, 24, 4)
    place('SPLASH', 60, 40, 1)
    newline()
    # Digit displays: the host element covers its digits, which sit inside it.
    for host, digits in [('PATTERNDIGITS', ['PATTERNDIGITS100', 'PATTERNDIGITS10', 'PATTERNDIGITS1']),
                         ('TEMPODIGITS', ['TEMPODIGITS100', 'TEMPODIGITS10', 'TEMPODIGITS1']),
                         ('STEPSDIGITS', ['STEPSDIGITS10', 'STEPSDIGITS1']),
                         ('STEPDISPLAY', ['STEPDIGITS10', 'STEPDIGITS1'])]:
        host_w = 4 + len(digits) * 14
        _, _, hx, hy, _, _, _ = place(host, host_w, 26, 1)
        for i, dname in enumerate(digits):
            tid = tags[dname]
            elements.append((dname, 'EveryTag/%s.png' % dname.lower(), hx + 2 + i * 14, hy + 2, 12, 22,
                             test_strip(tid, 12, 22, 10)))
    bg = Image.new('RGB', (TEST_W, TEST_H), test_colour(0, 0))
    elements.insert(0, ('BACKGROUND', 'EveryTag/background.png', 0, 0, TEST_W, TEST_H, bg))
    return elements


# The tag table, in the order of editor/SkinTags.h (read from there, so the two never differ).
def read_tag_table(root):
    import re
    src = open(os.path.join(root, 'editor', 'SkinTags.h')).read()
    return [(m.group(1), int(m.group(2))) for m in re.finditer(r'X\((\w+), (\d+)\)', src)]


TAG_TABLE = []

# ---------------------------------------------------------------------------------------------
# Output


def save_png(img, path, palette=True):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if palette:
        if img.mode == 'RGBA' and img.getextrema()[3][0] == 255:
            img = img.convert('RGB')
        colours = img.getcolors(256)
        if colours is not None and img.mode == 'RGB':
            # Few colours: an exact palette.
            img = img.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        else:
            img = img.quantize(256, method=Image.Quantize.LIBIMAGEQUANT, dither=Image.Dither.FLOYDSTEINBERG)
    img.save(path, 'PNG', optimize=True)


def write_skin(path, name, comment, elements, crossfade=0):
    lines = ['; %s' % comment, 'NAME "%s"' % name, 'CROSSFADE %d' % crossfade, '']
    for tag, file, x, y, w, h in elements:
        lines.append('%-20s "%s", %d, %d, %d, %d' % (tag, file, x, y, w, h))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', newline='\n') as f:
        f.write('\n'.join(lines) + '\n')


def compose_preview(panel, background):
    img = background.copy()
    for tag, file, x, y, w, h in panel.elements:
        if tag in ('MIDICCBOX', 'SPLASH', 'PATCHDISPLAY') or tag.endswith('DIGITS') or tag == 'STEPDISPLAY':
            continue
        src = panel.images[file]
        k = panel.preview.get(tag, 0)
        frame = src.crop((0, k * h, w, (k + 1) * h))
        img.alpha_composite(frame, (x, y))
    # The pattern file's name as the editor prints it.
    surf, ctx = new_surface(W, H)
    text(ctx, 'Acid Lines.pat', 370, 26, 11, (1, 1, 1, 1), bold=False, align='left')
    img.alpha_composite(to_image(surf))
    return img


# Folders holding nothing but this script's pictures.
OWNED_FOLDERS = ['data/' + SKIN, 'data/resources', 'tests/data/skins/EveryTag']


def main():
    global TAG_TABLE
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(os.path.dirname(here))
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--out', default=repo, help='root folder to write into (default: the checkout)')
    args = ap.parse_args()
    TAG_TABLE = read_tag_table(repo)
    out = args.out
    # The folders of pictures are this script's alone: what it no longer draws goes.
    for folder in OWNED_FOLDERS:
        path = os.path.join(out, *folder.split('/'))
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if name.endswith('.png'):
                    os.remove(os.path.join(path, name))

    panel = build_panel()
    background = render(W, H, lambda ctx: draw_panel_background(ctx, panel))
    panel.images[SKIN + '/background.png'] = background
    panel.elements.insert(0, ('BACKGROUND', SKIN + '/background.png', 0, 0, W, H))
    for file, img in panel.images.items():
        save_png(img, os.path.join(out, 'data', file))
    write_skin(os.path.join(out, 'data', SKIN + '.skn'), SKIN,
               'RededazadEdadar2: the default skin of KELO (drawn by tools/skin-art/make_skin.py)', panel.elements)
    save_png(compose_preview(panel, background), os.path.join(out, 'docs', 'skin-preview.png'))

    for file, img in resources().items():
        assert img.size == RESOURCE_SIZES[file.upper()], (file, img.size)
        save_png(img, os.path.join(out, 'data', 'resources', file))

    test = build_test_skin()
    for name, file, x, y, w, h, img in test:
        if img is not None:
            save_png(img, os.path.join(out, 'tests', 'data', 'skins', file))
    write_skin(os.path.join(out, 'tests', 'data', 'skins', 'EveryTag.skn'), 'EveryTag',
               'EveryTag: every control tag with flat, self-describing colours (see tools/skin-art/make_skin.py)',
               [e[:6] for e in test])


if __name__ == '__main__':
    main()
