#!/usr/bin/env python3
"""Pages of the second scanned-page corpus, as ImageMagick drawings (MVG).

    ocr-cards.py OUTDIR SEED   pages/*.mvg, plan.tsv, truth.tsv

A corpus made another way than scripts/ocr-corpus.py, to check recognition settings
on pages they were not tuned on: sheets of business cards and invoices instead of
letters, other fonts (URW Bookman, Gothic, Palatino and Helvetica Narrow, DejaVu
Serif and Sans Condensed, Liberation Mono and Sans Narrow), other names, drawn by
ImageMagick instead of Ghostscript. Only the python3 standard library is used; the
same seed gives the same bytes. scripts/make-ocr-cards.sh renders the drawings.

plan.tsv and truth.tsv have the columns of scripts/ocr-corpus.py's, so the same
scoring scripts read them.
"""

import importlib.util
import random
import sys
from pathlib import Path

# The first corpus's generator, for its table writer.
_spec = importlib.util.spec_from_file_location("letters", Path(__file__).with_name("ocr-corpus.py"))
letters = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(letters)

FONTS = ["Bookman-Light", "AvantGarde-Book", "Palatino-Roman", "Helvetica-Narrow", "DejaVu-Serif",
         "DejaVu-Sans-Condensed", "Liberation-Mono", "Liberation-Sans-Narrow"]
KINDS = ["gray", "jpeg", "bw"]

FIRST = ["carmen", "diego", "giulia", "marco", "femke", "joris", "ana", "luis", "elena", "pablo", "sanne",
         "bram", "chiara", "paolo", "ines", "ruben", "lucia", "tim", "noa", "daan", "vera", "hugo", "marta",
         "enzo", "iris", "lars", "olga", "ivo", "lola", "teo"]
LAST = ["garcia", "rossi", "de-vries", "jansen", "lopez", "bianchi", "visser", "martin", "romano", "bakker",
        "ferrari", "mulder", "ortega", "costa", "smit", "vidal", "conti", "dekker", "molina", "gallo",
        "hoekstra", "navarro", "villa", "bos", "leone", "prins", "silva", "marino", "kok", "ruiz"]
COMPANIES = ["tecnova", "studio-lumen", "verde", "kolibri", "alto-design", "nexo", "brightwave", "marea",
             "orion-print", "pixelhof", "casa-nova", "fiore", "quantis", "lindenhof", "vela-media",
             "rio-trading", "mosaico", "polder-tech", "sierra", "volta", "nimbus-it", "cobalto", "terra",
             "alba-consult"]
DEPARTMENTS = ["sales", "info", "billing", "invoices", "support", "hello", "office", "accounts", "contact",
               "studio", "orders", "finance"]
TLDS = ["com", "com", "nl", "es", "it", "eu", "net", "org", "de", "be", "pt", "io"]
LOOKALIKE = {"o": "0", "l": "1", "i": "1", "e": "3", "s": "5", "a": "4"}
TITLES = ["Sales Manager", "Art Director", "Accountant", "Project Lead", "Account Executive", "Founder",
          "Office Manager", "Consultant", "Head of Design", "Buyer", "Engineer", "Studio Manager"]
ITEMS = ["Website design", "Logo revision", "Hosting, 12 months", "Consulting, 6 hours", "Printing, 500 flyers",
         "Photography session", "Maintenance contract", "Travel expenses", "Copywriting", "Domain renewal",
         "Training workshop", "Licence fee"]


def address(rng):
    """One address: mostly plain names, some with digits, a few with a look-alike digit."""
    first, last, company = rng.choice(FIRST), rng.choice(LAST), rng.choice(COMPANIES)
    local = rng.choice(["%s.%s" % (first, last), "%s%s" % (first[0], last), "%s_%s" % (first, last[0]),
                        rng.choice(DEPARTMENTS), "%s.%s" % (last, first[0])])
    domain = company
    if rng.random() < 0.25:
        local += str(rng.randrange(1, 100))
    if rng.random() < 0.15:
        domain += str(rng.randrange(1, 10))
    if rng.random() < 0.12:
        spots = [i for i, ch in enumerate(local) if ch in LOOKALIKE]
        if spots:
            i = rng.choice(spots)
            local = local[:i] + LOOKALIKE[local[i]] + local[i + 1:]
    return "%s@%s.%s" % (local, domain, rng.choice(TLDS))


def fresh_addresses(rng):
    seen = set()

    def fresh():
        while True:
            a = address(rng)
            if a.lower() not in seen:
                seen.add(a.lower())
                return a
    return fresh


class Drawing:
    """Text and lines in points on a US letter page, drawn in pixels at the page's resolution."""

    def __init__(self, dpi, font):
        self.scale = dpi / 72.0
        self.font = font
        self.items = []

    def text(self, x, y, size, s):
        assert "'" not in s and "\\" not in s
        self.items.append("font-size %.1f\ntext %.1f,%.1f '%s'" % (size * self.scale, x * self.scale,
                                                                    y * self.scale, s))

    def rect(self, x0, y0, x1, y1):
        self.items.append("rectangle %.1f,%.1f %.1f,%.1f" % tuple(v * self.scale for v in (x0, y0, x1, y1)))

    def line(self, x0, y0, x1, y1):
        self.items.append("line %.1f,%.1f %.1f,%.1f" % tuple(v * self.scale for v in (x0, y0, x1, y1)))

    def mvg(self):
        w, h = round(8.5 * 72 * self.scale), round(11 * 72 * self.scale)
        head = ["viewbox 0 0 %d %d" % (w, h), "fill white", "rectangle 0,0 %d,%d" % (w, h),
                "stroke none", "fill black", "font '%s'" % self.font]
        body = []
        for item in self.items:
            if item.startswith(("rectangle", "line")):
                body += ["push graphic-context", "fill none", "stroke black", "stroke-width %.1f" % self.scale,
                         item, "pop graphic-context"]
            else:
                body.append(item)
        return "\n".join(head + body) + "\n"


def cards_page(rng, d, fresh):
    """Ten business cards, two across and five down, each with one or two addresses."""
    placed = []
    for n in range(10):
        x, y = 36 + (n % 2) * 279, 36 + (n // 2) * 144
        d.rect(x, y, x + 261, y + 135)
        first, last = rng.choice(FIRST).capitalize(), rng.choice(LAST).replace("-", " ").title()
        company = rng.choice(COMPANIES).replace("-", " ").title()
        d.text(x + 14, y + 30, 13, "%s %s" % (first, last))
        d.text(x + 14, y + 46, 8.5, rng.choice(TITLES))
        d.text(x + 14, y + 70, 9, company)
        d.text(x + 14, y + 86, 8.5, "Tel +%d %d %03d %04d" % (rng.randrange(30, 50), rng.randrange(10, 99),
                                                            rng.randrange(1000), rng.randrange(10000)))
        a = fresh()
        placed.append(a)
        d.text(x + 14, y + 102, rng.choice([8.5, 9, 10]), rng.choice(["", "E ", "Mail: ", "e-mail "]) + a)
        if rng.random() < 0.4:
            b = fresh()
            placed.append(b)
            d.text(x + 14, y + 118, 8.5, b)
        else:
            d.text(x + 14, y + 118, 8.5, "www.%s.%s" % (company.lower().replace(" ", "-"), rng.choice(TLDS)))
    return placed


def invoice_page(rng, d, fresh):
    """An invoice: sender, customer, a table of items, a footer; six to nine addresses."""
    placed = []

    def put(x, y, size, template):
        a = fresh()
        placed.append(a)
        d.text(x, y, size, template % a)

    company = rng.choice(COMPANIES).replace("-", " ").title()
    d.text(54, 70, 20, company)
    d.text(54, 90, 9, "Calle Mayor %d, %05d Valencia" % (rng.randrange(1, 90), rng.randrange(100000)))
    put(54, 104, 9, "Accounts: %s")
    d.text(380, 70, 14, "INVOICE")
    d.text(380, 90, 9, "No. %d-%04d" % (rng.randrange(2023, 2026), rng.randrange(10000)))
    d.text(380, 104, 9, "Date %02d.%02d.2025" % (rng.randrange(1, 29), rng.randrange(1, 13)))
    d.text(54, 150, 10, "Bill to:")
    d.text(54, 164, 10, "%s %s" % (rng.choice(FIRST).capitalize(), rng.choice(LAST).replace("-", " ").title()))
    d.text(54, 178, 10, rng.choice(COMPANIES).replace("-", " ").title())
    put(54, 192, 10, "%s")
    y = 240
    d.line(54, y - 14, 558, y - 14)
    d.text(54, y, 10, "Description")
    d.text(360, y, 10, "Qty")
    d.text(420, y, 10, "Price")
    d.text(500, y, 10, "Amount")
    d.line(54, y + 6, 558, y + 6)
    for item in rng.sample(ITEMS, rng.randrange(4, 8)):
        y += 20
        qty, price = rng.randrange(1, 20), rng.randrange(10, 900)
        d.text(54, y, 10, item)
        d.text(360, y, 10, str(qty))
        d.text(420, y, 10, "%d.00" % price)
        d.text(500, y, 10, "%d.00" % (qty * price))
    d.line(54, y + 8, 558, y + 8)
    y += 40
    put(54, y, 10, "Questions about this invoice: %s")
    put(54, y + 16, 10, "Remittance advice to %s, please.")
    if rng.random() < 0.6:
        put(54, y + 32, 10, "Your contact: %s")
    y = 680
    d.line(54, y - 14, 558, y - 14)
    d.text(54, y, 8, "IBAN NL%02d BANK %010d   VAT %09d" % (rng.randrange(100), rng.randrange(10 ** 10),
                                                            rng.randrange(10 ** 9)))
    put(54, y + 12, 8, "Orders: %s")
    put(300, y + 12, 8, "Support: %s")
    if rng.random() < 0.5:
        put(54, y + 24, 8, "Press and partnerships: %s")
    return placed


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    out, rng = Path(argv[1]), random.Random(int(argv[2]))
    (out / "pages").mkdir(parents=True, exist_ok=True)
    fresh = fresh_addresses(rng)
    plan, truth = [], []
    # Cards and invoices, each font at both resolutions, straight and turned: 2 x 8 x 2 x 2 = 64
    # pages; four pages of one layout, resolution and font pair make a file.
    combos = [(layout, dpi, fi, turned) for layout in ("cards", "invoice") for dpi in (300, 200)
              for fi in range(len(FONTS)) for turned in (0, 1)]
    for n, (layout, dpi, fi, turned) in enumerate(combos):
        file_no, page_no = n // 4 + 1, n % 4 + 1
        name = "%s-%02d-%ddpi.pdf" % (layout, file_no, dpi)
        font = FONTS[fi]
        angle = round(rng.uniform(0.3, 1.5), 1) * rng.choice((-1, 1)) if turned else 0.0
        noise = rng.choice([0, 1])
        kind = KINDS[(file_no - 1) % len(KINDS)]
        d = Drawing(dpi, font)
        placed = (cards_page if layout == "cards" else invoice_page)(rng, d, fresh)
        mvg = "pages/p%03d.mvg" % (n + 1)
        (out / mvg).write_text(d.mvg())
        plan.append((name, page_no, mvg, font, 0, dpi, noise, angle, kind))
        truth.extend((name, page_no, a, "plain") for a in placed)
    letters.write_tables(out, plan, truth)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
