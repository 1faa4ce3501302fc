#include "EngineFixture.h"
#include "RunInvariants.h"
#include "RunToEnd.h"
#include "TestData.h"
#include "cache/ResultsCache.h"
#include "run/BatchRun.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

using Host = test::ScriptedRunHost;
using Outcome = test::RunOutcome;

class TestBatchRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void ordersResultsByRowLineAndPosition();
    void parallelRunsGiveTheSameOutcome_data();
    void parallelRunsGiveTheSameOutcome();
    void reportsEachKindOfUnreadableFile();
    void asksForPasswordsAsTheOptionsSay_data();
    void asksForPasswordsAsTheOptionsSay();
    void readsTheOptionsAgainForEveryFile();
    void progressGrowsAndEndsAtRest();
    void abortLeavesNothingBehind();
    void workerKilledMidFileLosesOnlyThatFile();
    void abortWhilePromptingIsSafe();
    void eachAddressKeepsItsFirstSighting_data();
    void eachAddressKeepsItsFirstSighting();
    void recognitionReadsOnlyScannedPages();
    void unsureRecognisedAddressesAreLeftOutUnlessConfirmed_data();
    void unsureRecognisedAddressesAreLeftOutUnlessConfirmed();
    void stopKeepsWhatIsListed();
    void cachedRunsGiveTheSameOutcome_data();
    void cachedRunsGiveTheSameOutcome();
    void filesAreKnownAgainOnlyAsTheyWere();
    void splitFilesGiveTheSameOutcome_data();
    void splitFilesGiveTheSameOutcome();

private:
    Outcome run(const QStringList &pdfs, Host &host, int jobs)
    {
        return test::runToEnd(*m_engine, pdfs, host, jobs);
    }
    std::unique_ptr<BatchRun> makeRun(Host &host, const QStringList &pdfs, int jobs, RunRequest like = {})
    {
        like.files = pdfs;
        like.jobs = jobs;
        auto batch = std::make_unique<BatchRun>(*m_engine->converter, m_engine->clock, like);
        host.attach(*batch);
        return batch;
    }
    static RunRequest readingScans()
    {
        RunRequest request;
        request.recognition = QStringLiteral("eng");
        return request;
    }
    void collectAddresses(BatchRun &batch, QStringList &found)
    {
        connect(&batch, &BatchRun::addressesFound, this, [&found](const QList<AddressSource> &addresses) {
            for (const AddressSource &address : addresses)
                found.append(address.address);
        });
    }
    QString pdf(const QString &name, const QString &directive, const QByteArray &text) const
    {
        return m_engine->writePdf(name, directive, text);
    }
    // Conversions logged since the fixture began.
    qsizetype conversions() const { return m_engine->fake->loggedCalls().size(); }
    std::unique_ptr<test::EngineFixture> m_engine;
};

void TestBatchRun::init()
{
    m_engine = std::make_unique<test::EngineFixture>();
    QVERIFY(m_engine->isValid());
}

void TestBatchRun::cleanup()
{
    m_engine.reset();
}

void TestBatchRun::ordersResultsByRowLineAndPosition()
{
    const QString a = pdf(u"a.pdf"_s, u"TEXT"_s, "one@x.com two@x.com\nSales@Example.com\n");
    const QString b = pdf(u"b.pdf"_s, u"TEXT"_s, "sales@example.com three@x.com one@x.com\n");
    Host host;
    // b listed twice: converted twice, its addresses once.
    const Outcome outcome = run({a, b, b}, host, 1);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses,
             (QStringList{u"one@x.com"_s, u"two@x.com"_s, u"Sales@Example.com"_s, u"three@x.com"_s}));
    QVERIFY(outcome.unreadable.isEmpty());
    QCOMPARE(SummaryMessage(outcome.unreadable), u"Done."_s);
    QCOMPARE(m_engine->fake->loggedCalls().size(), 3);

    // A second run finds them all again: uniqueness lasts one run.
    Host again;
    const Outcome second = run({b}, again, 1);
    QVERIFY(second.ended);
    QCOMPARE(second.addresses, (QStringList{u"sales@example.com"_s, u"three@x.com"_s, u"one@x.com"_s}));
}

void TestBatchRun::parallelRunsGiveTheSameOutcome_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("two") << 2;
    QTest::newRow("four") << 4;
    QTest::newRow("eight") << 8;
}

void TestBatchRun::parallelRunsGiveTheSameOutcome()
{
    QFETCH(int, jobs);
    // Files that finish out of order: early rows sleep longer than late ones.
    QRandomGenerator random(42);
    QStringList pdfs;
    for (int i = 0; i < 24; ++i) {
        const QString name = u"f%1.pdf"_s.arg(i);
        QByteArray text;
        for (int k = 0; k < 5; ++k) {
            const quint32 n = random.bounded(30);
            text += (n % 3 ? "user" : "USER") + QByteArray::number(n) + "@host.org other words\n";
        }
        switch (i % 6) {
        case 1:
            pdfs << pdf(name, u"NOTHING"_s, {});
            break;
        case 2:
            pdfs << pdf(name, u"TEXT"_s, "\f\f12\f");
            break;
        case 3:
            pdfs << pdf(name, u"SLEEP 0.0%1"_s.arg(9 - i / 3), text);
            break;
        default:
            pdfs << pdf(name, u"TEXT"_s, text);
        }
    }
    pdfs << pdfs.at(4) << u"/nonexistent/vanished.pdf"_s;

    Host serialHost;
    const Outcome serial = run(pdfs, serialHost, 1);
    QVERIFY(serial.ended);
    Host parallelHost;
    const Outcome parallel = run(pdfs, parallelHost, jobs);
    QVERIFY(parallel.ended);
    QVERIFY(serial.addresses.size() > 10);
    QCOMPARE(parallel.addresses, serial.addresses);
    QCOMPARE(SummaryMessage(parallel.unreadable), SummaryMessage(serial.unreadable));
    QCOMPARE(serial.unreadable.size(), 9);
}

void TestBatchRun::reportsEachKindOfUnreadableFile()
{
    const QString locked = pdf(u"locked.pdf"_s, u"NEEDS secret"_s, "l@x.com\n");
    const QString scanned = pdf(u"scan.pdf"_s, u"TEXT"_s, "\f\f\f");
    const QString empty = pdf(u"empty.pdf"_s, u"TEXT"_s, "");
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "g@x.com\n");
    // Not the file's fault: the converter says what went wrong, and so does the report.
    const QString failed = pdf(u"failed.pdf"_s, u"FAIL no model for deu"_s, "f@x.com\n");

    Host none;
    const Outcome plain = run({locked, scanned, empty, good, failed}, none, 2);
    QVERIFY(plain.ended);
    QCOMPARE(plain.addresses, QStringList{u"g@x.com"_s});
    QCOMPARE(plain.unreadable,
             (QList<UnreadableFile>{{locked, UnreadableReason::Protected},
                                    {scanned, UnreadableReason::TextUnreadable},
                                    {failed, UnreadableReason::Failed, u"no model for deu"_s}}));
    QCOMPARE(
        SummaryMessage(plain.unreadable),
        u"Done.\r\nThe following files could not be read:\r\n"_s + locked +
            u"  - password protected or text is protected.\r\n"_s + scanned +
            u"  - text unreadable. Please view the file yourself to see if it is really a scanned image of "
            u"text and not proper PDF text.\r\n"_s +
            failed + u"  - could not be converted: no model for deu"_s);

    Host wrong;
    wrong.mode = PasswordMode::SameForAll;
    wrong.answers = {u"guess"_s};
    const Outcome guessed = run({locked, good}, wrong, 2);
    QVERIFY(guessed.ended);
    QCOMPARE(guessed.unreadable, (QList<UnreadableFile>{{locked, UnreadableReason::InvalidPassword}}));
    QCOMPARE(guessed.addresses, QStringList{u"g@x.com"_s}); // a wrong password does not spoil an open file
}

void TestBatchRun::asksForPasswordsAsTheOptionsSay_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("asked"); // names of the files prompted for, "*" for all files
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("reasons"); // of l1 and l2 when unreadable
    const QStringList all{u"l1@x.com"_s, u"open@x.com"_s, u"l2@x.com"_s};
    QTest::newRow("none") << int(PasswordMode::None) << QStringList() << QStringList()
                          << QStringList{u"open@x.com"_s} << QStringList{u"protected"_s, u"protected"_s};
    // One prompt, at the first file that needs it; its answer opens the later one too.
    QTest::newRow("same for all") << int(PasswordMode::SameForAll) << QStringList{u"secret"_s}
                                  << QStringList{u"*"_s} << all << QStringList();
    QTest::newRow("same for all, cancelled")
        << int(PasswordMode::SameForAll) << QStringList() << QStringList{u"*"_s}
        << QStringList{u"open@x.com"_s} << QStringList{u"protected"_s, u"protected"_s};
    QTest::newRow("same for all, wrong")
        << int(PasswordMode::SameForAll) << QStringList{u"guess"_s} << QStringList{u"*"_s}
        << QStringList{u"open@x.com"_s} << QStringList{u"invalid"_s, u"invalid"_s};
    // Only the protected files are asked for, in row order.
    QTest::newRow("per file") << int(PasswordMode::PerFile) << QStringList{u"secret"_s, u"secret"_s}
                              << QStringList{u"l1"_s, u"l2"_s} << all << QStringList();
    QTest::newRow("per file, one blank, one wrong")
        << int(PasswordMode::PerFile) << QStringList{QString(), u"guess"_s} << QStringList{u"l1"_s, u"l2"_s}
        << QStringList{u"open@x.com"_s} << QStringList{u"protected"_s, u"invalid"_s};
}

void TestBatchRun::asksForPasswordsAsTheOptionsSay()
{
    QFETCH(int, mode);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, reasons);
    const QString l1 = pdf(u"l1.pdf"_s, u"NEEDS secret"_s, "l1@x.com\n");
    const QString open = pdf(u"open.pdf"_s, u"TEXT"_s, "open@x.com\n");
    const QString l2 = pdf(u"l2.pdf"_s, u"NEEDS secret"_s, "l2@x.com\n");
    for (const int jobs : {1, 3}) {
        Host host;
        host.mode = PasswordMode(mode);
        host.answers = answers;
        const Outcome outcome = run({l1, open, l2}, host, jobs);
        QVERIFY(outcome.ended);
        QStringList names;
        for (const QString &file : std::as_const(host.asked))
            names.append(file == u"*"_s ? file : QFileInfo(file).baseName());
        QCOMPARE(names, asked);
        QCOMPARE(outcome.addresses, addresses);
        QList<UnreadableFile> unreadable;
        for (qsizetype i = 0; i < reasons.size(); ++i)
            unreadable.append({i == 0 ? l1 : l2, reasons[i] == u"protected"_s
                                                     ? UnreadableReason::Protected
                                                     : UnreadableReason::InvalidPassword});
        QCOMPARE(outcome.unreadable, unreadable);
    }
}

void TestBatchRun::readsTheOptionsAgainForEveryFile()
{
    const QString a = pdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com\n");
    const QString b = pdf(u"b.pdf"_s, u"NEEDS pw"_s, "b@x.com\n");
    const QString c = pdf(u"c.pdf"_s, u"NEEDS pw"_s, "c@x.com\n");
    Host host;
    host.mode = PasswordMode::PerFile;
    host.answers = {u"pw"_s, u"pw"_s};
    // While asked for b, the user unticks the box: c, which needs a password too, is not asked for.
    host.whilePrompting = [&] { host.mode = PasswordMode::None; };
    const Outcome outcome = run({a, b, c}, host, 1);
    QVERIFY(outcome.ended);
    QCOMPARE(host.asked, QStringList{b});
    QCOMPARE(outcome.addresses, (QStringList{u"a@x.com"_s, u"b@x.com"_s}));
    QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{c, UnreadableReason::Protected}}));
}

void TestBatchRun::progressGrowsAndEndsAtRest()
{
    QStringList pdfs;
    for (int i = 0; i < 4; ++i)
        pdfs << pdf(u"p%1.pdf"_s.arg(i), u"TEXT"_s, "p@x.com\n");
    Host host;
    const Outcome outcome = run(pdfs, host, 1);
    QVERIFY(outcome.ended);
    QList<int> starts;
    int previous = 0;
    for (const auto &[value, caption] : outcome.progress) {
        if (caption.startsWith(u"Processing: "_s) && value != previous)
            starts.append(value);
        previous = value;
    }
    QCOMPARE(starts, (QList<int>{25, 50, 75, 100}));
    QCOMPARE(outcome.progress.last(), (QPair<int, QString>{0, u"Progress Bar"_s}));
    QVERIFY(outcome.progress.contains(QPair<int, QString>{100, u"Processing: p3.pdf"_s}));
}

void TestBatchRun::abortLeavesNothingBehind()
{
    QStringList pdfs;
    for (int i = 0; i < 3; ++i)
        pdfs << pdf(u"s%1.pdf"_s.arg(i), u"SLEEP 60"_s, "s@x.com\n");
    Host host;
    auto batch = makeRun(host, pdfs, 3);
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 3);
    batch.reset();
    QTRY_VERIFY(m_engine->allConvertersGone());
    QCOMPARE(finished.size(), 0);
}

void TestBatchRun::workerKilledMidFileLosesOnlyThatFile()
{
    m_engine = std::make_unique<test::EngineFixture>(test::EngineFixture::Kind::FakeService);
    QVERIFY(m_engine->isValid());
    const QString a = pdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com\f");
    const QString hang = pdf(u"hang.pdf"_s, u"HANG"_s, "never@x.com\f");
    const QString b = pdf(u"b.pdf"_s, u"TEXT"_s, "b@x.com\f");
    const QString c = pdf(u"c.pdf"_s, u"TEXT"_s, "c@x.com\f");
    Host host;
    const Outcome outcome = test::runToEnd(*m_engine, {a, hang, b, c}, host, 2, [&] {
        // As the run starts: once the hanging file is on a worker, that worker is killed.
        QTimer::singleShot(0, this, [&] {
            QString onHang;
            QTRY_VERIFY((onHang = m_engine->fake->loggedCalls().filter(hang).value(0)).size() > 0);
            ::kill(static_cast<pid_t>(onHang.section(u' ', 0, 0).toLongLong()), SIGKILL);
        });
    });
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses, (QStringList{u"a@x.com"_s, u"b@x.com"_s, u"c@x.com"_s}));
    QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{hang, UnreadableReason::Damaged}}));
}

void TestBatchRun::abortWhilePromptingIsSafe()
{
    const QString a = pdf(u"a.pdf"_s, u"NEEDS x"_s, "a@x.com\n");
    const QString b = pdf(u"b.pdf"_s, u"NEEDS y"_s, "b@x.com\n");
    Host host;
    host.mode = PasswordMode::PerFile;
    host.answers = {u"x"_s};
    auto batch = makeRun(host, {a, b}, 1);
    // The window is closed while the second prompt is open.
    host.whilePrompting = [&] {
        if (host.asked.size() == 2)
            batch.reset();
    };
    QStringList found;
    collectAddresses(*batch, found);
    batch->start();
    QTRY_VERIFY_WITH_TIMEOUT(!batch, 10000);
    QCOMPARE(host.asked.size(), 2);
    QVERIFY(m_engine->allConvertersGone());
    QCoreApplication::processEvents(); // nothing queued for the run is left to go wrong
}

void TestBatchRun::eachAddressKeepsItsFirstSighting_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("three at once") << 3;
}

void TestBatchRun::eachAddressKeepsItsFirstSighting()
{
    QFETCH(int, jobs);
    const QString a = pdf(u"a.pdf"_s, u"SLEEP 0.2"_s, "Some@X.com\fother@x.com some@x.com\f");
    // Its second page is whole when the worker dies and counts; the third, cut at "never@x.co", does not.
    const QString crash = pdf(u"crash.pdf"_s, u"CRASH 37"_s, "one\fother@x.com late@x.com\fnever@x.com\f");
    const QString b = pdf(u"b.pdf"_s, u"TEXT"_s, "\f\fSOME@x.com third@x.com\f");
    Host host;
    const Outcome outcome = run({a, crash, b}, host, jobs);
    QVERIFY(outcome.ended);
    QStringList found;
    for (const AddressSource &address : outcome.found)
        found.append(u"%1 %2 page %3 count %4"_s.arg(address.address, QFileInfo(address.file).fileName())
                         .arg(address.page)
                         .arg(address.counted()));
    QCOMPARE(found.join(u"; "_s), u"Some@X.com a.pdf page 1 count 3; other@x.com a.pdf page 2 count 2; "
                                  u"late@x.com crash.pdf page 2 count 1; third@x.com b.pdf page 3 count 1"_s);
    QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{crash, UnreadableReason::Damaged}}));
}

void TestBatchRun::recognitionReadsOnlyScannedPages()
{
    // Recognised pages are mended as tesseract misreads them; typed text means what it says.
    const QString text = pdf(u"text.pdf"_s, u"TEXT"_s, "typed@x.com DeOliveira@x.com name @x.com\f");
    const QString scan = pdf(u"scan.pdf"_s, u"SCAN"_s, "first @x.com\fs3cOnd@x.com\f");
    Host unread;
    const Outcome without = run({text, scan}, unread, 1);
    QCOMPARE(without.addresses, (QStringList{u"typed@x.com"_s, u"DeOliveira@x.com"_s}));
    QCOMPARE(without.unreadable, (QList<UnreadableFile>{{scan, UnreadableReason::TextUnreadable}}));

    Host host;
    auto batch = makeRun(host, {text, scan}, 1, readingScans());
    QStringList captions;
    connect(batch.get(), &BatchRun::progressChanged, this,
            [&](int, const QString &caption) { captions.append(caption); });
    QStringList found;
    collectAddresses(*batch, found);
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(found,
             (QStringList{u"typed@x.com"_s, u"DeOliveira@x.com"_s, u"first@x.com"_s, u"s3c0nd@x.com"_s}));
    QVERIFY(batch->unreadableFiles().isEmpty());
    QVERIFY(captions.contains(u"Reading scanned pages: scan.pdf (page 1 of 2)"_s));
    QVERIFY(captions.contains(u"Reading scanned pages: scan.pdf (page 2 of 2)"_s));
    QVERIFY(m_engine->fake->loggedCalls().last().contains(u" ocr=1 "_s));
}

void TestBatchRun::unsureRecognisedAddressesAreLeftOutUnlessConfirmed_data()
{
    eachAddressKeepsItsFirstSighting_data();
}

void TestBatchRun::unsureRecognisedAddressesAreLeftOutUnlessConfirmed()
{
    QFETCH(int, jobs);
    // An unsure reading is confirmed by the run's text, in the same file or another, of
    // itself or of a single reading's version of it.
    const QString scan =
        pdf(u"scan.pdf"_s, u"SCAN"_s,
            "sure@x.com\nUNSURE conf1rmed@x.com confirmed@x.com\nUNSURE left@x.com 1eft@x.com\n"
            "UNSURE LEFT@x.com\nUNSURE Twice@x.com\nend\f");
    const QString text = pdf(u"text.pdf"_s, u"TEXT"_s, "confirmed@x.com twice@x.com\f");
    // The same again with the cache filled: the scan, whose unsure addresses count only as
    // the run decides, is converted again; the text is taken from the cache.
    ResultsCache cache(m_engine->temp.filePath(u"cache"_s), m_engine->clock);
    for (const qsizetype converted : {2, 1}) {
        const qsizetype before = conversions();
        Host host;
        auto batch = makeRun(host, {scan, text}, jobs, readingScans());
        batch->setResultsCache(&cache);
        QStringList found;
        collectAddresses(*batch, found);
        QSignalSpy finished(batch.get(), &BatchRun::finished);
        batch->start();
        QVERIFY(m_engine->runUntil([&] { return !finished.isEmpty(); }));
        QCOMPARE(conversions() - before, converted);
        QCOMPARE(found, (QStringList{u"sure@x.com"_s, u"confirmed@x.com"_s, u"twice@x.com"_s}));
        // Each once, whatever its letter case.
        QCOMPARE(batch->unsureFindings(),
                 (QList<UnsureFinding>{{scan, 1, u"left@x.com"_s, {u"1eft@x.com"_s}}}));
        QCOMPARE(SummaryMessage(batch->unreadableFiles(), batch->unsureFindings().size()),
                 u"Done.\r\n1 recognised address was left out: its readings did not agree."_s);
    }
}

void TestBatchRun::stopKeepsWhatIsListed()
{
    const QString a = pdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com\f");
    const QString wait = pdf(u"wait.pdf"_s, u"WAIT"_s, "w@x.com\f");
    QStringList pdfs{a, wait};
    for (int i = 0; i < 5; ++i)
        pdfs << pdf(u"s%1.pdf"_s.arg(i), u"SLEEP 60"_s, "s@x.com\f");
    Host host;
    auto batch = makeRun(host, pdfs, 3);
    QStringList found;
    collectAddresses(*batch, found);
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    QTRY_COMPARE(found, QStringList{u"a@x.com"_s});
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 4); // a, then three at once
    batch->stop();
    QCOMPARE(finished.size(), 1);
    QVERIFY(batch->isStopped());
    QCOMPARE(batch->reportedCount(), 1);
    QVERIFY(m_engine->release(wait)); // too late: its worker is gone
    QTRY_VERIFY(m_engine->allConvertersGone());
    QCOMPARE(found, QStringList{u"a@x.com"_s});
    QCOMPARE(m_engine->fake->loggedCalls().size(), 4);
    QCOMPARE(finished.size(), 1);
}

void TestBatchRun::cachedRunsGiveTheSameOutcome_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("three at once") << 3;
}

void TestBatchRun::cachedRunsGiveTheSameOutcome()
{
    QFETCH(int, jobs);
    QByteArray book;
    for (int page = 1; page <= 30; ++page)
        book += "Page " + QByteArray::number(page) + " of the book, by Reader" +
                QByteArray::number(page % 7) + "@x.com and shared@X.com\f";
    const QString a = pdf(u"a.pdf"_s, u"TEXT"_s, "shared@x.com one@x.com\fname [at] example [dot] org\f");
    const QStringList pdfs{a,
                           pdf(u"book.pdf"_s, u"TEXT"_s, book),
                           pdf(u"scan.pdf"_s, u"SCAN"_s, "scan@x.com\f"),
                           pdf(u"broken.pdf"_s, u"NOTHING"_s, {}),
                           pdf(u"crash.pdf"_s, u"CRASH 20"_s, "crash@x.com words\flost@x.com\f"),
                           pdf(u"late.pdf"_s, u"SLEEP 0.2"_s, "late@x.com SHARED@x.com\f"),
                           pdf(u"locked.pdf"_s, u"NEEDS pw"_s, "locked@x.com secret words\f"),
                           a};
    const auto runWith = [&](ResultsCache *cache) {
        Host host;
        host.mode = PasswordMode::SameForAll;
        host.answers = {u"pw"_s};
        RunRequest disguised;
        disguised.rules = {kDefaultAddressRules | AddressRule::Disguised, {}};
        return test::runToEnd(
            *m_engine, pdfs, host, jobs, {}, [&](BatchRun &batch) { batch.setResultsCache(cache); },
            disguised);
    };
    const Outcome converted = runWith(nullptr);
    QVERIFY(converted.ended);
    QCOMPARE(converted.addresses.size(), 13);
    ResultsCache cache(m_engine->temp.filePath(u"cache"_s), m_engine->clock);
    for (const char *round : {"filling", "taking"}) {
        const qsizetype before = conversions();
        const Outcome outcome = runWith(&cache);
        QVERIFY2(outcome.ended, round);
        QCOMPARE(test::AllFormats(outcome), test::AllFormats(converted));
        QCOMPARE(outcome.unreadable, converted.unreadable);
        // Taken from the cache: all but the file whose converter died and the locked one,
        // refused once, then opened with the password (a file tried with one is never kept).
        if (round == std::string_view("taking"))
            QCOMPARE(conversions() - before, 3);
    }
    // What is kept: the addresses, never the text, nothing of the locked file.
    QVERIFY(cache.flush());
    QByteArray kept;
    for (const QFileInfo &file : QDir(m_engine->temp.filePath(u"cache"_s)).entryInfoList(QDir::Files))
        kept += test::readFile(file.filePath());
    QVERIFY(kept.contains("Reader3@x.com"));
    for (const char *never : {"words", "book", "locked@x.com", "crash@x.com"})
        QVERIFY2(!kept.contains(never), never);
}

void TestBatchRun::filesAreKnownAgainOnlyAsTheyWere()
{
    ResultsCache cache(m_engine->temp.filePath(u"cache"_s), m_engine->clock);
    const auto runOver = [&](const QStringList &pdfs) {
        Host host;
        return test::runToEnd(*m_engine, pdfs, host, 1, {},
                              [&](BatchRun &batch) { batch.setResultsCache(&cache); });
    };
    const QString first = pdf(u"first.pdf"_s, u"TEXT"_s, "first@x.com\f");
    QCOMPARE(runOver({first}).addresses, QStringList{u"first@x.com"_s});
    // Moved, and linked under another name: the status-change time moves with them, so
    // the file is read again at most once (not when the system's clock did not tick
    // meanwhile), and then known under both names.
    const QString linked = m_engine->inputPath(u"linked.pdf"_s);
    const QString moved = m_engine->inputPath(u"moved.pdf"_s);
    QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(linked).constData()), 0);
    QVERIFY(QFile::rename(first, moved));
    const qsizetype moving = conversions();
    const Outcome again = runOver({linked, moved});
    QCOMPARE(again.addresses, QStringList{u"first@x.com"_s});
    QCOMPARE(again.found.first().file, linked);
    QVERIFY(conversions() <= moving + 1);
    const qsizetype before = conversions();
    QCOMPARE(runOver({moved, linked}).addresses, QStringList{u"first@x.com"_s});
    QCOMPARE(conversions(), before);
    // Written over in place with as many bytes, its time set back to the nanosecond: read again.
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(moved).constData(), &status), 0);
    QVERIFY(test::writeFile(moved, "TEXT\nsecnd@x.com\f"));
    const timespec times[2] = {status.st_atim, status.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(moved).constData(), times, 0), 0);
    QCOMPARE(runOver({moved}).addresses, QStringList{u"secnd@x.com"_s});
    QCOMPARE(conversions(), before + 1);
}

void TestBatchRun::splitFilesGiveTheSameOutcome_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("recognise");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QStringList>("reasons"); // of the book, if unreadable
    // The book's pages are 28 bytes each: its worker dies on page 33, or on page 3.
    QTest::newRow("read whole") << u"TEXT"_s << QString() << false << 0 << QStringList();
    QTest::newRow("worker dies late")
        << u"CRASH 901"_s << QString() << false << 0 << QStringList{u"damaged"_s};
    QTest::newRow("worker dies early")
        << u"CRASH 61"_s << QString() << false << 0 << QStringList{u"damaged"_s};
    QTest::newRow("scans read") << u"SCAN"_s << QString() << true << 0 << QStringList();
    QTest::newRow("password typed") << u"NEEDS pw"_s << u"pw"_s << false << 0 << QStringList();
    // Every part waits on its first page until the time is up: nothing of it counts.
    QTest::newRow("timed out") << u"SCAN HELD"_s << QString() << true << 5000 << QStringList{u"too long"_s};
}

void TestBatchRun::splitFilesGiveTheSameOutcome()
{
    QFETCH(QString, directive);
    QFETCH(QString, password);
    QFETCH(bool, recognise);
    QFETCH(int, timeoutMs);
    QFETCH(QStringList, reasons);
    QByteArray text;
    for (int page = 1; page <= 40; ++page)
        text += "p" + QByteArray::number(page).rightJustified(2, '0') + " Author" +
                QByteArray::number(page % 9) + "@x.com ONE@x.com\f";
    const QString book = pdf(u"book.pdf"_s, directive, text);
    const QString small = pdf(u"small.pdf"_s, u"TEXT"_s, "small@x.com one@x.com\f");
    QList<Outcome> outcomes;
    for (const int jobs : {1, 3}) {
        Host host;
        host.mode = PasswordMode::PerFile;
        host.answers = {password};
        QStringList captions;
        RunRequest asked = recognise ? readingScans() : RunRequest();
        asked.timeoutMs = timeoutMs;
        outcomes.append(test::runToEnd(
            *m_engine, {small, book}, host, jobs, {},
            [&](BatchRun &batch) {
                connect(&batch, &BatchRun::progressChanged, &batch,
                        [&](int, const QString &caption) { captions.append(caption); });
            },
            asked));
        QVERIFY(outcomes.last().ended);
        // A scanned page is counted among the book's pages, whichever part reads it.
        const QStringList reading = captions.filter(u"Reading scanned pages: book.pdf (page "_s);
        if (jobs == 1) // with more, the small file is the one the caption follows at first
            QCOMPARE(reading.isEmpty(), !recognise);
        for (const QString &caption : reading) // a long wait adds its count after the page
            QVERIFY2(caption.contains(u" of 40)"_s), qPrintable(caption));
    }
    QCOMPARE(test::AllFormats(outcomes[1]), test::AllFormats(outcomes[0]));
    QCOMPARE(outcomes[1].unreadable, outcomes[0].unreadable);
    QCOMPARE(outcomes[0].unreadable.size(), reasons.size());
    if (!reasons.isEmpty())
        QCOMPARE(ReasonText(outcomes[0].unreadable.first()).contains(reasons.first()), true);
    // Three at once shared the book's pages out, with the passwords that opened it.
    const QStringList parts =
        m_engine->fake->loggedCalls().filter(book).filter(QRegularExpression(u"pages=[1-9]"_s));
    QVERIFY(!parts.isEmpty());
    for (const QString &part : parts)
        QVERIFY2(part.contains(password.isEmpty() ? u"passwords=0"_s : u"passwords=1"_s), qPrintable(part));
    QVERIFY(m_engine->allConvertersGone());
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
