#!/usr/bin/python3
"""PDFs for the converter identity tests (tests/data/identity), before qpdf.

Needs Debian's python3-reportlab (run with /usr/bin/python3): it embeds a subset of
a TrueType font, which the non-Latin file needs. Output is invariant: the same
input gives the same bytes.

    identitygen.py OUTDIR
"""

import sys
from pathlib import Path

from reportlab import rl_config
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

rl_config.invariant = 1

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
A4 = (595, 842)

PROSE = (
    "Orders placed before noon leave the warehouse the same day. Write to "
    "orders@example.com for anything about an order, and to returns@example.net "
    "when a parcel has to go back. Our office answers within two working days; "
    "urgent matters go to urgent@example.org with the order number in the subject."
).split()


def wrap(words, width, font="Helvetica", size=10):
    lines, line = [], []
    for word in words:
        trial = " ".join(line + [word])
        if line and pdfmetrics.stringWidth(trial, font, size) > width:
            lines.append(" ".join(line))
            line = [word]
        else:
            line.append(word)
    if line:
        lines.append(" ".join(line))
    return lines


def new(path, title):
    c = canvas.Canvas(str(path), pagesize=A4, pageCompression=1)
    c.setTitle(title)
    c.setAuthor("Pelmora test data")
    return c


def columns(out):
    # Three columns side by side, a heading across them and a footer line.
    c = new(out / "columns.pdf", "Columns")
    c.setFont("Helvetica-Bold", 16)
    c.drawString(50, 790, "Three-column newsletter: contact@columns.example.com")
    width = 150
    for col in range(3):
        x = 50 + col * (width + 25)
        c.setFont("Helvetica", 10)
        words = PROSE[col * 7:] + PROSE[:col * 7] + ["column%d@example.com" % (col + 1)]
        y = 750
        for line in wrap(words * 2, width):
            c.drawString(x, y, line)
            y -= 13
    c.setFont("Helvetica-Oblique", 8)
    c.drawString(50, 40, "Footer: footer@columns.example.com, page 1 of 1")
    c.showPage()
    c.save()


def rotated(out):
    # Pages turned by /Rotate, then text turned inside an upright page. reportlab swaps
    # the media box of pages turned by 90 and 270 degrees, so text stays below 560.
    c = new(out / "rotated.pdf", "Rotated pages")
    for angle in (0, 90, 180, 270):
        c.setPageRotation(angle)
        c.setFont("Helvetica", 12)
        c.drawString(60, 540, "This page is turned by %d degrees." % angle)
        c.drawString(60, 520, "Its contact is rotate%d@example.com." % angle)
        for i in range(5):
            c.drawString(60, 480 - 16 * i, "Line %d of the page turned by %d degrees." % (i + 1, angle))
        c.showPage()
    c.setPageRotation(0)
    for angle in (90, 180, 270, 45):
        c.saveState()
        c.translate(300, 420)
        c.rotate(angle)
        c.setFont("Helvetica", 12)
        c.drawString(0, 0, "Text drawn at %d degrees: turned%d@example.com" % (angle, angle))
        c.restoreState()
    c.setFont("Helvetica", 12)
    c.drawString(60, 780, "Upright heading of the page with turned text")
    c.showPage()
    c.save()


def cropbox(out):
    # The crop box keeps the middle of the page; pdftotext reads the whole media box.
    c = new(out / "cropbox.pdf", "Crop box")
    c.setCropBox((100, 200, 495, 642))
    c.setFont("Helvetica", 11)
    c.drawString(20, 820, "Outside the crop box, top left: outside-top@example.com")
    c.drawString(150, 600, "Inside the crop box: inside@example.com")
    c.drawString(150, 580, "A second line inside the crop box.")
    c.drawString(400, 630, "Across the crop edge: across-edge@example.com")
    c.drawString(20, 30, "Outside the crop box, bottom: outside-bottom@example.com")
    c.showPage()
    c.save()


def scripts(out):
    # Non-Latin scripts in an embedded TrueType font, one script per line, two pages.
    pdfmetrics.registerFont(TTFont("DejaVuSans", DEJAVU))
    c = new(out / "scripts.pdf", "Scripts")
    lines = [
        "Greek: Καλημέρα κόσμε, γράψτε στο info@example.gr",
        "Cyrillic: Здравствуйте, пишите на почта@example.ru или info@example.ru",
        "Ukrainian: Ґанок, їжак, єнот: ukr@example.ua",
        "Hebrew: שלום עולם, כתבו אל hebrew@example.co.il",
        "Arabic: مرحبا بالعالم، راسلونا على arabic@example.com",
        "Accents: Zürich, Ångström, façade, naïve: accents@example.ch",
    ]
    c.setFont("DejaVuSans", 12)
    y = 780
    for line in lines:
        c.drawString(50, y, line)
        y -= 22
    c.showPage()
    c.setFont("DejaVuSans", 14)
    c.drawString(50, 780, "Αλφάβητο: ΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ αβγδεζηθικλμνξοπρστυφχψω")
    c.drawString(50, 756, "Алфавит: АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ")
    c.drawString(50, 732, "עברית: אבגדהוזחטיכלמנסעפצקרשת")
    c.showPage()
    c.save()


def many_pages(out, count=200):
    c = new(out / "pages-200.src.pdf", "Two hundred pages")
    for n in range(1, count + 1):
        c.setFont("Helvetica-Bold", 14)
        c.drawString(60, 780, "Page %d of %d" % (n, count))
        c.setFont("Helvetica", 11)
        c.drawString(60, 750, "Contact for this page: p%d@example.com" % n)
        c.drawString(60, 730, "Reference %05d, checksum %d." % (n * 37 % 99991, (n * n) % 997))
        c.showPage()
    c.save()


def links(out):
    # Page 1: a web link only. Page 2: a mailto: link (scheme in mixed case) whose address
    # is in no text, another mailto: link, and a web link that merely mentions mailto:.
    c = new(out / "links.pdf", "Links")
    c.setFont("Helvetica", 12)
    c.drawString(60, 760, "Page one has a link to our web site.")
    c.linkURL("https://www.example.com/contact", (60, 755, 300, 775), relative=0)
    c.showPage()
    c.setFont("Helvetica", 12)
    c.drawString(60, 760, "Page two: click here to write to us.")
    c.linkURL("MailTo:hidden.person@example.org?subject=Hello", (60, 755, 300, 775), relative=0)
    c.drawString(60, 730, "Or here.")
    c.linkURL("mailto:second@example.net", (60, 725, 120, 745), relative=0)
    c.drawString(60, 700, "A page about links.")
    c.linkURL("https://example.com/mailto:not-a-mailto@example.com", (60, 695, 200, 715), relative=0)
    c.showPage()
    c.save()


def protected_source(out):
    c = new(out / "protected.src.pdf", "Protected")
    c.setFont("Helvetica", 12)
    c.drawString(60, 760, "Protected identity file")
    c.drawString(60, 740, "Opened with its password: guarded@example.com")
    c.showPage()
    c.drawString(60, 760, "Second page of the protected file.")
    c.showPage()
    c.save()


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    columns(out)
    rotated(out)
    cropbox(out)
    scripts(out)
    many_pages(out)
    links(out)
    protected_source(out)


if __name__ == "__main__":
    main()
