#include "extract/AddressExtraction.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// The documented steps done the slow, obvious way, to hold the fast path against.
QStringList plainExtraction(const QByteArray &text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        uR"(^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])$)"_s));
    QByteArray cleaned = text;
    for (char &c : cleaned) {
        if (QByteArrayView(",!\"#$%&'()*/:;<=>?[\\]^`{|}~").contains(c) || c == '\t' || c == '\r' || c == '\n' ||
            c == '\f')
            c = ' ';
    }
    QStringList found;
    for (QByteArray word : cleaned.split(' ')) {
        while (word.endsWith('.'))
            word.chop(1);
        if (word.contains('@') && word.contains('.') && pattern.match(QString::fromLatin1(word)).hasMatch())
            found << QString::fromLatin1(word);
    }
    return found;
}

QByteArray pick(QRandomGenerator &random, const QList<QByteArray> &from)
{
    return from[random.bounded(static_cast<int>(from.size()))];
}

// Address-shaped words, many of them slightly broken, between every kind of separator.
QByteArray randomText(QRandomGenerator &random, int words)
{
    static const QList<QByteArray> locals{"ann", "B0b", "_x", "-q", ".dot", "a..b", "j+n", "x\xc3\xa9", "9"};
    static const QList<QByteArray> domains{"acme", "ex-ample", "-h", "123", "a.b", "", "1.2.3"};
    static const QList<QByteArray> tops{"com", "org", "c", "museum", "4", "255]", "co-", "de_"};
    static const QList<QByteArray> glue{" ", "  ", "\t", "\r\n", "\n", "\r", "\f", ",", ";", ":", "(", ")",
                                        "<", ">", "[", "]", "'", "\"", "~", "%", "/", ".", "..", "\xa0", "\v",
                                        "\x01", "@", "+", ""};
    QByteArray text;
    for (int i = 0; i < words; ++i) {
        text += pick(random, glue);
        text += pick(random, locals) + '@' + pick(random, domains) + '.' + pick(random, tops);
        if (random.bounded(4) == 0)
            text += pick(random, glue) + pick(random, locals);
    }
    return text;
}

} // namespace

class TestAddressExtraction : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void words_data();
    void words();
    void uniquenessSpansCallsAndIgnoresCase();
    void fastPathMatchesThePlainSteps();
    void cleaningBlanksExactlyThePunctuation();
};

void TestAddressExtraction::words_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("no at sign") << "plain words. and more."_ba << QStringList();
    QTest::newRow("punctuation around")
        << "(a@x.com), <b@x.org>; 'c@x.net' \"d@x.de\" mailto:e@x.io [f@x.eu] {g@x.uk}"_ba
        << QStringList{u"a@x.com"_s, u"b@x.org"_s, u"c@x.net"_s, u"d@x.de"_s, u"e@x.io"_s, u"f@x.eu"_s, u"g@x.uk"_s};
    QTest::newRow("end of sentence") << "Write to info@acme.com. Or to sales@acme.com..."_ba
                                     << QStringList{u"info@acme.com"_s, u"sales@acme.com"_s};
    QTest::newRow("form feed glued") << "last line\n\ffirst@page.com opens"_ba << QStringList{u"first@page.com"_s};
    QTest::newRow("trailing line feed") << "a@x.com\n"_ba << QStringList{u"a@x.com"_s};
    QTest::newRow("trailing hyphen and underscore") << "a@x.com- b@x.com_"_ba << QStringList();
    QTest::newRow("plus sign") << "john+news@acme.com"_ba << QStringList();
    QTest::newRow("leading dot") << ".dot@acme.com"_ba << QStringList();
    QTest::newRow("accepted oddities") << "_u@x.com two..dots@x.com l@-h.x.com d@123.x.com s@x.museum"_ba
                                       << QStringList{u"_u@x.com"_s, u"two..dots@x.com"_s, u"l@-h.x.com"_s,
                                                      u"d@123.x.com"_s, u"s@x.museum"_s};
    QTest::newRow("rejected domains") << "a@x.c b@x..com c@1.2.3.4 d@[1.2.3.4] e@localhost"_ba << QStringList();
    QTest::newRow("non-ASCII letter") << "j\xc3\xbcrgen@x.com"_ba << QStringList();
    QTest::newRow("no-break space glued") << "\xc2\xa0nb@x.com"_ba << QStringList();
    QTest::newRow("vertical tab glued") << "\vvt@x.com"_ba << QStringList();
    QTest::newRow("two at signs, one word") << "a@b@x.com"_ba << QStringList();
    QTest::newRow("cut by blanked characters") << "percent%sign@x.com list/archive@x.com"_ba
                                               << QStringList{u"sign@x.com"_s, u"archive@x.com"_s};
    QTest::newRow("line ends of every kind") << "a@x.com\r\nb@x.com\rc@x.com\nd@x.com\te@x.com"_ba
                                             << QStringList{u"a@x.com"_s, u"b@x.com"_s, u"c@x.com"_s,
                                                            u"d@x.com"_s, u"e@x.com"_s};
}

void TestAddressExtraction::words()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, found);
    QCOMPARE(ValidAddresses(text), found);
    QCOMPARE(plainExtraction(text), found); // the reference agrees on the documented cases
}

void TestAddressExtraction::uniquenessSpansCallsAndIgnoresCase()
{
    SeenAddresses seen;
    QCOMPARE(ExtractEmailToArray("Sales@Example.com and sales@example.com"_ba, seen),
             QStringList{u"Sales@Example.com"_s});
    QCOMPARE(ExtractEmailToArray("SALES@EXAMPLE.COM new@x.com new@x.com"_ba, seen), QStringList{u"new@x.com"_s});
    QCOMPARE(ExtractEmailToArray("nothing here"_ba, seen), QStringList());
    QCOMPARE(seen.size(), 2);
    SeenAddresses otherRun;
    QCOMPARE(ExtractEmailToArray("sales@example.com"_ba, otherRun), QStringList{u"sales@example.com"_s});
}

void TestAddressExtraction::fastPathMatchesThePlainSteps()
{
    QRandomGenerator random(20261208);
    int nonEmpty = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray text = randomText(random, 1 + random.bounded(12));
        const QStringList expected = plainExtraction(text);
        nonEmpty += !expected.isEmpty();
        QCOMPARE(ValidAddresses(text), expected);
    }
    QVERIFY2(nonEmpty > 100, qPrintable(QString::number(nonEmpty)));
}

void TestAddressExtraction::cleaningBlanksExactlyThePunctuation()
{
    QByteArray all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const QByteArray cleaned = CleanPunctuation(all);
    QCOMPARE(cleaned.size(), all.size());
    const QByteArray blanked = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~"_ba;
    for (int c = 0; c < 256; ++c) {
        const bool isPunctuation = blanked.contains(static_cast<char>(c));
        QCOMPARE(cleaned[c], isPunctuation ? ' ' : static_cast<char>(c));
    }
    QCOMPARE(SplitCandidates(CleanPunctuation("x (a@b.com) y@z c.d@e"_ba)),
             (QList<QByteArrayView>{"a@b.com", "c.d@e"}));
}

QTEST_GUILESS_MAIN(TestAddressExtraction)
#include "tst_addressextraction.moc"
