// OCR language lists in tesseract's form and the Debian packages of languages.
#include "protocol/OcrLanguages.h"

#include <QTest>

using namespace pelmora;

using Strings = std::vector<std::string>;
Q_DECLARE_METATYPE(Strings)

class TestOcrLanguages : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void languages_data();
    void languages();
    void debianPackages_data();
    void debianPackages();
};

void TestOcrLanguages::languages_data()
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

void TestOcrLanguages::languages()
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

void TestOcrLanguages::debianPackages_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("package");
    QTest::newRow("deu") << QByteArray("deu") << QByteArray("tesseract-ocr-deu");
    QTest::newRow("underscore") << QByteArray("chi_sim") << QByteArray("tesseract-ocr-chi-sim");
    QTest::newRow("script by its name") << QByteArray("Latin") << QByteArray("tesseract-ocr-script-latn");
    QTest::newRow("script in its folder")
        << QByteArray("script/Cyrillic") << QByteArray("tesseract-ocr-script-cyrl");
    QTest::newRow("vertical script") << QByteArray("HanS_vert")
                                     << QByteArray("tesseract-ocr-script-hans-vert");
    QTest::newRow("capitals") << QByteArray("Frk") << QByteArray("tesseract-ocr-frk");
}

void TestOcrLanguages::debianPackages()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, package);
    QCOMPARE(QByteArray::fromStdString(DebianPackageFor(code.toStdString())), package);
}

QTEST_GUILESS_MAIN(TestOcrLanguages)
#include "tst_ocrlanguages.moc"
