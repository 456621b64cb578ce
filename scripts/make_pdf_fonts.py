#!/usr/bin/python3
"""Makes the fonts the printed report is drawn with: the Simplified Chinese face of a Noto CJK
collection, renamed, without the character-map entries of the CJK radicals (U+2E80-U+2FDF)
and strokes (U+31C0-U+31EF). The collection maps some radicals and the ideographs they look
like (2F2F and 5DE5, 工) to one glyph; a PDF writer that maps glyphs back to characters then
gives the radical, and the PDF cannot be searched. Without those entries every glyph has one
character.

Usage: make_pdf_fonts.py COLLECTION FAMILY OUTPUT
"""
import sys

from fontTools.ttLib import TTCollection, TTFont

RADICALS = [(0x2E80, 0x2FDF), (0x31C0, 0x31EF)]


def simplified_chinese_index(path):
    for index, font in enumerate(TTCollection(path, lazy=True).fonts):
        if font["name"].getDebugName(1).endswith(" SC"):
            return index
    raise SystemExit(f"{path}: no Simplified Chinese face")


def main():
    collection, family, output = sys.argv[1:4]
    font = TTFont(collection, fontNumber=simplified_chinese_index(collection), lazy=True)
    for table in font["cmap"].tables:
        for code in [c for c in table.cmap if any(low <= c <= high for low, high in RADICALS)]:
            del table.cmap[code]
    for record in font["name"].names:
        if record.nameID in (1, 16):
            record.string = family
        elif record.nameID in (3, 4):
            record.string = family + " Regular"
        elif record.nameID == 6:
            record.string = family.replace(" ", "") + "-Regular"
    font.save(output)


if __name__ == "__main__":
    main()
