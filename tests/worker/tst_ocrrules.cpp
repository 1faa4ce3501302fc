// The recognition rules that need neither tesseract nor poppler: language lists, Debian
// package names, the shape of a recognised page.
#include "worker/OcrRules.h"

#include <QTest>

using namespace pelmora::worker;

using Strings = std::vector<std::string>;
Q_DECLARE_METATYPE(Strings)

class TestOcrRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void languages_data();
    void languages();
    void debianPackages_data();
    void debianPackages();
    void pageText_data();
    void pageText();
};

void TestOcrRules::languages_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QByteArray>("joined");
    QTest::addColumn<Strings>("needed");
    QTest::addColumn<Strings>("invalid");
    QTest::newRow("empty is eng") << QByteArray() << QByteArray("eng") << Strings{"eng"} << Strings{};
    QTest::newRow("one") << QByteArray("deu") << QByteArray("deu") << Strings{"deu"} << Strings{};
    QTest::newRow("two, order kept") << QByteArray("fra+eng") << QByteArray("fra+eng")
                                     << Strings{"fra", "eng"} << Strings{};
    QTest::newRow("empty parts dropped")
        << QByteArray("+eng++deu+") << QByteArray("eng+deu") << Strings{"eng", "deu"} << Strings{};
    QTest::newRow("repeated once needed")
        << QByteArray("eng+eng") << QByteArray("eng+eng") << Strings{"eng"} << Strings{};
    QTest::newRow("exclusion need not be installed")
        << QByteArray("hin+~eng") << QByteArray("hin+~eng") << Strings{"hin"} << Strings{};
    QTest::newRow("exclusions alone are eng")
        << QByteArray("~deu") << QByteArray("eng") << Strings{"eng"} << Strings{};
    QTest::newRow("underscore and folder")
        << QByteArray("chi_sim+script/Latin") << QByteArray("chi_sim+script/Latin")
        << Strings{"chi_sim", "script/Latin"} << Strings{};
    QTest::newRow("climbing out of the folder")
        << QByteArray("eng+../etc/x") << QByteArray("eng") << Strings{"eng"} << Strings{"../etc/x"};
    QTest::newRow("absolute path") << QByteArray("/tmp/x") << QByteArray("eng") << Strings{"eng"}
                                   << Strings{"/tmp/x"};
    QTest::newRow("empty folder part") << QByteArray("script//Latin+script/") << QByteArray("eng")
                                       << Strings{"eng"} << Strings{"script//Latin", "script/"};
    QTest::newRow("space, NUL, lone tilde")
        << QByteArray("e ng+", 5).append('\0').append("x+~") << QByteArray("eng") << Strings{"eng"}
        << Strings{"e ng", std::string("\0x", 2), "~"};
}

void TestOcrRules::languages()
{
    QFETCH(QByteArray, given);
    QFETCH(QByteArray, joined);
    QFETCH(Strings, needed);
    QFETCH(Strings, invalid);
    const OcrLanguages parsed =
        ParseOcrLanguages(std::string_view(given.constData(), std::size_t(given.size())));
    QCOMPARE(QByteArray::fromStdString(parsed.joined), joined);
    QCOMPARE(parsed.needed, needed);
    QCOMPARE(parsed.invalid, invalid);
}

void TestOcrRules::debianPackages_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("package");
    QTest::newRow("deu") << QByteArray("deu") << QByteArray("tesseract-ocr-deu");
    QTest::newRow("underscore") << QByteArray("chi_sim") << QByteArray("tesseract-ocr-chi-sim");
    QTest::newRow("capitals") << QByteArray("script/Latin") << QByteArray("tesseract-ocr-script-latin");
}

void TestOcrRules::debianPackages()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, package);
    QCOMPARE(QByteArray::fromStdString(DebianPackageFor(code.toStdString())), package);
}

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
