#!/usr/bin/env python3
# Writes the hand-made samples: RTF as older word processors wrote it, text
# as "\'hh" bytes of a legacy code page (python3 make_handmade.py).


def escaped(text, codepage):
    out = []
    for ch in text:
        if ord(ch) < 0x80:
            out.append("\\" + ch if ch in "\\{}" else ch)
        else:
            out.extend("\\'%02x" % b for b in ch.encode("cp%d" % codepage))
    return "".join(out)


def document(codepage, fonttbl, paragraphs):
    body = []
    for words in paragraphs:
        body.append("\\pard\\plain\\f0\\fs24 " + "".join(words) + "\\par\r\n")
    return ("{\\rtf1\\ansi\\ansicpg%d\\deff0{\\fonttbl%s}\r\n" % (codepage, fonttbl) +
            "{\\info{\\title Sample}}\\viewkind4\\uc1\r\n" + "".join(body) + "}\r\n")


def single(codepage, charset, lines):
    t = lambda s: escaped(s, codepage)
    first, bold, middle, italic, last = lines
    paragraphs = [
        [t(first), "\\b ", t(bold), "\\b0 ", t(middle), "{\\i ", t(italic), "}", t(last)],
        # Bold that is never ended: the next paragraph's \plain ends it.
        ["\\b ", t(bold)],
        [t(last.strip())],
    ]
    fonttbl = "{\\f0\\froman\\fcharset%d Times New Roman;}" % charset
    return document(codepage, fonttbl, paragraphs)


SAMPLES = {
    "handmade-cp1251.rtf": single(1251, 204, ["Привет, ", "мир", "! Съешь же ", "мягких", " булок."]),
    "handmade-cp1253.rtf": single(1253, 161, ["Καλημέρα ", "κόσμε", ", ", "ξεσκεπάζω", " την ψυχή."]),
    "handmade-cp1250.rtf": single(1250, 238, ["Příliš ", "žluťoučký", " kůň, ", "Zażółć", " gęślą jaźń."]),
}

# Fonts that carry their own code page under a Western document: each "\f"
# switches the code page of the bytes that follow it.
fonts = ("{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset204 Arial Cyr;}"
         "{\\f2\\fswiss\\fcharset161 Arial Greek;}{\\f3\\fswiss\\fcharset238 Arial CE;}"
         "{\\f4\\fnil\\fcharset2 Symbol;}")
SAMPLES["handmade-fcharset.rtf"] = document(1252, fonts, [
    ["Caf", escaped("é", 1252), " \\f1 ", escaped("Привет", 1251), "\\f0  ", escaped("über", 1252)],
    ["{\\f2\\b ", escaped("Καλημέρα", 1253), "} ", escaped("é", 1252), " \\f3\\i ", escaped("Łódź", 1250),
     "\\plain  ", escaped("è", 1252)],
    ["\\f4\\'b7\\f0  ", escaped("ß", 1252)],
])

for name, text in SAMPLES.items():
    with open(name, "w", encoding="ascii", newline="") as f:
        f.write(text)
