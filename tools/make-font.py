#!/usr/bin/python3
"""Makes the editor's TrueType face "KSans" from a DejaVu Sans face.

Usage: make-font.py <DejaVuSans.ttf> <KSans.ttf>

The editor draws Latin text only, so the face keeps Latin-1 and the usual typographic
punctuation. Hinting is dropped: the editor's rasteriser never reads it, and it is most of the
file. The output is byte-for-byte reproducible (no timestamps taken from the clock).
"""
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

FAMILY = "KSans"

# Printable ASCII, Latin-1, and punctuation that hosts and texts commonly use.
UNICODES = (list(range(0x20, 0x7F)) + list(range(0xA0, 0x100)) +
            [0x2013, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2026, 0x2030,
             0x2039, 0x203A, 0x20AC, 0x2122, 0x2212, 0x221E])

# Name records kept from the source face: the copyright notice and the licence, which travel
# with any derived face. Everything else names the source and is replaced or dropped.
KEPT_NAME_IDS = {0, 13, 14}


def rename(font):
    table = font["name"]
    table.names = [n for n in table.names if n.nameID in KEPT_NAME_IDS]
    for name_id, text in ((1, FAMILY), (2, "Regular"), (3, FAMILY + " Regular"),
                          (4, FAMILY), (5, "Version 1.0"), (6, FAMILY)):
        table.setName(text, name_id, 3, 1, 0x409)  # Windows, Unicode BMP, US English
        table.setName(text, name_id, 1, 0, 0)      # Macintosh, Roman, English
    font["post"].formatType = 3.0  # no glyph names: nothing looks glyphs up by name


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    options = subset.Options()
    options.hinting = False
    options.layout_features = ["kern", "liga"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.drop_tables += ["FFTM", "MATH"]
    options.recalc_timestamp = False
    font = TTFont(argv[1], recalcTimestamp=False)
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=UNICODES)
    subsetter.subset(font)
    rename(font)
    font.save(argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
