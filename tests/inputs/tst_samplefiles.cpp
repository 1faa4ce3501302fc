#include "inputs/SampleFiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestSampleFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyIsEightLowerCaseLetters();
    void everyByteComesBack();
    void shiftExamples_data();
    void shiftExamples();
    void pathsSurviveTheSettingsStore_data();
    void pathsSurviveTheSettingsStore();
    void listsTheSampleFolder();
};

void TestSampleFiles::keyIsEightLowerCaseLetters()
{
    const QString key = SampleKey();
    QCOMPARE(key.size(), 8);
    for (QChar c : key)
        QVERIFY(c >= u'a' && c <= u'z');
}

void TestSampleFiles::everyByteComesBack()
{
    // Every code from 1 to 255 at every key position.
    QByteArray all;
    for (int round = 0; round < 8; ++round) {
        for (int code = 1; code <= 255; ++code)
            all.append(static_cast<char>(code));
    }
    const QByteArray key = SampleKey().toLatin1();
    const QByteArray scrambled = ScrambleBytes(all, key);
    QCOMPARE(scrambled.size(), all.size());
    QVERIFY(!scrambled.contains('\0'));
    QVERIFY(scrambled != all);
    QCOMPARE(UnscrambleBytes(scrambled, key), all);
    // Scrambling is one to one on each key byte: the 255 codes give 255 results.
    for (int k = 0; k < key.size(); ++k) {
        QSet<char> results;
        for (int code = 1; code <= 255; ++code)
            results.insert(ScrambleBytes(QByteArray(1, static_cast<char>(code)), key.mid(k, 1)).at(0));
        QCOMPARE(results.size(), 255);
    }
}

void TestSampleFiles::shiftExamples_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("scrambled");
    // A code plus the key's code of 300 wraps to 45.
    QTest::newRow("wraps past 255") << QByteArray(1, char(300 - 'z')) << QByteArray("zzzzzzzz")
                                    << QByteArray("-");
    QTest::newRow("255 exactly stays")
        << QByteArray(1, char(255 - 'a')) << QByteArray("abcdefgh") << QByteArray(1, char(255));
    QTest::newRow("256 wraps to 1") << QByteArray(1, char(256 - 'a')) << QByteArray("abcdefgh")
                                    << QByteArray(1, char(1));
    // The ninth character is shifted by the key's first letter again.
    QByteArray shifted;
    for (char k : QByteArrayView("abcdefghab"))
        shifted.append(static_cast<char>('A' + k));
    QTest::newRow("key repeats") << QByteArray("AAAAAAAAAA") << QByteArray("abcdefgh") << shifted;
}

void TestSampleFiles::shiftExamples()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, scrambled);
    QCOMPARE(ScrambleBytes(text, key), scrambled);
    QCOMPARE(UnscrambleBytes(scrambled, key), text);
}

void TestSampleFiles::pathsSurviveTheSettingsStore_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain")
        << u"/opt/pelmora/share/pelmora/Samples/a.pdf|/opt/pelmora/share/pelmora/Samples/b.pdf"_s;
    QTest::newRow("accents and CJK") << u"/home/zoë/Schränke/样本/ß.pdf"_s;
    QTest::newRow("spaces, quotes, equals, semicolons") << u"/tmp/a b/\"q\"=1;x,y#z\\w.pdf"_s;
    QTest::newRow("empty") << QString();
}

void TestSampleFiles::pathsSurviveTheSettingsStore()
{
    QFETCH(QString, text);
    const QString scrambled = ScrambleText(text, SampleKey());
    QCOMPARE(scrambled.size(), text.toUtf8().size());
    for (QChar c : scrambled)
        QVERIFY(c.unicode() >= 1 && c.unicode() <= 255);
    QTemporaryDir temp;
    const QString ini = temp.filePath(u"store.ini"_s);
    {
        QSettings store(ini, QSettings::IniFormat);
        store.setValue(u"Pelmora/Snapshot"_s, scrambled);
    }
    QSettings store(ini, QSettings::IniFormat);
    const QString stored = store.value(u"Pelmora/Snapshot"_s).toString();
    QCOMPARE(stored, scrambled);
    QCOMPARE(UnscrambleText(stored, SampleKey()), text);
    QCOMPARE(RecordedSamples(stored), text.isEmpty() ? QStringList() : text.split(u'|'));
}

void TestSampleFiles::listsTheSampleFolder()
{
    QTemporaryDir program;
    QCOMPARE(SampleListText(program.path()), QString()); // no sample folder
    QVERIFY(QDir(program.path()).mkpath(u"Samples/sub"_s));
    QCOMPARE(SampleListText(program.path()), QString()); // folders are not samples
    for (const QString &name : {u"b.pdf"_s, u"a.pdf"_s, u"notes.txt"_s, u".hidden.pdf"_s}) {
        QFile file(program.filePath(u"Samples/"_s + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString folder = program.path() + u"/Samples/"_s;
    const QStringList listed = SampleListText(program.path()).split(u'|');
    QCOMPARE(listed.size(), 4);
    QVERIFY(listed.contains(folder + u".hidden.pdf"_s));
    QVERIFY(listed.contains(folder + u"notes.txt"_s));
    QVERIFY(listed.indexOf(folder + u"a.pdf"_s) < listed.indexOf(folder + u"b.pdf"_s));
    QCOMPARE(RecordedSamples(ScrambleText(listed.join(u'|'), SampleKey())), listed);
}

QTEST_GUILESS_MAIN(TestSampleFiles)
#include "tst_samplefiles.moc"
