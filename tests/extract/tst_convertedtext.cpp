#include "extract/ConvertedText.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestConvertedText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void judgesReadability_data();
    void judgesReadability();
    void readsTextForDisplay_data();
    void readsTextForDisplay();
};

void TestConvertedText::judgesReadability_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("unreadable");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("empty lines only") << QByteArray("\r\n\n\r") << false;
    QTest::newRow("form feeds only") << QByteArray("\f\f\f") << true;
    QTest::newRow("page number and form feed") << QByteArray("12\f") << true;
    QTest::newRow("five letters and form feed") << QByteArray("abcde\f") << true;
    QTest::newRow("six letters and form feed") << QByteArray("abcdef\f") << false;
    QTest::newRow("form feed before six letters") << QByteArray("\fabcdef") << false;
    QTest::newRow("controls after the sixth") << QByteArray("abcdef\x01\x02") << false;
    QTest::newRow("six letters over lines") << QByteArray("ab\r\ncd\nef\f\f") << false;
    QTest::newRow("five letters over lines, form feed") << QByteArray("ab\r\nc\nde\n\f") << true;
    QTest::newRow("five letters alone") << QByteArray("abcde\r\n") << false;
    QTest::newRow("TAB") << QByteArray("ab\tc") << true;
    // Text arrives in pieces; the count goes on from one piece to the next.
    QTest::newRow("form feed after many line ends") << QByteArray(200000, '\n') + "abcde\f" << true;
    QTest::newRow("sixth letter after many line ends") << "abcde\f" + QByteArray(200000, '\r') + "f" << false;
    QTest::newRow("NUL") << QByteArray(1, '\0') << true;
    QTest::newRow("space is readable") << QByteArray("      \f") << false;
    QTest::newRow("tilde 126 readable") << QByteArray("~~~~~~\x1f") << false;
    QTest::newRow("DEL 127") << QByteArray("\x7f") << true;
    QTest::newRow("159 unreadable") << QByteArray("abc\x9f") << true;
    QTest::newRow("128 unreadable") << QByteArray("\x80") << true;
    QTest::newRow("no-break space 160 readable") << QByteArray("\xa0\xa0\xa0\xa0\xa0\xa0\f") << false;
    QTest::newRow("accented letters readable") << QByteArray("\xe9\xe8\xff\xe0\xfc\xf6\x01") << false;
    QTest::newRow("five high bytes, control") << QByteArray("\xe9\xe8\xff\xe0\xfc\x01") << true;
    // Each byte counts alone: a UTF-8 no-break space is two readable bytes.
    QTest::newRow("UTF-8 no-break spaces") << QByteArray("\xc2\xa0\xc2\xa0\xc2\xa0\f") << false;
}

void TestConvertedText::judgesReadability()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, unreadable);
    for (const qsizetype pieceSize : {bytes.size() + 1, qsizetype(7), qsizetype(1)}) {
        TextReadability readability;
        for (qsizetype at = 0; at < bytes.size() && !readability.settled(); at += pieceSize)
            readability.examine(QByteArrayView(bytes).sliced(at, std::min(pieceSize, bytes.size() - at)));
        QCOMPARE(readability.unreadable(), unreadable);
    }
}

void TestConvertedText::readsTextForDisplay_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII with line ends")
        << QByteArray("a@b.org\r\n\fpage 2\n") << u"a@b.org\r\n\fpage 2\n"_s;
    QTest::newRow("valid UTF-8") << QByteArray("caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x93\xa7") << u"café – 📧"_s;
    QTest::newRow("Latin-1 byte among UTF-8")
        << QByteArray("caf\xe9 na\xc3\xafve") << u"caf\u00e9 na\u00efve"_s;
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << u"a\u0080z"_s;
    QTest::newRow("truncated sequence at end") << QByteArray("x\xe2\x82") << u"x\u00e2\u0082"_s;
    QTest::newRow("truncated sequence mid-text")
        << QByteArray("\xe2\x82 \xe2\x82\xac") << u"\u00e2\u0082 €"_s;
    QTest::newRow("overlong encoding") << QByteArray("\xc0\xaf") << u"\u00c0\u00af"_s;
    QTest::newRow("surrogate half") << QByteArray("\xed\xa0\x80") << u"\u00ed\u00a0\u0080"_s;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << u"\u00f4\u0090\u0080\u0080"_s;
    QTest::newRow("leading byte order mark dropped")
        << QByteArray("\xef\xbb\xbfz\xef\xbb\xbf") << u"z\ufeff"_s;
    QTest::newRow("byte order mark after a stray byte")
        << QByteArray("\xff\xef\xbb\xbfz") << u"\u00ff\ufeffz"_s;
    QTest::newRow("encoded replacement character kept")
        << QByteArray("\xef\xbf\xbd\xff") << u"\ufffd\u00ff"_s;
    // A converter's drawn underscore is an underscore to a reader.
    QTest::newRow("drawn underscore") << QByteArray("dr\xee\x81\x9fkremlin@x.org") << u"dr_kremlin@x.org"_s;
}

void TestConvertedText::readsTextForDisplay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DisplayText(bytes), text);
}

QTEST_GUILESS_MAIN(TestConvertedText)
#include "tst_convertedtext.moc"
