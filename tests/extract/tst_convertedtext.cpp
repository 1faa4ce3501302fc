#include "extract/ConvertedText.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

using Lines = QList<QByteArray>;

class TestConvertedText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void splitsLines_data();
    void splitsLines();
    void splitsRandomLineEndsLikeThePlainRule();
    void judgesReadability_data();
    void judgesReadability();
    void missingOrUnopenableFileGivesNothing();
    void readsWholeFileForDisplay_data();
    void readsWholeFileForDisplay();

private:
    QString write(const QByteArray &bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_files = 0;
};

void TestConvertedText::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestConvertedText::write(const QByteArray &bytes)
{
    QString path = m_dir->filePath(u"text%1.txt"_s.arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestConvertedText::splitsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Lines>("lines");

    QTest::newRow("empty file") << QByteArray() << Lines();
    QTest::newRow("no line end") << QByteArray("one") << Lines{"one"};
    QTest::newRow("final LF") << QByteArray("one\n") << Lines{"one"};
    QTest::newRow("final CR LF") << QByteArray("one\r\n") << Lines{"one"};
    QTest::newRow("final CR") << QByteArray("one\r") << Lines{"one"};
    QTest::newRow("mixed ends") << QByteArray("a\r\nb\rc\nd") << Lines{"a", "b", "c", "d"};
    QTest::newRow("line end only") << QByteArray("\r\n") << Lines{""};
    QTest::newRow("empty lines kept") << QByteArray("a\n\nb\r\n\r\n") << Lines{"a", "", "b", ""};
    QTest::newRow("CR-only text") << QByteArray("a\rb\r\rc\nd\re\r") << Lines{"a", "b", "", "c", "d", "e"};
    QTest::newRow("LF then CR is two ends") << QByteArray("a\n\rb") << Lines{"a", "", "b"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << Lines{"a", "", "b"};
    QTest::newRow("form feed and NUL stay")
        << QByteArray("x\fy\0z\n\f", 7) << Lines{QByteArray("x\fy\0z", 5), "\f"};
    QTest::newRow("high bytes stay") << QByteArray("caf\xe9\r\n\xc2\xa0") << Lines{"caf\xe9", "\xc2\xa0"};
}

void TestConvertedText::splitsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Lines, lines);
    QCOMPARE(ReadFileToStringFSOLine(write(bytes)), lines);
}

void TestConvertedText::splitsRandomLineEndsLikeThePlainRule()
{
    QRandomGenerator random(1254);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\f'};
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        for (int i = int(random.bounded(40)); i > 0; --i)
            bytes += alphabet[random.bounded(int(sizeof alphabet))];
        // Byte by byte: CR, LF and CR LF each end a line; what follows the last end, if anything, is a line.
        Lines expected;
        QByteArray line;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\r' || bytes[i] == '\n') {
                expected.append(line);
                line.clear();
                if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                    ++i;
            } else {
                line += bytes[i];
            }
        }
        if (!line.isEmpty())
            expected.append(line);
        QCOMPARE(ReadFileToStringFSOLine(write(bytes)), expected);
    }
}

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
    // Files are examined in blocks; the count goes on from one block to the next.
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
    QCOMPARE(IsUnreadableText(bytes), unreadable);
    QCOMPARE(NoTextPDF(write(bytes)), unreadable);
}

void TestConvertedText::missingOrUnopenableFileGivesNothing()
{
    const QString missing = m_dir->filePath(u"missing.txt"_s);
    QCOMPARE(ReadFileToStringFSOLine(missing), Lines());
    QCOMPARE(NoTextPDF(missing), false);
    QCOMPARE(ReadWholeFile(missing), QString());
    QVERIFY(!QFile::exists(missing)); // reading creates nothing

    QCOMPARE(ReadFileToStringFSOLine(m_dir->path()), Lines());
    QCOMPARE(ReadWholeFile(m_dir->path()), QString());
}

void TestConvertedText::readsWholeFileForDisplay_data()
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
}

void TestConvertedText::readsWholeFileForDisplay()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(ReadWholeFile(write(bytes)), text);
}

QTEST_GUILESS_MAIN(TestConvertedText)
#include "tst_convertedtext.moc"
