// The shape of a recognised page.
#include "worker/OcrRules.h"

#include <QTest>

using namespace pelmora::worker;

class TestOcrRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pageText_data();
    void pageText();
    void unsureWordsBlanked_data();
    void unsureWordsBlanked();
};

void TestOcrRules::pageText_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("nothing") << QByteArray() << QByteArray("\f");
    QTest::newRow("only line ends") << QByteArray("\n\n\r\n") << QByteArray("\f");
    QTest::newRow("tesseract's usual")
        << QByteArray("Title\n\na@b.cd\n") << QByteArray("Title\n\na@b.cd\n\f");
    QTest::newRow("last line unended") << QByteArray("one\ntwo") << QByteArray("one\ntwo\n\f");
    QTest::newRow("CR LF and CR") << QByteArray("one\r\ntwo\rthree\r\n") << QByteArray("one\ntwo\nthree\n\f");
    QTest::newRow("CR LF split from CR") << QByteArray("a\r\r\nb") << QByteArray("a\n\nb\n\f");
    QTest::newRow("trailing empty and blank lines") << QByteArray("a\n\n \t\n\n") << QByteArray("a\n\f");
    QTest::newRow("inner blank lines kept") << QByteArray("a\n\n\nb\n\n\n") << QByteArray("a\n\n\nb\n\f");
    QTest::newRow("leading blank lines kept") << QByteArray("\n\na\n") << QByteArray("\n\na\n\f");
    QTest::newRow("spaces inside a line kept") << QByteArray("  a  b  \n") << QByteArray("  a  b  \n\f");
    QTest::newRow("UTF-8 untouched") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                   "e\n")
                                     << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                   "e\n\f");
}

void TestOcrRules::pageText()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QByteArray, page);
    const std::string text =
        PageTextFromRecognised(std::string_view(recognised.constData(), std::size_t(recognised.size())));
    QCOMPARE(QByteArray::fromStdString(text), page);
}

void TestOcrRules::unsureWordsBlanked_data()
{
    // Words as "text:confidence", in the order tesseract lists them; the threshold is 50.
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArrayList>("words");
    QTest::addColumn<QByteArray>("blanked");
    QTest::newRow("sure words stay") << QByteArray("Mail a@b.cd\n") << QByteArrayList{"Mail:91", "a@b.cd:50"}
                                     << QByteArray("Mail a@b.cd\n");
    QTest::newRow("an unsure address goes")
        << QByteArray("Mail mai11@b.cd now\n") << QByteArrayList{"Mail:91", "mai11@b.cd:49.5", "now:88"}
        << QByteArray("Mail            now\n");
    // The later, unsure "a@b.cd" is blanked, not the sure one before it.
    QTest::newRow("the right one of two alike")
        << QByteArray("a@b.cd\na@b.cd\n") << QByteArrayList{"a@b.cd:90", "a@b.cd:10"}
        << QByteArray("a@b.cd\n      \n");
    QTest::newRow("inside a longer word only its own place")
        << QByteArray("xa@b.cd a@b.cd\n") << QByteArrayList{"xa@b.cd:95", "a@b.cd:5"}
        << QByteArray("xa@b.cd       \n");
    QTest::newRow("a word not in the text is skipped")
        << QByteArray("one two\n") << QByteArrayList{"zzz:1", "two:2"} << QByteArray("one    \n");
    QTest::newRow("UTF-8 by its bytes") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                      "e x\n")
                                        << QByteArrayList{"Gr\xc3\xbc\xc3\x9f"
                                                          "e:3",
                                                          "x:99"}
                                        << QByteArray("        x\n"); // seven bytes, then the space
}

void TestOcrRules::unsureWordsBlanked()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QByteArrayList, words);
    QFETCH(QByteArray, blanked);
    std::vector<RecognisedWord> listed;
    for (const QByteArray &word : words) {
        const qsizetype colon = word.lastIndexOf(':');
        listed.push_back({word.first(colon).toStdString(), word.sliced(colon + 1).toFloat()});
    }
    QCOMPARE(QByteArray::fromStdString(BlankUnsureWords(recognised.toStdString(), listed, 50)), blanked);
}

QTEST_GUILESS_MAIN(TestOcrRules)
#include "tst_ocrrules.moc"
