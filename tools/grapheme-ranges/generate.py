#!/usr/bin/env python3
"""Writes Rellum/Rellum/Categories/RellumGraphemeExtendRanges.inc: the code points
that extend the character before them into one composed character sequence
(Grapheme_Extend, general category Mc, emoji skin-tone modifiers), as merged
ranges. Reads the Unicode character database of Debian's unicode-data package.

    tools/grapheme-ranges/generate.py [UCD folder] > Rellum/Rellum/Categories/RellumGraphemeExtendRanges.inc
"""
import sys

ucd = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
points = set()
with open(f"{ucd}/DerivedCoreProperties.txt", encoding="utf-8") as f:
    for line in f:
        line = line.split("#")[0].strip()
        if not line:
            continue
        span, prop = [x.strip() for x in line.split(";")]
        if prop != "Grapheme_Extend":
            continue
        first, _, last = span.partition("..")
        points.update(range(int(first, 16), int(last or first, 16) + 1))
with open(f"{ucd}/UnicodeData.txt", encoding="utf-8") as f:
    for row in f:
        fields = row.split(";")
        if fields[2] == "Mc":
            points.add(int(fields[0], 16))
points.update(range(0x1F3FB, 0x1F400))

ranges = []
for p in sorted(points):
    if ranges and ranges[-1][1] == p - 1:
        ranges[-1][1] = p
    else:
        ranges.append([p, p])

out = [
    "// Generated from the Unicode 15.0 character database: code points that extend the",
    "// character before them into one composed character sequence (Grapheme_Extend,",
    "// general category Mc, emoji modifiers). First and last code point of each range.",
    "// clang-format off",
]
line = "   "
for first, last in ranges:
    item = f"{{0x{first:04X}, 0x{last:04X}}},"
    if len(line) + len(item) + 1 > 110:
        out.append(line)
        line = "   "
    line += " " + item
out.append(line)
out.append("// clang-format on")
print("\n".join(out))
