#!/usr/bin/env python3
"""Page texts of the scanned-page corpus, as PostScript for Ghostscript to render.

    ocr-corpus.py corpus OUTDIR SEED   pages/*.ps, plan.tsv, truth.tsv
    ocr-corpus.py letter OUT.ps        the one-page letter of tests/data/scanned-letter.pdf
    ocr-corpus.py disputed OUT.ps      the page of tests/data/ocr/disputed.pdf

Only the python3 standard library is used; the same seed gives the same bytes.
scripts/make-ocr-corpus.sh renders the pages and wraps them into image-only PDFs.

plan.tsv:  file  page  ps  font  size  dpi  blur  angle  kind
truth.tsv: file  page  address  digits   (every address placed on that page; digits is
           "look-alike" where a digit stands inside a name for the letter it resembles)
"""

import random
import sys
from pathlib import Path

# PostScript name, class. The URW base fonts come with ghostscript (fonts-urw-base35);
# the others are found through fontconfig.
FONTS = [
    ("Times-Roman", "serif"),
    ("LiberationSerif", "serif"),
    ("NewCenturySchlbk-Roman", "serif"),
    ("Helvetica", "sans"),
    ("DejaVuSans", "sans"),
    ("LiberationSans", "sans"),
    ("Courier", "mono"),
    ("DejaVuSansMono", "mono"),
]
SIZES = [9, 10, 11, 12]
KINDS = ["bw", "gray", "jpeg"]  # 1-bit PBM, grey PGM (Flate), grey JPEG

FIRST = ["john", "mary", "olle", "lena", "sven", "ingrid", "pierre", "anna", "tomas", "lisa", "oskar",
         "ilse", "sofia", "elin", "kai", "nils", "maria", "peter", "otto", "bill", "sol", "leo", "ida",
         "emil", "clara", "jonas", "sara", "lotte", "ole", "bo", "milo", "iris", "hugo", "alice", "noor"]
LAST = ["smith", "lindqvist", "okafor", "novak", "berg", "schulz", "larsen", "moreau", "kowalski",
        "silva", "ito", "haas", "olsen", "bell", "holm", "lille", "wolff", "mills", "collins", "sollberg",
        "fiori", "ellis", "booth", "oliveira", "szabo", "lowell", "ibsen", "stolz", "isaksen", "boyle"]
ROLES = ["sales", "info", "office", "support", "billing", "orders", "hr", "press", "team", "admin",
         "accounts", "service", "contact", "jobs", "lab", "shop", "desk", "legal", "mail", "post"]
COMPANIES = ["acme-co", "nordtrade", "blueriver", "example", "bolt-supply", "lilleholm", "oslo-logistik",
             "silverline", "woodfield", "ironbill", "solaris", "millpond", "isola-group", "bellweather",
             "stonebridge", "oakhill", "lumenia", "sibelius", "polaris", "fjordline", "delta-tools",
             "coolbox", "bilbao-imports", "goldleaf", "hillside", "orbit-labs", "seaside", "ellison"]
TLDS = ["com", "com", "com", "net", "org", "de", "se", "io", "co.uk", "fr", "nl", "eu", "info", "biz", "ch"]
LEET = {"o": "0", "i": "1", "l": "1", "e": "3", "a": "4", "s": "5", "b": "8", "g": "9", "z": "2", "t": "7"}

FILLER = [
    "Thank you for your order of last month and for the prompt payment.",
    "The goods were shipped on Tuesday and should reach your warehouse within five working days.",
    "We have enclosed the revised price list, valid from the first of next month.",
    "Our offices will be closed between Christmas and New Year.",
    "Please check the quantities on the delivery note against the invoice.",
    "As agreed on the phone, the second instalment is due at the end of the quarter.",
    "The inspection of the new production line is planned for the week after Easter.",
    "We are pleased to confirm the booking of the conference room for twelve people.",
    "Unfortunately two of the cartons were damaged in transit and have been returned.",
    "The updated terms of delivery are printed on the back of this page.",
    "Kindly let us know whether the samples meet your requirements.",
    "Our representative will call you next week to arrange a visit.",
    "The contract runs for two years and is renewed unless either party gives notice.",
    "All prices are quoted net, excluding value added tax and freight.",
    "Order no. 2024-117, item 3: 40 units @ 12.50 EUR each.",
    "Meeting on Thursday at 10.30 in room 4B, see the agenda in version 2.1.",
    "The full terms are on our web site, www.nordtrade.example.com/terms.",
    "Please quote reference AB/7731 in all correspondence.",
    "Follow our news @acme_co for updates on delivery times.",
    "Invoice 88-0415 of 14.03.2024 remains open; a copy is attached as report_2024.pdf.",
    "The annual maintenance visit covers the heating, the lifts and the fire alarms.",
    "We would be grateful for a reply by the end of the month.",
]

# Sentences that carry one address; {a} is the address.
WITH_ONE = [
    "Please send the signed copy to {a} before Friday.",
    "Questions about invoices go to {a}, our accounts desk.",
    "You can reach me directly at {a}.",
    "Our new colleague ({a}) handles the Nordic orders.",
    "Write to <{a}> if you need further samples.",
    "Technical questions are answered by {a} within one day.",
    "For returns, contact {a} and quote the order number.",
    "The reply address for this campaign is mailto:{a} until June.",
    "Copies of the drawings were sent to {a} yesterday.",
    "Complaints: {a}; urgent matters by phone please.",
    "If {a} does not answer, try the switchboard.",
    "Send your CV to \"{a}\" with the job title in the subject.",
]


def leet(word, rng):
    """The word with some letters written as the digits that look like them, at least one."""
    spots = [i for i, ch in enumerate(word) if ch in LEET]
    if not spots:
        return word
    chosen = {rng.choice(spots)} | {i for i in spots if rng.random() < 0.25}
    return "".join(LEET[ch] if i in chosen else ch for i, ch in enumerate(word))


def make_address(rng):
    """One address mixing letters and digits, and whether digits stand inside words for letters.

    Digits mostly come in runs of their own (sales2024, mail1, john.smith5); about a third
    of the addresses also write a letter of a name as a look-alike digit (j0hn, ex4mple).
    """
    names = [rng.choice(FIRST), rng.choice(LAST), rng.choice(COMPANIES), rng.choice(ROLES)]
    shape, dshape, tld = rng.randrange(7), rng.randrange(5), rng.choice(TLDS)
    n1, n2, year = rng.randrange(1, 100), rng.randrange(10, 2000), rng.choice([2023, 2024, 2025, 7, 24, 1, 365])
    capitals = rng.random() < 0.08  # some are written with capitals

    def compose(first, last, company, role):
        local = [
            "%s.%s%d" % (first, last, n1),
            "%s%d" % (role, year),
            "%s.%s" % (first[0], last),
            "%s_%s%d" % (first, last[0], n1),
            "%s-%s" % (first, last),
            "%s%s%d" % (first[0], last, n2),
            "%s.%s" % (role, company.split("-")[0]),
        ][shape]
        domain = [
            "mail%d.%s.%s" % (n2 % 9 + 1, company, tld),
            "%s.%s" % (company, tld),
            "%s%d.%s" % (company, n1, tld),
            "mx%d.%s.%s" % (n2 % 9 + 1, company, tld),
            "%s.%s" % (company, tld),
        ][dshape]
        addr = "%s@%s" % (local, domain)
        if capitals:  # names with capitals, the top-level domain as usual in lower case
            cap = lambda part: ".".join(w[:1].upper() + w[1:] for w in part.split("."))
            addr = "%s@%s%s" % (cap(local), cap(domain[:-len(tld)]), tld)
        return addr

    plain = compose(*names)
    if rng.random() < 0.33:
        for which in rng.sample(range(4), 4):  # a name that this shape shows
            changed = names[:which] + [leet(names[which], rng)] + names[which + 1:]
            if compose(*changed) != plain:
                return compose(*changed), True
    return plain, False


def person(rng):
    return "%s %s" % (rng.choice(FIRST).capitalize(), rng.choice(LAST).capitalize())


def ps_string(s):
    return "(" + s.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def wrap(words, limit):
    lines, line = [], ""
    for w in words:
        if line and len(line) + 1 + len(w) > limit:
            lines.append(line)
            line = w
        else:
            line = w if not line else line + " " + w
    if line:
        lines.append(line)
    return lines


class Letter:
    """One letter page: lines of (x, y, font size, text), placed top to bottom."""

    def __init__(self, font, size):
        self.font, self.size = font, size
        self.items = []
        self.y = 738.0
        mono = font in ("Courier", "DejaVuSansMono")
        self.limit = int(468 / ((0.6 if mono else 0.53) * size))

    def line(self, text, x=72.0, size=None, advance=None):
        size = size or self.size
        self.items.append((x, self.y, size, text))
        self.y -= advance if advance is not None else size * 1.45

    def gap(self, n=1.0):
        self.y -= self.size * 1.45 * n

    def paragraph(self, text):
        for ln in wrap(text.split(), self.limit):
            self.line(ln)
        self.gap(0.6)

    def columns(self, cells):
        """One table row; the cells at fixed offsets."""
        xs = [72.0, 72.0 + 13 * self.size, 72.0 + 22 * self.size]
        for x, cell in zip(xs, cells):
            self.items.append((x, self.y, self.size, cell))
        self.y -= self.size * 1.45

    def postscript(self):
        out = ["%!PS-Adobe-3.0", "<< /PageSize [612 792] >> setpagedevice",
               "/F /%s findfont %g scalefont def" % (self.font, self.size)]
        for x, y, size, text in self.items:
            font = "F setfont" if size == self.size else "/%s findfont %g scalefont setfont" % (self.font, size)
            out.append("%s %g %g moveto %s show" % (font, x, y, ps_string(text)))
        out.append("showpage")
        return "\n".join(out) + "\n"


def business_page(rng, font, size, fresh):
    """A letter with 7 to 9 addresses among ordinary text; returns (Letter, addresses in order)."""
    placed = []

    def addr():
        a, lookalike = fresh()
        placed.append((a, "look-alike" if lookalike else "plain"))
        return a

    p = Letter(font, size)
    company = rng.choice(COMPANIES).replace("-", " ").title()
    p.line("%s Ltd" % company, size=size + 6, advance=(size + 6) * 1.3)
    p.line("%d %s Street, %d%03d %s" % (rng.randrange(1, 200), rng.choice(LAST).capitalize(),
                                        rng.randrange(1, 99), rng.randrange(1000),
                                        rng.choice(["Oslo", "Leeds", "Lyon", "Malmo", "Basel", "Gent"])))
    p.line("Tel. +44 20 7946 %04d   E-mail: %s" % (rng.randrange(10000), addr()))
    p.gap()
    p.line("%d %s 2024" % (rng.randrange(1, 29), rng.choice(["March", "April", "May", "June", "October"])))
    p.line("Our ref. %s/%d" % (rng.choice(["AB", "KL", "TR", "MO"]), rng.randrange(100, 9999)))
    p.gap()
    p.line("Dear %s %s," % (rng.choice(["Ms", "Mr", "Dr"]), rng.choice(LAST).capitalize()))
    p.gap(0.6)
    for _ in range(3):
        sentences = rng.sample(FILLER, 2)
        sentences.insert(rng.randrange(3), rng.choice(WITH_ONE).format(a=addr()))
        if rng.random() < 0.5:
            sentences.append("Please copy %s and %s on any reply." % (addr(), addr()))
        p.paragraph(" ".join(sentences))
    p.line("Contacts for this order:")
    for _ in range(rng.randrange(2, 4)):
        p.columns([person(rng), rng.choice(["Sales", "Accounts", "Logistics", "Quality", "Service"]), addr()])
    p.gap()
    p.paragraph(" ".join(rng.sample(FILLER, 2)))
    p.line("Yours sincerely,")
    p.gap(1.2)
    p.line(person(rng))
    p.line("E-mail: %s" % addr())
    return p, placed


def corpus(out, seed):
    rng = random.Random(seed)
    out = Path(out)
    (out / "pages").mkdir(parents=True, exist_ok=True)
    seen = set()

    def fresh():
        while True:
            a = make_address(rng)
            if a[0].lower() not in seen:
                seen.add(a[0].lower())
                return a

    # Every font at both resolutions, sharp and blurred, straight and turned:
    # 8 x 2 x 2 x 2 = 64 pages; four pages of one resolution and blur make a file.
    combos = [(dpi, blur, fi, turned) for dpi in (300, 200) for blur in (0, 1)
              for fi in range(len(FONTS)) for turned in (0, 1)]
    plan, truth = [], []
    for n, (dpi, blur, fi, turned) in enumerate(combos):
        file_no, page_no = n // 4 + 1, n % 4 + 1
        name = "scan-%02d-%ddpi%s.pdf" % (file_no, dpi, "-blur" if blur else "")
        font = FONTS[fi][0]
        size = rng.choice(SIZES)
        angle = 0.0
        if turned:
            angle = round(rng.uniform(0.5, 2.0), 1) * rng.choice((-1, 1))
        kind = KINDS[(file_no - 1) % len(KINDS)]
        letter, placed = business_page(rng, font, size, fresh)
        ps = "pages/p%03d.ps" % (n + 1)
        (out / ps).write_text(letter.postscript())
        plan.append((name, page_no, ps, font, size, dpi, blur, angle, kind))
        truth.extend((name, page_no, a, cls) for a, cls in placed)
    write_tables(out, plan, truth)


def write_tables(out, plan, truth):
    """plan.tsv and truth.tsv from their rows (scripts/ocr-cards.py writes them too)."""
    for name, head, rows in (("plan.tsv", "file page ps font size dpi blur angle kind", plan),
                             ("truth.tsv", "file page address digits", truth)):
        with open(Path(out) / name, "w") as f:
            f.write(head.replace(" ", "\t") + "\n")
            for row in rows:
                f.write("\t".join(str(v) for v in row) + "\n")


# The letter committed as tests/data/scanned-letter.pdf; its addresses are listed in
# tests/data/README.md and expected exactly by the tests.
LETTER_ADDRESSES = ["john.smith45@mail24.example.com", "sales2024@acme-co.net",
                    "o.lindqvist@ex4mple.org", "support7@k2-systems.example.com"]


def letter(path, font="DejaVuSans"):
    a = LETTER_ADDRESSES
    p = Letter(font, 12)
    p.line("Acme Co Trading Ltd", size=18, advance=24)
    p.line("14 Harbour Road, Leeds LS1 4AB")
    p.line("E-mail: %s" % a[1])
    p.gap()
    p.line("3 April 2024")
    p.gap()
    p.line("Dear Mr Lindqvist,")
    p.gap(0.6)
    p.paragraph("Thank you for your order of forty oak shelves. The goods left our warehouse on "
                "Tuesday and should reach you within five working days.")
    p.paragraph("Please send the signed delivery note to %s, who looks after your account. "
                "Copies of the invoice were sent to %s yesterday." % (a[0], a[2]))
    p.paragraph("Technical questions are answered by %s within one working day." % a[3])
    p.line("Yours sincerely,")
    p.gap(1.2)
    p.line("John Smith")
    Path(path).write_text(p.postscript())


# The page committed as tests/data/ocr/disputed.pdf: the first line's address is read
# the same way by every variant; the readings of the second line's two differ (a space
# that some read inside "onovak1049", one read where "okafor51" has none). Lines of
# the letter on page 1 of the corpus of seed 1, set alike.
DISPUTED_SURE = "milo.f10ri50@mx6.isola-group.com"
DISPUTED_LINE = "onovak1049@goldl3af.ch and emil.okafor51@stonebridge.co.uk on any reply."


def disputed(path):
    p = Letter("Times-Roman", 10)
    p.line("Acme Co Trading Ltd", size=16, advance=22)
    p.line("Please write to %s about the delivery." % DISPUTED_SURE)
    p.gap()
    p.line("Please copy " + DISPUTED_LINE)
    p.line("Yours sincerely,")
    Path(path).write_text(p.postscript())


def main(argv):
    if len(argv) == 4 and argv[1] == "corpus":
        corpus(argv[2], int(argv[3]))
    elif len(argv) in (3, 4) and argv[1] == "letter":
        letter(argv[2], *argv[3:])
    elif len(argv) == 3 and argv[1] == "disputed":
        disputed(argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
