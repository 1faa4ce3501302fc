#include "convert/WaitProgress.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestWaitProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captionStaysQuietForFiveSeconds();
    void captionCountsOn_data();
    void captionCountsOn();
    void creep_data();
    void creep();
};

void TestWaitProgress::captionStaysQuietForFiveSeconds()
{
    QVERIFY(!WaitCaption(u"Processing: a.pdf"_s, 1));
    QVERIFY(!WaitCaption(u"Processing: a.pdf"_s, 49));
    QCOMPARE(RestingCaption(u"Processing: a.pdf"_s), u"Processing: a.pdf"_s);
    QCOMPARE(RestingCaption(QString()), u"Progress Bar"_s);
}

void TestWaitProgress::captionCountsOn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("caption");
    QTest::newRow("batch at 50") << u"Processing: a.pdf"_s << 50 << u"Processing: a.pdf, Please wait.. 0"_s;
    QTest::newRow("batch at 73") << u"Processing: a.pdf"_s << 73 << u"Processing: a.pdf, Please wait.. 23"_s;
    QTest::newRow("preview has no comma") << QString() << 52 << u"Please wait.. 2"_s;
}

void TestWaitProgress::captionCountsOn()
{
    QFETCH(QString, text);
    QFETCH(int, counter);
    QFETCH(QString, caption);
    QCOMPARE(WaitCaption(text, counter).value_or(u"<none>"_s), caption);
}

void TestWaitProgress::creep_data()
{
    QTest::addColumn<int>("fileCount");
    QTest::addColumn<int>("progressValue");
    QTest::addColumn<QList<int>>("counters");
    QTest::addColumn<QList<int>>("values"); // -1: the bar is left alone
    // Preview: step 10, cap 90, from 0.
    QTest::newRow("preview") << 0 << 0 << QList<int>{49, 50, 51, 200, 350, 1250, 1400, 2000}
                             << QList<int>{-1, 0, -1, 10, 20, 80, 90, 90};
    // One file: value 100, step 10, cap 190, so the bar is driven past full.
    QTest::newRow("one file") << 1 << 100 << QList<int>{50, 200, 350} << QList<int>{100, 110, 120};
    // Four files, third one: step round(2.5) = 2, cap round(25 + 75 - 2) = 98.
    QTest::newRow("half to even") << 4 << 75 << QList<int>{50, 200, 1550, 1700} << QList<int>{75, 77, 95, 97};
    // Twenty files or more: step 0, the bar stands still.
    QTest::newRow("many files") << 40 << 10 << QList<int>{50, 200, 5000} << QList<int>{10, 10, 10};
    // Last of three: step round(3.33) = 3, cap round(130.33) = 130.
    QTest::newRow("last of three") << 3 << 100 << QList<int>{50, 200, 5000} << QList<int>{100, 103, 130};
}

void TestWaitProgress::creep()
{
    QFETCH(int, fileCount);
    QFETCH(int, progressValue);
    QFETCH(QList<int>, counters);
    QFETCH(QList<int>, values);
    for (qsizetype i = 0; i < counters.size(); ++i)
        QCOMPARE(CreepValue(counters[i], fileCount, progressValue).value_or(-1), values[i]);
}

QTEST_GUILESS_MAIN(TestWaitProgress)
#include "tst_waitprogress.moc"
