#include "extract/AddressExtraction.h"
#include "worker/recognition/OcrRepair.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

Q_DECLARE_METATYPE(pelmora::OcrRepairs)

namespace {

// Every repair, the ones left out of the defaults too.
constexpr OcrRepairs kAll = {OcrRepair::AtSpacing, OcrRepair::Dashes, OcrRepair::LookAlikeCase};

QStringList addressesOf(const QByteArray &text)
{
    SeenAddresses seen;
    return ExtractEmailToArray(text, seen, {});
}

} // namespace

class TestOcrRepair : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repairs_data();
    void repairs();
    void leavesAlone_data();
    void leavesAlone();
    void atSpacesOfTheRepairAndTheVote_data();
    void atSpacesOfTheRepairAndTheVote();
    void keepsEveryValidAddress_data();
    void keepsEveryValidAddress();
    void blanksUnclearCapitals_data();
    void blanksUnclearCapitals();
    void recognisedPage();
    void textWithoutAtSignIsCopied();
};

// Each row is mended by exactly one repair: every repair together and that repair alone
// give `repaired`, every other repair together leaves the line as it is; the defaults
// mend it when they hold that repair.
void TestOcrRepair::repairs_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArray>("repaired");
    QTest::addColumn<OcrRepairs>("by");
    const OcrRepairs at = OcrRepair::AtSpacing;
    const OcrRepairs dashes = OcrRepair::Dashes, lookAlike = OcrRepair::LookAlikeCase;

    QTest::newRow("space before @") << "Write to milo_f27 @mail7.example.io now"_ba
                                    << "Write to milo_f27@mail7.example.io now"_ba << at;
    QTest::newRow("space after @") << "If s.silva@ mail8.polaris.biz does not answer"_ba
                                   << "If s.silva@mail8.polaris.biz does not answer"_ba << at;
    QTest::newRow("lone @") << "Jonas Fiori Accounts sales365 @ oslo-logistik.co.uk"_ba
                            << "Jonas Fiori Accounts sales365@oslo-logistik.co.uk"_ba << at;
    QTest::newRow("@ after bracket") << "Write to <clara_i25 @ woodfield94.com> for samples."_ba
                                     << "Write to <clara_i25@woodfield94.com> for samples."_ba << at;
    QTest::newRow("@ after mailto") << "is mailto:ole-holm@ mail3.delta-tools.fr until June."_ba
                                    << "is mailto:ole-holm@mail3.delta-tools.fr until June."_ba << at;
    QTest::newRow("@ then sentence end") << "sent to sofia_s83 @ mail6.seaside.com."_ba
                                         << "sent to sofia_s83@mail6.seaside.com."_ba << at;
    QTest::newRow("@ at line start") << "desk1 @acme-co.se on any reply."_ba
                                     << "desk1@acme-co.se on any reply."_ba << at;
    QTest::newRow("@ with capitals") << "E-mail: Maria.Oliveira38 @ Goldleaf.org and"_ba
                                     << "E-mail: Maria.Oliveira38@Goldleaf.org and"_ba << at;
    QTest::newRow("@ before comma") << "Please copy hr365 @solaris.info, thanks"_ba
                                    << "Please copy hr365@solaris.info, thanks"_ba << at;
    QTest::newRow("@ leet name") << "Copy (4nna-isaks3n @o51o-logistik.se) today"_ba
                                 << "Copy (4nna-isaks3n@o51o-logistik.se) today"_ba << at;
    // Wide dots of typewriter fonts.
    QTest::newRow("space before a dot of the domain") << "Mail rdt@cs .queensu.ca today"_ba
                                                      << "Mail rdt@cs.queensu.ca today"_ba << at;
    QTest::newRow("space after a dot of the domain") << "Write asyropoulos@yahoo. com now"_ba
                                                     << "Write asyropoulos@yahoo.com now"_ba << at;
    QTest::newRow("dot alone in the domain") << "(ralf@hemmecke . de)"_ba
                                             << "(ralf@hemmecke.de)"_ba << at;
    QTest::newRow("spaces before every dot") << "<Thomas .Delaet@student .kuleuven.ac .be>"_ba
                                             << "<Thomas.Delaet@student.kuleuven.ac.be>"_ba << at;
    QTest::newRow("dot alone in the name") << "by Rolf . Niepraschk@gmx .de"_ba
                                           << "by Rolf.Niepraschk@gmx.de"_ba << at;
    QTest::newRow("sentence end after a top-level domain") << "Mail rose@acme .com. In May"_ba
                                                           << "Mail rose@acme.com. In May"_ba << at;

    QTest::newRow("em dash and hyphen") << "Sales lisa\xE2\x80\x94-lowell@mx6.acme-co.com and"_ba
                                        << "Sales lisa-lowell@mx6.acme-co.com and"_ba << dashes;
    QTest::newRow("hyphen and em dash") << "E-mail: o77o_s65@orbit-\xE2\x80\x94labs.de"_ba
                                        << "E-mail: o77o_s65@orbit-labs.de"_ba << dashes;
    QTest::newRow("en dash") << "oskar\xE2\x80\x93"
                                "0153n@mx8.sibelius.co.uk,"_ba
                             << "oskar-0153n@mx8.sibelius.co.uk,"_ba << dashes;

    QTest::newRow("O after a small letter") << "Write to jOhn-schulz@mx5.lumenia.ch today"_ba
                                            << "Write to j0hn-schulz@mx5.lumenia.ch today"_ba << lookAlike;
    QTest::newRow("O and S, both parts") << "to poSt.silverline@mxS.silverline.com."_ba
                                         << "to po5t.silverline@mx5.silverline.com."_ba << lookAlike;
    QTest::newRow("O after a digit") << "<kai-n0v4k@polari5O.com>"_ba
                                     << "<kai-n0v4k@polari50.com>"_ba << lookAlike;
    QTest::newRow("two in a row") << "E-mail: sOOn@mx1.acme-co.eu"_ba
                                  << "E-mail: s00n@mx1.acme-co.eu"_ba << lookAlike;
    QTest::newRow("after an at-sign repair") << "Copy cOn74ct1 @mail6.hillside.eu now"_ba
                                             << "Copy c0n74ct1@mail6.hillside.eu now"_ba << (at | lookAlike);
}

void TestOcrRepair::repairs()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QByteArray, repaired);
    QFETCH(OcrRepairs, by);
    QVERIFY(addressesOf(recognised) != addressesOf(repaired)); // the row shows a gain
    QCOMPARE(RepairRecognisedText(recognised, kAll), repaired);
    QCOMPARE(RepairRecognisedText(recognised, by), repaired);
    QCOMPARE(RepairRecognisedText(recognised, kAll & ~by), recognised);
    QCOMPARE(RepairRecognisedText(recognised), (kDefaultOcrRepairs & by) ? repaired : recognised);
    // Mended once is mended for good.
    QCOMPARE(RepairRecognisedText(repaired, kAll), repaired);
    // Several lines are mended each on its own; the line ends stay.
    const QByteArray three = "first line\n"_ba + recognised + "\n"_ba + recognised + "\n"_ba;
    QCOMPARE(RepairRecognisedText(three, kAll), "first line\n"_ba + repaired + "\n"_ba + repaired + "\n"_ba);
}

// Lines where a repair would have to guess: each must come back byte for byte.
void TestOcrRepair::leavesAlone_data()
{
    QTest::addColumn<QByteArray>("recognised");

    // Words that already are addresses.
    QTest::newRow("valid address") << "Write to j0hn.smith5@mail1.example.com today."_ba;
    QTest::newRow("valid, then a domain-like word") << "Mail sales@acme.com .net is down"_ba;
    QTest::newRow("valid with stop, then a word") << "Write to info@acme.com. com is next"_ba;
    QTest::newRow("valid, then @ and a domain") << "a@b.com @c.org"_ba;
    QTest::newRow("last label with a digit") << "milo_b51@mail8.0akhil 1.org on any reply."_ba;
    QTest::newRow("digit in last label alone") << "sales@acme.c0m"_ba;
    QTest::newRow("capitals that start parts") << "E-mail: Noor.Fiori60@Mx8.Fjordline.co.uk"_ba;
    QTest::newRow("capital after a stop or hyphen")
        << "S.Stolz@Blueriver.se and Kai-Col11ns@Oslo-logistik42.se"_ba;
    QTest::newRow("capitals in a word that is no address") << "NordTrade mOOn poSt@ x@yS"_ba;

    // The name before a split "@" may be only the end of the local part.
    QTest::newRow("single letter before") << "nd s lowell @ellison.de and"_ba;
    QTest::newRow("word with stop before") << "orders. lilleholm @lilleholm.com"_ba;
    QTest::newRow("word with underscore before") << "Write to ingrid_ s16 @coolbox88.io"_ba;
    QTest::newRow("digits only") << "kkowalski1 291 @ellison77.de"_ba;
    QTest::newRow("single digit") << "contact 1 @mail5.acme-co.eu"_ba;
    QTest::newRow("digits after a word") << "hisaksend 733@ mail6.goldleaf.net."_ba;
    QTest::newRow("digit first, after a word") << "Copy 4nna-isaks3n @o51o-logistik.se today"_ba;
    QTest::newRow("name starts with hyphen") << "lisa -lowell @mx6.acme-co.com"_ba;
    QTest::newRow("one-letter name") << "Copy I @sibelius.io soon"_ba;
    QTest::newRow("local part after a stop") << "Ingrid Ito lena. lille60@maill. fjordline.nl"_ba;

    // Not an address whatever is closed.
    QTest::newRow("price") << "Order no. 2024-117, item 3: 40 units @ 12.50 EUR each."_ba;
    QTest::newRow("time") << "Meeting on Thursday @ 10.30 in room 4B."_ba;
    QTest::newRow("handle") << "Follow our news @acme_co for updates."_ba;
    QTest::newRow("handle with stop") << "Follow our news @acme_co. Thanks."_ba;
    QTest::newRow("@ at line end") << "Write to sales @"_ba;
    QTest::newRow("@ alone") << "@"_ba;
    QTest::newRow("two at-signs") << "sales@ @acme.com"_ba;
    QTest::newRow("domain without stop") << "x s.lowell @ellison now"_ba;

    // Layout, not a misread glyph: only one plain space is ever closed.
    QTest::newRow("two spaces") << "Sales  @mail7.example.io"_ba;
    QTest::newRow("tab") << "sales\t@mail7.example.io"_ba;
    QTest::newRow("tab after") << "sales@\tmail7.example.io"_ba;
    QTest::newRow("form feed") << "sales\f@mail7.example.io"_ba;
    QTest::newRow("line end") << "sales\n@mail7.example.io"_ba;
    QTest::newRow("line end in domain") << "sales@mail7.\nexample.io"_ba;
    QTest::newRow("domain, two spaces") << "clara_e4@nordtrade.  biz"_ba;

    // A space inside a label may hide a lost character.
    QTest::newRow("space inside a label") << "Please copy s.istksen@mail Isibelius.org and"_ba;
    QTest::newRow("space inside a label, digit") << "iris-olsen@mail 1.oslo-logistik.de"_ba;
    QTest::newRow("stop, capital word") << "Write to sales@acme. We reply soon."_ba;
    QTest::newRow("upper-case piece after stop") << "x@mail7. Example"_ba;
    QTest::newRow("domain split twice") << "E-mail: bill-boyle@mail6. po laris.com"_ba;
    QTest::newRow("domain split twice, a space in a label") << "E-mail: bill@mx6 .po laris.com"_ba;
    QTest::newRow("space after a dot of the name") << "Write to saravanan. murugaiah@gmail.com"_ba;
    QTest::newRow("dot alone before an address") << "by Rolf . Niepraschk@gmx.de"_ba;
    QTest::newRow("no top-level domain joined") << "Mail rdt@cs .queensu .cax"_ba;
    QTest::newRow("a word the pattern takes, then a dot") << "la@mail8.polaris.warlside. biz"_ba;

    // Non-ASCII that is not a quote or a dash is left to fail the pattern.
    QTest::newRow("umlaut") << "j\xC3\xBCrgen@example.com"_ba;
    QTest::newRow("letter before the name") << "\xC3\xBCller@example.com"_ba;
    QTest::newRow("copyright sign") << "john\xC2\xA9"
                                       "acme.com"_ba;
    QTest::newRow("quote inside") << "jo\xE2\x80\x9Chn@example.com"_ba;
    QTest::newRow("glued opening quote") << "Send your CV to \xE2\x80\x9C"
                                            "icoll1n5970@mail8.oakhill.com\" now"_ba;
    QTest::newRow("glued degree sign") << "to \"ab@mail9.oslo-logistik.fr\xC2\xB0 with"_ba;
    QTest::newRow("dash without address") << "2019\xE2\x80\x94"
                                             "2024 @ 5.5 per cent"_ba;
    QTest::newRow("quotes, no at-sign") << "\xE2\x80\x9CQuoted\xE2\x80\x9D text."_ba;
}

void TestOcrRepair::leavesAlone()
{
    QFETCH(QByteArray, recognised);
    QCOMPARE(RepairRecognisedText(recognised, kAll), recognised);
    const QByteArray line = recognised + "\n"_ba;
    QCOMPARE(RepairRecognisedText(line, kAll), line);
}

// The one rule for spaces beside "@", as the repair and the converter's vote over several
// readings apply it: the vote closes names that may be a split one's tail too, since it
// hands such an address on as unsure.
void TestOcrRepair::atSpacesOfTheRepairAndTheVote_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArray>("repaired");
    QTest::addColumn<QByteArray>("voted");
    const auto row = [](const char *name, const QByteArray &recognised, const QByteArray &repaired,
                        const QByteArray &voted) { QTest::newRow(name) << recognised << repaired << voted; };
    row("both sides", "sales365 @ oslo-logistik.co.uk", "sales365@oslo-logistik.co.uk",
        "sales365@oslo-logistik.co.uk");
    row("one-letter name", "a @ b.cd", "a @ b.cd", "a@b.cd");
    row("digits after a word", "emil.okafor5 1 @stonebridge.co.uk", "emil.okafor5 1 @stonebridge.co.uk",
        "emil.okafor5 1@stonebridge.co.uk");
    row("after a single letter", "nd s lowell @ellison.de", "nd s lowell @ellison.de",
        "nd s lowell@ellison.de");
    row("no address either way", "40 units @ 12.50 EUR", "40 units @ 12.50 EUR", "40 units @ 12.50 EUR");
    row("wide gap", "name  @b.cd", "name  @b.cd", "name  @b.cd");
    row("valid already", "a@b.com @c.org", "a@b.com @c.org", "a@b.com @c.org");
    row("dot in the domain, name after a stop", "lena. lille60@maill. fjordline.nl",
        "lena. lille60@maill. fjordline.nl", "lena. lille60@maill.fjordline.nl");
}

void TestOcrRepair::atSpacesOfTheRepairAndTheVote()
{
    QFETCH(QByteArray, recognised);
    const auto closed = [&](bool tails) {
        QByteArray out = recognised;
        const QList<qsizetype> spaces = AtSpacesToClose(recognised, tails);
        for (auto it = spaces.crbegin(); it != spaces.crend(); ++it)
            out.remove(*it, 1);
        return out;
    };
    QTEST(closed(false), "repaired");
    QTEST(RepairRecognisedText(recognised, OcrRepair::AtSpacing), "repaired");
    QTEST(closed(true), "voted");
}

// Whatever else happens on a line, an address the extraction finds before the repair
// is found after it, with its spelling.
void TestOcrRepair::keepsEveryValidAddress_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("valid beside a split")
        << "a1@b2.com xy @c3.org"_ba << QStringList{u"a1@b2.com"_s, u"xy@c3.org"_s};
    QTest::newRow("comma-joined") << "a@b.com,c@d.com"_ba << QStringList{u"a@b.com"_s, u"c@d.com"_s};
    QTest::newRow("valid, then stop and piece")
        << "sales2024@acme-co.net. net"_ba << QStringList{u"sales2024@acme-co.net"_s};
    QTest::newRow("quote after valid")
        << "\"a@b.com\"\xE2\x80\x9D xy @y.org"_ba << QStringList{u"a@b.com"_s, u"xy@y.org"_s};
    QTest::newRow("valid, then a split one")
        << "b@c.de bill-boyle@mail6. po laris.com"_ba << QStringList{u"b@c.de"_s};
}

void TestOcrRepair::keepsEveryValidAddress()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QStringList, after);
    const QByteArray repaired = RepairRecognisedText(recognised, kAll);
    QCOMPARE(addressesOf(repaired), after);
    for (const QString &address : addressesOf(recognised))
        QVERIFY2(after.contains(address), qPrintable(address));
}

// An address with a capital after a small letter or digit that is not a look-alike
// zero or five, alone or beside one, is blanked: its case cannot be trusted.
void TestOcrRepair::blanksUnclearCapitals_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArray>("blanked");
    QTest::newRow("name in two capitals") << "Mail DeOliveira@acme.com now"_ba
                                          << "DeOliveira@acme.com"_ba;
    QTest::newRow("I among small letters") << "p0nd@m1IpOnd.com."_ba
                                           << "p0nd@m1IpOnd.com"_ba;
    QTest::newRow("O, and a capital first") << "E-mail: Maria.mOlsen@x.org"_ba
                                            << "Maria.mOlsen@x.org"_ba;
    QTest::newRow("S before a capital") << "see joSH@acme.com, thanks"_ba
                                        << "joSH@acme.com"_ba;
    QTest::newRow("O making a bad top-level domain") << "a@b.cOm"_ba
                                                     << "a@b.cOm"_ba;
    QTest::newRow("beside a valid one") << "x1@acme.com LiSa@acme.com"_ba
                                        << "LiSa@acme.com"_ba;
}

void TestOcrRepair::blanksUnclearCapitals()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QByteArray, blanked);
    QVERIFY(addressesOf(recognised).contains(QString::fromLatin1(blanked)));
    const QByteArray repaired = QByteArray(recognised).replace(blanked, QByteArray(blanked.size(), ' '));
    QCOMPARE(RepairRecognisedText(recognised, OcrRepair::LookAlikeCase), repaired);
    QCOMPARE(RepairRecognisedText(recognised), repaired);
    QCOMPARE(RepairRecognisedText(recognised, kAll & ~OcrRepairs(OcrRepair::LookAlikeCase)), recognised);
    QVERIFY(!addressesOf(repaired).contains(QString::fromLatin1(blanked)));
}

// A page as tesseract wrote it for a serif letter of the corpus: what the extraction
// finds before and after the repair.
void TestOcrRepair::recognisedPage()
{
    const QByteArray page =
        "Polaris Ltd\n\n196 Okafor Street, 33120 Malmo\n"
        "Tel. +44 20 7946 7364 E-mail: milo_f27 @mail7.example.io\n\n"
        "Technical questions are answered by mary.smith2 @isola-group.nl within one day.\n"
        "@acme_co for updates on delivery times. 40 units @ 12.50 EUR each.\n"
        "quoted net, excluding tax. If s.silva@ mail8.polaris.biz does not\n"
        "Ilse Haas Service emil_o85@lumeni4.com\n"
        "Jonas Fiori Accounts sales365 @ oslo-logistik.co.uk\n"
        "nd s lowell @ellison.de and clara_e4@nordtrade. biz\n"
        "\f"_ba;
    QCOMPARE(addressesOf(page), QStringList{u"emil_o85@lumeni4.com"_s});
    const QStringList byDefault{u"milo_f27@mail7.example.io"_s,    u"mary.smith2@isola-group.nl"_s,
                                u"s.silva@mail8.polaris.biz"_s,    u"emil_o85@lumeni4.com"_s,
                                u"sales365@oslo-logistik.co.uk"_s, u"clara_e4@nordtrade.biz"_s};
    const QByteArray repaired = RepairRecognisedText(page);
    QCOMPARE(addressesOf(repaired), byDefault);
    QCOMPARE(repaired.count('\n'), page.count('\n'));
    QVERIFY(repaired.endsWith("\n\f"));
}

void TestOcrRepair::textWithoutAtSignIsCopied()
{
    const QByteArray text = "Dear Ms Ellis,\n\nThe goods left on Tuesday.  Two spaces\tand a tab.\n\f"_ba;
    QCOMPARE(RepairRecognisedText(text), text);
    QCOMPARE(RepairRecognisedText(QByteArray()), QByteArray());
    QCOMPARE(RepairRecognisedText("a @b.org"_ba, {}), "a @b.org"_ba);
}

QTEST_GUILESS_MAIN(TestOcrRepair)
#include "tst_ocrrepair.moc"
