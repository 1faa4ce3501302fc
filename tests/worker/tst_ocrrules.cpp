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

QTEST_GUILESS_MAIN(TestOcrRules)
#include "tst_ocrrules.moc"
