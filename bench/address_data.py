#!/usr/bin/env python3
"""Writes synthetic postal-code address data of a country's size, as code page
850 bytes: 10,000 postal-code lines (invented towns, some with umlauts, several
codes for larger towns, sorted so that the town index is kept) and 1,500,000
street lines, some with house-number ranges.

Usage: address_data.py FILE
"""
import random, sys

random.seed(4711)
POSTAL_CODES = 10000
STREET_LINES = 1500000

first = ["Alt", "Bern", "Dorn", "Eich", "Fels", "Gr\x81n", "Hag", "Kirch", "Lind", "M\x81hl",
         "Neu", "Ober", "Reich", "Sch\x94n", "Stein", "Tann", "Unter", "Wald", "Wei\xe1", "Zell",
         "\x84schen", "\x94lm", "Brunn", "Holz", "Rot"]
last = ["bach", "berg", "burg", "dorf", "feld", "hausen", "heim", "hof", "ingen", "stadt",
        "tal", "au", "br\x81ck", "m\x81hle", "stett"]
extra = ["", "", "", " am See", " an der Aue", " (Kreis Nord)", " im Tal", " b. Hof"]
streets = ["Haupt", "Kirch", "Schul", "Garten", "Berg", "Bahnhof", "Linden", "Birken",
           "M\x81hlen", "Wiesen", "Ahorn", "Sonnen", "Rosen", "Eichen", "Gr\x81n", "Feld",
           "Wald", "Br\x81cken", "Markt", "Tannen", "Buchen", "Schlo\xe1", "Dorf", "Ring"]
kinds = ["str.", "weg", "gasse", "platz", "allee", "stra\xe1e", "ring", "pfad"]

def town_name():
    return random.choice(first) + random.choice(last) + random.choice(extra)

codes = random.sample(range(1000, 100000), POSTAL_CODES)
towns = []
while len(towns) < POSTAL_CODES:
    name = town_name()
    # Larger towns have several postal codes.
    for _ in range(random.choice([1, 1, 1, 1, 2, 3, 5])):
        if len(towns) < POSTAL_CODES:
            towns.append(name)
entries = []
for town, code in zip(towns, codes):
    line = "%s\t%05d\t%s" % (town, code, "P" if random.random() < 0.05 else "")
    entries.append(line.encode("latin-1"))
entries.sort()

per_code = STREET_LINES // POSTAL_CODES
with open(sys.argv[1], "wb") as out:
    for line in entries:
        out.write(line + b"\r\n")
        for _ in range(per_code):
            street = random.choice(streets) + random.choice(kinds)
            r = random.random()
            if r < 0.4:
                low = random.randrange(1, 200)
                street += "\t%d-%d" % (low, low + 2 * random.randrange(1, 60))
            elif r < 0.5:
                street += "\t%d%s-" % (random.randrange(1, 200), random.choice(["", "a"]))
            out.write(street.encode("latin-1") + b"\r\n")
