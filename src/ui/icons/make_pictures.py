#!/usr/bin/env python3
"""Paints the 16 x 16 pictures of the forms' buttons in the sixteen colours of
Windows 9x and writes them as PNG files into pictures/ beside this script, one
per name a form gives in a button's "picture" property. Each picture is drawn
below as rows of letters, one letter a pixel (see COLOURS). Needs only the
standard library and make_icons.py; run it again after changing a picture.
"""

import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
from make_icons import BLACK, DARK, LIGHT, WHITE, Picture, png

COLOURS = {
    ".": None, "K": BLACK, "g": DARK, "L": LIGHT, "W": WHITE,
    "G": (0, 128, 0), "l": (0, 255, 0), "R": (128, 0, 0), "r": (255, 0, 0),
    "b": (0, 0, 255), "c": (0, 255, 255), "O": (128, 128, 0), "Y": (255, 255, 0),
}

PICTURES = {
    # "Угу": a green tick.
    "ok": [
        "................",
        "................",
        "..............l.",
        ".............lG.",
        "............lGG.",
        "...........lGG..",
        "..l.......lGG...",
        ".lGl.....lGG....",
        ".GGGl...lGG.....",
        "..GGGl.lGGG.....",
        "...GGGlGGG......",
        "....GGGGG.......",
        ".....GGG........",
        "......G.........",
        "................",
        "................",
    ],
    # "Отмена": a red cross.
    "cancel": [
        "................",
        "................",
        "...R.......R....",
        "..RrR.....RrR...",
        "..RrrR...RrrR...",
        "...RrrR.RrrR....",
        "....RrrRrrR.....",
        ".....RrrrR......",
        ".....RrrrR......",
        "....RrrRrrR.....",
        "...RrrR.RrrR....",
        "..RrrR...RrrR...",
        "..RrR.....RrR...",
        "...R.......R....",
        "................",
        "................",
    ],
    # "Справка": a question mark in a speech bubble.
    "help": [
        "................",
        "....KKKKKKK.....",
        "..KKWWWWWWWKK...",
        ".KWWWWbbbWWWWK..",
        ".KWWWbbWbbWWWKg.",
        "KWWWWWWWbbWWWWKg",
        "KWWWWWWbbWWWWWKg",
        "KWWWWWbbWWWWWWKg",
        ".KWWWWbbWWWWWKgg",
        ".KWWWWWWWWWWWKg.",
        "..KKWWbbWWWKKg..",
        "....KKWWKKKgg...",
        "......KWKg......",
        "......KKg.......",
        "......Kg........",
        "................",
    ],
    # "Автор": a letter i in a speech bubble.
    "author": [
        "................",
        "....KKKKKKK.....",
        "..KKWWWWWWWKK...",
        ".KWWWWWbbWWWWK..",
        ".KWWWWWbbWWWWKg.",
        "KWWWWWWWWWWWWWKg",
        "KWWWWWbbbWWWWWKg",
        "KWWWWWWbbWWWWWKg",
        ".KWWWWWbbWWWWKgg",
        ".KWWWWWbbWWWWKg.",
        "..KKWWbbbbWKKg..",
        "....KKWWKKKgg...",
        "......KWKg......",
        "......KKg.......",
        "......Kg........",
        "................",
    ],
    # "Ссылки": a globe on a network drive.
    "links": [
        "................",
        ".....KKKKKK.....",
        "...KKbbccbbKK...",
        "..KbbcWcbbbbbK..",
        "..KbcWcbbGGbbK..",
        ".KbbccbbGGGbbbK.",
        ".KbGGbbbbGbbbbK.",
        ".KbGGGbbbbbbbbK.",
        ".KbbGGbbbbbGbbK.",
        "..KbbGbbbbGGbK..",
        "..KKbbbbbbbbKK..",
        ".KKKKKKKKKKKKKK.",
        ".KWWWWWWWWWWWLK.",
        ".KWLLLLLLLLlLgK.",
        ".KLggggggggggKK.",
        ".KKKKKKKKKKKKKK.",
    ],
    # "Обзор": an open yellow folder.
    "browse": [
        "................",
        "................",
        "................",
        ".KKKKK..........",
        "KYYYYYK.........",
        "KYYYYYYKKKKKKK..",
        "KYYYYYYYYYYYYK..",
        "KYYYKKKKKKKKKKKK",
        "KYYKWYYYYYYYYYOK",
        "KYKWYYYYYYYYYOK.",
        "KYKYYYYYYYYYYOK.",
        "KKYYYYYYYYYYOK..",
        "KKOOOOOOOOOOOK..",
        "KKKKKKKKKKKKK...",
        "................",
        "................",
    ],
    # "Добавить": a blank page with a folded corner.
    "add": [
        "................",
        "..KKKKKKKK......",
        "..KWWWWWWKK.....",
        "..KWWWWWWKWK....",
        "..KWWWWWWKWWK...",
        "..KWWWWWWKKKKK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KWWWWWWWWWWK..",
        "..KKKKKKKKKKKK..",
        "................",
    ],
    # "Убрать": a grey waste bin.
    "remove": [
        "................",
        "......KKKK......",
        "..KKKKKLLKKKKK..",
        ".KLLLLLLLLLLLLK.",
        ".KggggggggggggK.",
        "..KKKKKKKKKKKK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "..KLgLgLgLgLgK..",
        "...KgLgLgLgLK...",
        "...KKKKKKKKKK...",
        "................",
    ],
    # "Подробно": a page of lines.
    "details": [
        "................",
        ".KKKKKKKKKKKKKK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWKKKKKKKKWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWKKKKKKKKWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWKKKKKKKKWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWKKKKKKKKWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KWWKKKKKKKKWWK.",
        ".KWWWWWWWWWWWWK.",
        ".KKKKKKKKKKKKKK.",
        "................",
    ],
    # "Рекомендованные": a round green light.
    "recommended": [
        "................",
        "................",
        ".....KKKKKK.....",
        "....KGGGGGGK....",
        "...KGllGGGGGK...",
        "..KGlWlGGGGGGK..",
        "..KGllGGGGGGGK..",
        "..KGGGGGGGGGGK..",
        "..KGGGGGGGGGGK..",
        "..KGGGGGGGGGGK..",
        "..KGGGGGGGGGGK..",
        "...KGGGGGGGGK...",
        "....KGGGGGGK....",
        ".....KKKKKK.....",
        "................",
        "................",
    ],
    # "Удалить Из Списка": a white waste bin with its lid on.
    "delete": [
        "................",
        "......KKKK......",
        ".KKKKKKWWKKKKKK.",
        ".KWWWWWWWWWWWLK.",
        ".KKKKKKKKKKKKKK.",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLWLWLWLWLK..",
        "..KWLKKKKKKWLK..",
        "..KKKKKKKKKKKK..",
        "................",
    ],
}


def paint(rows):
    """The picture that the rows of letters draw."""
    picture = Picture(16)
    assert len(rows) == 16 and all(len(row) == 16 for row in rows), rows
    picture.pixels = [[COLOURS[letter] for letter in row] for row in rows]
    return picture


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")
    os.makedirs(folder, exist_ok=True)
    for name, rows in PICTURES.items():
        with open(os.path.join(folder, name + ".png"), "wb") as out:
            out.write(png(paint(rows), 1))


if __name__ == "__main__":
    main()
