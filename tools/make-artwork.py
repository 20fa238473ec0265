#!/usr/bin/python3
"""Draws the editor's artwork into resources/.

Usage: make-artwork.py [output folder]   (default: the resources folder next to tools/)

Writes Ombrel.png (the two 640x395 page backgrounds side by side), OmbrelAutoLvl.png (50x35) and
OmbrelRnd.png (85x20), each button as two frames: normal, then pressed. The PNGs are committed;
run this again after changing the layout here or the control positions in OmbrelSkin.txt.

Shapes are drawn at four times the size and scaled down for smooth edges; text is drawn at the
final size so that FreeType's anti-aliasing keeps small labels crisp.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

SS = 4  # supersampling factor for shapes
W, H = 640, 395
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# Palette: a dark blue-grey panel, light metal knob caps (the skin's dot is dark), a cyan accent
# that matches the skin's pale blue value text.
BG_TOP, BG_BOTTOM = (40, 45, 54), (18, 20, 25)
PANEL_TOP, PANEL_BOTTOM = (47, 53, 63), (32, 36, 43)
PANEL_EDGE = (64, 72, 84)
ACCENT = (96, 200, 222)
ACCENT_DIM = (52, 112, 128)
LABEL = (176, 186, 198)
LABEL_DIM = (112, 121, 133)
TEXT_BRIGHT = (226, 236, 246)
WELL = (15, 17, 21)

# Control positions, as placed by OmbrelSkin.txt (top-left corner of each 40x40 knob).
DETECTOR = [("Min Freq", 240, 35), ("Max Freq", 305, 35), ("Gate", 370, 35), ("Speed", 435, 35)]
MAIN_LEVEL = ("Main Level", 575, 35)
OSC_COLUMNS = [("Wave", 45), ("Partial", 110), ("Detune", 175), ("Attack", 240),
               ("Release", 305), ("Noise", 370), ("Level", 435)]
OSC_ROWS = [130, 225, 320]
LFO = [("Wave", 510, 165), ("Rate", 510, 250), ("Phase", 575, 165), ("Depth", 575, 250)]
AUTO_LEVEL = (505, 60, 50, 35)
RANDOM = (520, 335, 85, 20)
TABS = [("Synth", 518, 376, 49, 16), ("Info", 578, 376, 49, 16)]
SUPPORT = (535, 75, 85, 30)


def font(size, bold=False):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def rgba(c, alpha=255):
    return tuple(c[:3]) + (alpha,)


def s(v):
    return int(round(v * SS))


def box(x, y, w, h):
    return [s(x), s(y), s(x + w) - 1, s(y + h) - 1]


def vgradient(size, top, bottom):
    w, h = size
    strip = Image.new("RGBA", (1, h))
    for y in range(h):
        strip.putpixel((0, y), rgba(mix(top, bottom, y / max(1, h - 1))))
    return strip.resize((w, h))


def fill_rounded(canvas, x, y, w, h, r, top, bottom):
    mask = Image.new("L", (s(w), s(h)), 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, s(w) - 1, s(h) - 1], s(r), fill=255)
    canvas.paste(vgradient((s(w), s(h)), top, bottom), (s(x), s(y)), mask)


def shadow(canvas, area, shape, blur, alpha, dy=0.0):
    """Blurred dark copy of a shape under what follows; `area` (x, y, w, h) bounds the shape and
    `shape(draw, ox, oy)` draws it on a mask whose origin is (ox, oy) in page coordinates."""
    pad = blur * 3 + abs(dy) + 1
    x, y, w, h = area[0] - pad, area[1] - pad, area[2] + 2 * pad, area[3] + 2 * pad
    mask = Image.new("L", (s(w), s(h)), 0)
    shape(ImageDraw.Draw(mask), x, y - dy)
    mask = mask.filter(ImageFilter.GaussianBlur(blur * SS))
    layer = Image.new("RGBA", mask.size, (0, 0, 0, 0))
    layer.putalpha(mask.point(lambda p: p * alpha // 255))
    canvas.alpha_composite(layer, (s(x), s(y)))


def panel(canvas, x, y, w, h, r=7):
    shadow(canvas, (x, y, w, h), lambda d, ox, oy: d.rounded_rectangle(
        box(x - ox, y - oy, w, h), s(r), fill=255), 2.5, 150, 1.5)
    fill_rounded(canvas, x, y, w, h, r, PANEL_EDGE, mix(PANEL_EDGE, BG_BOTTOM, 0.5))
    fill_rounded(canvas, x + 1, y + 1, w - 2, h - 2, r - 1, PANEL_TOP, PANEL_BOTTOM)
    top_light = Image.new("RGBA", canvas.size, (0, 0, 0, 0))
    ImageDraw.Draw(top_light).line([s(x + r), s(y + 1.5), s(x + w - r), s(y + 1.5)],
                                   fill=(255, 255, 255, 22), width=s(1))
    canvas.alpha_composite(top_light)


def well(canvas, x, y, w, h, r=3):
    """A recessed slot: dark inside, a faint light edge at the bottom."""
    fill_rounded(canvas, x, y, w, h + 1, r, mix(PANEL_BOTTOM, (90, 98, 110), 0.4),
                 mix(PANEL_BOTTOM, (90, 98, 110), 0.4))
    fill_rounded(canvas, x, y, w, h, r, (8, 9, 12), WELL)


def knob_point(cx, cy, r, v):
    a = v * 4.71238898038469 + math.pi / 4  # the knob's own angle law
    return cx - r * math.sin(a), cy + r * math.cos(a)


def knob(canvas, x, y):
    cx, cy = x + 20, y + 20
    d = ImageDraw.Draw(canvas)
    for i in range(11):
        v = i / 10
        inner = 16.0 if i in (0, 5, 10) else 16.8
        a, b = knob_point(cx, cy, inner, v), knob_point(cx, cy, 19.3, v)
        colour = (150, 160, 172) if i in (0, 10) else (92, 101, 114)
        d.line([s(a[0]), s(a[1]), s(b[0]), s(b[1])], fill=rgba(colour), width=s(1.1))
    shadow(canvas, (cx - 14.5, cy - 14.5, 29, 29), lambda dd, ox, oy: dd.ellipse(
        [s(cx - 14.5 - ox), s(cy - 14.5 - oy), s(cx + 14.5 - ox), s(cy + 14.5 - oy)],
        fill=255), 1.8, 200, 2)
    rim = 14.5
    mask = Image.new("L", (s(2 * rim), s(2 * rim)), 0)
    ImageDraw.Draw(mask).ellipse([0, 0, s(2 * rim) - 1, s(2 * rim) - 1], fill=255)
    origin = (s(cx - rim), s(cy - rim))
    canvas.paste(vgradient(mask.size, (120, 127, 137), (58, 63, 71)), origin, mask)
    cap = 13.2
    mask = Image.new("L", (s(2 * cap), s(2 * cap)), 0)
    ImageDraw.Draw(mask).ellipse([0, 0, s(2 * cap) - 1, s(2 * cap) - 1], fill=255)
    canvas.paste(vgradient(mask.size, (236, 240, 245), (164, 171, 181)),
                 (s(cx - cap), s(cy - cap)), mask)
    gloss = Image.new("RGBA", (s(2 * cap), s(2 * cap)), (255, 255, 255, 0))
    ImageDraw.Draw(gloss).ellipse([s(cap - 8), s(cap - 11), s(cap + 8), s(cap - 2)],
                                  fill=(255, 255, 255, 70))
    gloss = gloss.filter(ImageFilter.GaussianBlur(2 * SS))
    canvas.alpha_composite(gloss, (s(cx - cap), s(cy - cap)))


def background_canvas():
    canvas = vgradient((s(W), s(H)), BG_TOP, BG_BOTTOM)
    vignette = Image.new("L", canvas.size, 0)
    ImageDraw.Draw(vignette).ellipse([s(-120), s(-160), s(W + 120), s(H + 140)], fill=255)
    vignette = vignette.filter(ImageFilter.GaussianBlur(60 * SS))
    dark = Image.new("RGBA", canvas.size, (6, 7, 9, 255))
    dark.putalpha(vignette.point(lambda p: (255 - p) * 150 // 255))
    canvas.alpha_composite(dark)
    return canvas


def finish(canvas):
    return canvas.resize((canvas.width // SS, canvas.height // SS), Image.LANCZOS)


# Text, drawn at the final size.

def spaced(d, xy, text, f, fill, spacing=0.0, anchor="mm"):
    """Text with extra letter spacing, placed like ImageDraw.text with the given anchor."""
    if spacing == 0:
        d.text(xy, text, font=f, fill=fill, anchor=anchor)
        return
    width = sum(f.getlength(c) for c in text) + spacing * (len(text) - 1)
    x = xy[0] - width / 2 if anchor[0] == "m" else xy[0]
    for c in text:
        d.text((x, xy[1]), c, font=f, fill=fill, anchor="l" + anchor[1])
        x += f.getlength(c) + spacing


def legend(image, x, y, text):
    """A group title sitting on a panel's top edge."""
    f = font(8, bold=True)
    width = sum(f.getlength(c) for c in text) + 1.2 * (len(text) - 1) + 14
    layer = Image.new("RGBA", (s(W), s(H)), (0, 0, 0, 0))
    ImageDraw.Draw(layer).rounded_rectangle(box(x, y - 6, width, 12), s(6),
                                            fill=rgba(BG_BOTTOM, 255),
                                            outline=rgba(ACCENT_DIM), width=s(1))
    image.alpha_composite(finish(layer))
    spaced(ImageDraw.Draw(image), (x + width / 2, y), text, f, rgba(ACCENT), 1.2)


def knob_label(d, x, y, text, fill=LABEL):
    d.text((x + 20, y - 8), text, font=font(10), fill=rgba(fill), anchor="mm")


def logo(image):
    d = ImageDraw.Draw(image)
    spaced(d, (18, 27), "OMBREL", font(25, bold=True), rgba(TEXT_BRIGHT), 2.5, anchor="lm")
    d.text((19, 47), "pitch-following synth", font=font(10), fill=rgba(LABEL_DIM), anchor="lm")
    # A small sine under the name's last letters, the one ornament.
    layer = Image.new("RGBA", (s(W), s(H)), (0, 0, 0, 0))
    points = [(s(132 + t * 0.4), s(47 - 4 * math.sin(t * math.pi / 20))) for t in range(81)]
    ImageDraw.Draw(layer).line(points, fill=rgba(ACCENT), width=s(1.6), joint="curve")
    image.alpha_composite(finish(layer))


def tabs(image, active):
    canvas = Image.new("RGBA", (s(W), s(H)), (0, 0, 0, 0))
    for i, (_, x, y, w, h) in enumerate(TABS):
        if i == active:
            fill_rounded(canvas, x, y, w, h, 4, (70, 80, 94), (46, 53, 63))
            fill_rounded(canvas, x + 8, y + h - 2, w - 16, 2, 1, ACCENT, ACCENT)
        else:
            fill_rounded(canvas, x, y, w, h, 4, (36, 40, 47), (28, 31, 37))
    image.alpha_composite(finish(canvas))
    d = ImageDraw.Draw(image)
    for i, (text, x, y, w, h) in enumerate(TABS):
        colour = TEXT_BRIGHT if i == active else LABEL_DIM
        d.text((x + w / 2, y + h / 2 - 1), text, font=font(10, bold=i == active),
               fill=rgba(colour), anchor="mm")


def page_synth():
    canvas = background_canvas()
    panel(canvas, 226, 8, 264, 94)  # pitch detector
    panel(canvas, 497, 8, 135, 94)  # output
    panel(canvas, 8, 107, 482, 282)  # oscillators
    panel(canvas, 497, 107, 135, 216)  # LFO
    sep = ImageDraw.Draw(canvas)
    for y in (199.5, 294.5):
        sep.line([s(44), s(y), s(482), s(y)], fill=(10, 12, 15, 255), width=s(1))
        sep.line([s(44), s(y + 1), s(482), s(y + 1)], fill=(70, 78, 90, 255), width=s(1))
    knobs = [(x, y) for _, x, y in DETECTOR] + [MAIN_LEVEL[1:]]
    knobs += [(x, y) for y in OSC_ROWS for name, x in OSC_COLUMNS if not (name == "Partial" and
                                                                         y == OSC_ROWS[0])]
    knobs += [(x, y) for _, x, y in LFO]
    for x, y in knobs:
        well(canvas, x - 10, y + 45, 60, 15)
        knob(canvas, x, y)
    # Oscillator 1 always plays the detected pitch itself: a flat, fixed "x1" in its place.
    fill_rounded(canvas, 116, 136, 28, 28, 14, (24, 27, 32), (30, 34, 40))
    well(canvas, *AUTO_LEVEL[:2], AUTO_LEVEL[2], AUTO_LEVEL[3], 6)
    well(canvas, RANDOM[0], RANDOM[1], RANDOM[2], RANDOM[3], 5)
    arrow = ImageDraw.Draw(canvas)
    arrow.polygon([(s(561), s(73)), (s(567), s(77.5)), (s(561), s(82))], fill=rgba(ACCENT_DIM))
    image = finish(canvas)

    d = ImageDraw.Draw(image)
    for text, x, y in DETECTOR + [MAIN_LEVEL] + LFO:
        knob_label(d, x, y, text)
    for row, y in enumerate(OSC_ROWS):
        for name, x in OSC_COLUMNS:
            fixed = name == "Partial" and row == 0
            knob_label(d, x, y, name, LABEL_DIM if fixed else LABEL)
        tag = Image.new("RGBA", (60, 14), (0, 0, 0, 0))
        spaced(ImageDraw.Draw(tag), (30, 7), "OSC %d" % (row + 1), font(9, bold=True),
               rgba(ACCENT), 1.5)
        image.alpha_composite(tag.rotate(90, expand=True), (14, y + 23 - 30))
    d.text((130, 150), "\u00d71", font=font(10), fill=rgba(LABEL_DIM), anchor="mm")
    d.text((564, 129), "tempo-synced tremolo", font=font(9), fill=rgba(LABEL_DIM), anchor="mm")
    d.text((530, 48), "peak \u22123 dB", font=font(9), fill=rgba(LABEL_DIM), anchor="mm")
    d.text((19, 74), "Follows the pitch of its input", font=font(9), fill=rgba(LABEL_DIM),
           anchor="lm")
    d.text((19, 87), "and plays it on three oscillators", font=font(9), fill=rgba(LABEL_DIM),
           anchor="lm")
    legend(image, 236, 8, "PITCH DETECTOR")
    legend(image, 507, 8, "OUTPUT")
    legend(image, 18, 107, "OSCILLATORS")
    legend(image, 507, 107, "LFO")
    logo(image)
    tabs(image, 0)
    return image


def page_info():
    canvas = background_canvas()
    panel(canvas, 8, 64, 624, 302)
    x, y, w, h = SUPPORT
    shadow(canvas, SUPPORT, lambda d, ox, oy: d.rounded_rectangle(
        box(x - ox, y - oy, w, h), s(5), fill=255), 1.5, 160, 1)
    fill_rounded(canvas, x, y, w, h, 5, (86, 98, 114), (48, 55, 65))
    fill_rounded(canvas, x + 1, y + 1, w - 2, h - 2, 4, (70, 80, 94), (44, 50, 60))
    sep = ImageDraw.Draw(canvas)
    for ly in (174.5, 239.5, 325.5):
        sep.line([s(20), s(ly), s(620), s(ly)], fill=(12, 14, 17, 255), width=s(1))
        sep.line([s(20), s(ly + 1), s(620), s(ly + 1)], fill=(66, 74, 86, 255), width=s(1))
    # The signal path, as a quiet diagram between the hints and the invitation.
    stages = ["Pitch detector", "3 oscillators", "Tremolo LFO", "Main level"]
    bw, bh, gap, top = 118, 30, 42, 273
    left = (W - (4 * bw + 3 * gap)) / 2
    for i in range(4):
        bx = left + i * (bw + gap)
        fill_rounded(canvas, bx, top, bw, bh, 6, ACCENT_DIM, mix(ACCENT_DIM, PANEL_BOTTOM, 0.6))
        fill_rounded(canvas, bx + 1, top + 1, bw - 2, bh - 2, 5, (36, 41, 49), (27, 31, 37))
        if i < 3:
            ax = bx + bw + 8
            sep.line([s(ax), s(top + bh / 2), s(ax + gap - 20), s(top + bh / 2)],
                     fill=rgba(ACCENT_DIM), width=s(1.5))
            tip = ax + gap - 16
            sep.polygon([(s(tip - 6), s(top + bh / 2 - 4)), (s(tip), s(top + bh / 2)),
                         (s(tip - 6), s(top + bh / 2 + 4))], fill=rgba(ACCENT_DIM))
    image = finish(canvas)

    d = ImageDraw.Draw(image)
    d.text((x + w / 2, y + h / 2), "Support", font=font(11, bold=True),
           fill=rgba(TEXT_BRIGHT), anchor="mm")
    spaced(d, (20, 259), "SIGNAL PATH", font(8, bold=True), rgba(ACCENT), 1.2, anchor="lm")
    for i, text in enumerate(stages):
        bx = left + i * (bw + gap)
        d.text((bx + bw / 2, top + bh / 2), text, font=font(11), fill=rgba(LABEL),
               anchor="mm")
    d.text((620, 30), "pitch detector \u00b7 three oscillators \u00b7 tremolo",
           font=font(10), fill=rgba(LABEL_DIM), anchor="rm")
    legend(image, 18, 64, "ABOUT")
    logo(image)
    tabs(image, 1)
    return image


def button(w, h, lines, pressed, icon=None):
    canvas = Image.new("RGBA", (s(w), s(h)), (0, 0, 0, 0))
    if pressed:
        fill_rounded(canvas, 0, 0, w, h, 5, (22, 25, 30), (60, 68, 80))
        fill_rounded(canvas, 1, 1, w - 2, h - 2, 4, (30, 34, 40), (40, 46, 54))
    else:
        fill_rounded(canvas, 0, 0, w, h, 5, (104, 116, 132), (38, 43, 51))
        fill_rounded(canvas, 1, 1, w - 2, h - 2, 4, (74, 84, 98), (46, 52, 62))
    if icon:
        icon(canvas, pressed)
    image = finish(canvas)
    d = ImageDraw.Draw(image)
    colour = ACCENT if pressed else TEXT_BRIGHT
    f = font(8, bold=True)
    offset = 1 if pressed else 0
    x = (w + (12 if icon else 0)) / 2
    step = 10
    first = h / 2 - step * (len(lines) - 1) / 2 + offset
    for i, text in enumerate(lines):
        spaced(d, (x, first + i * step), text, f, rgba(colour), 1.0)
    return image


def dice(canvas, pressed):
    d = ImageDraw.Draw(canvas)
    y0 = 5.5 + (1 if pressed else 0)
    d.rounded_rectangle(box(8, y0, 9, 9), s(2), fill=rgba(ACCENT if pressed else TEXT_BRIGHT))
    for px, py in ((10.5, y0 + 2.5), (12.5, y0 + 4.5), (14.5, y0 + 6.5)):
        d.ellipse([s(px - 0.9), s(py - 0.9), s(px + 0.9), s(py + 0.9)], fill=(30, 34, 40, 255))


def strip(frames):
    w, h = frames[0].size
    out = Image.new("RGBA", (w * len(frames), h), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        out.paste(f, (i * w, 0))
    return out


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..",
                                                     "resources")
    background = Image.new("RGB", (2 * W, H))
    background.paste(page_synth().convert("RGB"), (0, 0))
    background.paste(page_info().convert("RGB"), (W, 0))
    background.save(os.path.join(out, "Ombrel.png"), optimize=True)
    strip([button(50, 35, ["AUTO", "LEVEL"], p) for p in (False, True)]).save(
        os.path.join(out, "OmbrelAutoLvl.png"), optimize=True)
    strip([button(85, 20, ["RANDOM"], p, dice) for p in (False, True)]).save(
        os.path.join(out, "OmbrelRnd.png"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
