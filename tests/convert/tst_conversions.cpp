// The service's workers through the one interface the runs use, on the fake worker's PDFs.
#include "EngineFixture.h"
#include "RunInvariants.h"
#include "TestData.h"
#include "convert/ConverterIdentity.h"
#include "convert/ConverterService.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <QScopeGuard>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

using Kind = test::EngineFixture::Kind;

// How a conversion ended, once it has.
class Ending
{
public:
    explicit Ending(Conversion &conversion)
    {
        QObject::connect(&conversion, &Conversion::progressed, [this](const ConversionEvent &event) {
            if (event.kind == ConversionEvent::Kind::Finished) {
                m_outcome = event.outcome;
                m_detail = event.detail;
            }
        });
    }
    bool wait(int ms) const
    {
        return QTest::qWaitFor([this] { return m_outcome.has_value(); }, ms);
    }
    bool ended() const { return m_outcome.has_value(); }
    ConversionOutcome outcome() const { return m_outcome.value_or(ConversionOutcome::Damaged); }
    const QString &detail() const { return m_detail; }

private:
    std::optional<ConversionOutcome> m_outcome;
    QString m_detail;
};

struct Result
{
    bool ended = false;
    ConversionOutcome outcome = ConversionOutcome::Damaged;
    QString detail;
    QList<QPair<int, QByteArray>> pages;
};

} // namespace

class TestConversions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outcomes_data();
    void outcomes();
    void pagesArriveInOrderWithinTheRange();
    void destroyingEndsTheConverter();
    void deadlineEndsTheConverter();
    void deadlineCountsFromTheLastStep_data();
    void deadlineCountsFromTheLastStep();
    void serviceKeepsItsWorkers();
    void workerKilledMidFileCountsAsDamaged();
    void identityFollowsTheFilesWithoutAProcess();
    void fileIdentityTellsAReplacedFile();

private:
    std::unique_ptr<test::EngineFixture> engine()
    {
        auto made = std::make_unique<test::EngineFixture>(Kind::FakeService);
        return made->isValid() ? std::move(made) : nullptr;
    }
    static Result convert(test::EngineFixture &engine, const ConversionRequest &request)
    {
        Result result;
        const std::unique_ptr<Conversion> conversion = engine.converter->convert(request);
        connect(conversion.get(), &Conversion::progressed, [&](const ConversionEvent &event) {
            if (event.kind == ConversionEvent::Kind::Page)
                result.pages.append({event.page, event.text});
        });
        const Ending ending(*conversion);
        conversion->start();
        result.ended = ending.wait(10000);
        result.outcome = ending.outcome();
        result.detail = ending.detail();
        return result;
    }
};

void TestConversions::outcomes_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QStringList>("passwords");
    QTest::addColumn<int>("outcome");
    const auto row = [](const char *name, const QString &directive, const QStringList &passwords,
                        ConversionOutcome outcome) {
        QTest::newRow(name) << directive << passwords << int(outcome);
    };
    row("text", u"TEXT"_s, {}, ConversionOutcome::Text);
    // Passwords hold a '-' so that no random temporary folder name can contain one.
    row("needs a password", u"NEEDS right-pw"_s, {}, ConversionOutcome::NeedsPassword);
    row("right password second", u"NEEDS right-pw"_s, {u"wrong-pw"_s, u"right-pw"_s},
        ConversionOutcome::Text);
    row("wrong password", u"NEEDS right-pw"_s, {u"wrong-pw"_s}, ConversionOutcome::WrongPassword);
    row("damaged", u"NOTHING"_s, {}, ConversionOutcome::Damaged);
    row("missing", u"<missing>"_s, {}, ConversionOutcome::Damaged);
    row("pipe", u"<pipe>"_s, {}, ConversionOutcome::Damaged);
    row("folder", u"<folder>"_s, {}, ConversionOutcome::Damaged);
    // Not a verdict on the file: the converter says what it lacked.
    row("worker out of memory", u"OUT OF MEMORY"_s, {}, ConversionOutcome::Failed);
}

void TestConversions::outcomes()
{
    QFETCH(QString, directive);
    QFETCH(QStringList, passwords);
    QFETCH(int, outcome);
    const auto fixture = engine();
    QVERIFY(fixture);
    QString pdf = fixture->inputPath(u"file.pdf"_s);
    if (directive == u"<pipe>"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(pdf).constData(), 0600), 0);
    else if (directive == u"<folder>"_s)
        QVERIFY(QDir().mkdir(pdf));
    else if (directive != u"<missing>"_s)
        pdf = fixture->writePdf(u"file.pdf"_s, directive, "a@x.org\f");
    ConversionRequest request;
    request.pdf = pdf;
    request.passwords = passwords;
    const Result result = convert(*fixture, request);
    QVERIFY(result.ended);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.pages.isEmpty(), result.outcome != ConversionOutcome::Text);
    if (result.outcome == ConversionOutcome::Failed)
        QCOMPARE(result.detail, u"needs more memory than the 1024 MB a converter may use"_s);
    for (const QString &call : fixture->fake->loggedCalls()) {
        for (const QString &password : std::as_const(passwords))
            QVERIFY2(!call.contains(password), qPrintable(call)); // never logged
    }
}

void TestConversions::pagesArriveInOrderWithinTheRange()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    QByteArray text;
    for (int page = 1; page <= 120; ++page)
        text += "Page " + QByteArray::number(page) + "\np" + QByteArray::number(page) + "@x.org\n\f";
    const QString pdf = fixture->writePdf(u"long.pdf"_s, u"TEXT"_s, text);
    ConversionRequest request;
    request.pdf = pdf;
    const Result whole = convert(*fixture, request);
    QVERIFY(whole.ended);
    QCOMPARE(whole.pages.size(), 120);
    QByteArray joined;
    for (qsizetype i = 0; i < whole.pages.size(); ++i) {
        QCOMPARE(whole.pages[i].first, int(i + 1));
        QVERIFY(whole.pages[i].second.endsWith('\f'));
        joined += whole.pages[i].second;
    }
    QCOMPARE(joined, text);

    request.firstPage = 1;
    request.lastPage = 100;
    const Result preview = convert(*fixture, request);
    QVERIFY(preview.ended);
    QCOMPARE(preview.pages.size(), 100);
}

void TestConversions::destroyingEndsTheConverter()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    const QString pdf = fixture->writePdf(u"slow.pdf"_s, u"HANG"_s, "late@x.org\n");
    ConversionRequest request;
    request.pdf = pdf;
    auto conversion = fixture->converter->convert(request);
    QSignalSpy events(conversion.get(), &Conversion::progressed);
    conversion->start();
    QTRY_COMPARE(fixture->fake->loggedCalls().size(), 1);
    conversion.reset();
    QTRY_VERIFY(test::RunningChildren().isEmpty()); // a worker busy with the file goes too
    for (const qint64 pid : fixture->fake->loggedPids())
        QTRY_VERIFY(!test::ProcessIsRunning(pid));
    QVERIFY(events.isEmpty());
}

void TestConversions::deadlineEndsTheConverter()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    ConversionRequest request;
    request.pdf = fixture->writePdf(u"slow.pdf"_s, u"HANG"_s, "late@x.org\n");
    request.timeoutMs = 300;
    const auto conversion = fixture->converter->convert(request);
    const Ending ending(*conversion);
    QSignalSpy polled(conversion.get(), &Conversion::polled);
    conversion->start();
    QTRY_COMPARE(fixture->fake->loggedCalls().size(), 1);
    fixture->clock.advance(200);
    QCOMPARE(polled.size(), 2);
    QVERIFY(!ending.ended());
    fixture->clock.advance(100);
    QVERIFY(ending.wait(5000));
    QCOMPARE(ending.outcome(), ConversionOutcome::TimedOut);
    QCOMPARE(fixture->clock.tickers(), 0);
    for (const qint64 pid : fixture->fake->loggedPids())
        QTRY_VERIFY(!test::ProcessIsRunning(pid));
    // The next file starts afresh.
    request.pdf = fixture->writePdf(u"quick.pdf"_s, u"TEXT"_s, "quick@x.org\f");
    const Result next = convert(*fixture, request);
    QVERIFY(next.ended);
    QCOMPARE(next.outcome, ConversionOutcome::Text);
}

void TestConversions::deadlineCountsFromTheLastStep_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<bool>("recognise");
    QTest::addColumn<int>("steps"); // that come before it stalls, the opening included
    QTest::addColumn<QString>("detail");
    QTest::newRow("stalls on a page") << u"STALL 2"_s << false << 3 << u"page 3 was not read within 0.3 s"_s;
    QTest::newRow("recognition stalls")
        << u"SCAN HELD"_s << true << 2 << u"page 1 was not recognised within 0.3 s"_s;
}

// The deadline is for each step, not for the whole file: time spent before the last
// step counts for nothing, and the detail says which step took too long.
void TestConversions::deadlineCountsFromTheLastStep()
{
    QFETCH(QString, directive);
    QFETCH(bool, recognise);
    QFETCH(int, steps);
    QFETCH(QString, detail);
    const auto fixture = engine();
    QVERIFY(fixture);
    ConversionRequest request;
    request.pdf = fixture->writePdf(u"slow.pdf"_s, directive, "a@x.org\fb@x.org\fc@x.org\fd@x.org\f");
    request.recognise = recognise;
    request.timeoutMs = 300;
    const auto conversion = fixture->converter->convert(request);
    const Ending ending(*conversion);
    QList<ConversionEvent::Kind> seen;
    connect(conversion.get(), &Conversion::progressed,
            [&](const ConversionEvent &event) { seen.append(event.kind); });
    conversion->start();
    QTRY_COMPARE(seen.size(), recognise ? 2 : 1); // opened; a recognition begun at once
    fixture->clock.advance(200);
    QVERIFY(conversion->isRunning());
    if (!recognise) { // the stalling worker gives its pages once released
        QFile release(request.pdf + u".go"_s);
        QVERIFY(release.open(QIODevice::WriteOnly));
    }
    QTRY_COMPARE(seen.size(), steps);
    fixture->clock.advance(200);
    QCOMPARE(conversion->isRunning(), !recognise); // 400 since the opening; 200 since its pages
    fixture->clock.advance(100);
    QVERIFY(ending.wait(5000));
    QCOMPARE(ending.outcome(), ConversionOutcome::TimedOut);
    QCOMPARE(ending.detail(), detail);
}

void TestConversions::serviceKeepsItsWorkers()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    for (int i = 0; i < 5; ++i) {
        ConversionRequest request;
        request.pdf = fixture->writePdf(u"f%1.pdf"_s.arg(i), u"TEXT"_s, "x@y.org\f");
        const Result result = convert(*fixture, request);
        QVERIFY(result.ended);
        QCOMPARE(result.pages.size(), 1);
    }
    // One after the other: one worker served them all, and is still there.
    QCOMPARE(fixture->fake->loggedPids().size(), 1);
    QCOMPARE(static_cast<ConverterService &>(*fixture->converter).workerIds(),
             QList<qint64>{fixture->fake->loggedPids().first()});
    fixture->converter.reset();
    QVERIFY(!test::ProcessIsRunning(fixture->fake->loggedPids().first()));
}

void TestConversions::workerKilledMidFileCountsAsDamaged()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    ConversionRequest request;
    request.pdf = fixture->writePdf(u"hang.pdf"_s, u"HANG"_s, "never@x.org\f");
    const auto conversion = fixture->converter->convert(request);
    const Ending ending(*conversion);
    conversion->start();
    QTRY_COMPARE(fixture->fake->loggedCalls().size(), 1);
    ::kill(static_cast<pid_t>(fixture->fake->loggedPids().first()), SIGKILL);
    QVERIFY(ending.wait(5000));
    QCOMPARE(ending.outcome(), ConversionOutcome::Damaged);

    // A crash half-way through a page passes on nothing of that page.
    request.pdf = fixture->writePdf(u"crash.pdf"_s, u"CRASH 12"_s, "first@x.org second@example.community\f");
    const Result crashed = convert(*fixture, request);
    QVERIFY(crashed.ended);
    QCOMPARE(crashed.outcome, ConversionOutcome::Damaged);
    QVERIFY(crashed.pages.isEmpty());

    request.pdf = fixture->writePdf(u"good.pdf"_s, u"TEXT"_s, "good@x.org\f");
    const Result good = convert(*fixture, request);
    QVERIFY(good.ended);
    QCOMPARE(good.outcome, ConversionOutcome::Text);
    QCOMPARE(fixture->fake->loggedPids().size(), 3); // a fresh worker after each death
}

QTEST_GUILESS_MAIN(TestConversions)
void TestConversions::identityFollowsTheFilesWithoutAProcess()
{
    const auto fixture = engine();
    QVERIFY(fixture);
    const QString identity = fixture->converter->identity({});
    QVERIFY(identity.contains(FileIdentity(fixture->workspace->converterPath())));
    QVERIFY(identity.contains(PopplerIdentity()));
    QCOMPARE(fixture->fake->loggedPids().size(), 0); // a run whose files are all cached starts none
    // Another build of the converter, as far as its file tells; its time is put back after.
    const QByteArray program = QFile::encodeName(fixture->workspace->converterPath());
    struct stat status = {};
    QCOMPARE(::stat(program.constData(), &status), 0);
    const auto restore = qScopeGuard([&] {
        const timespec times[2] = {status.st_atim, status.st_mtim};
        ::utimensat(AT_FDCWD, program.constData(), times, 0);
    });
    const timespec later[2] = {status.st_atim, {status.st_mtim.tv_sec + 1, status.st_mtim.tv_nsec}};
    QCOMPARE(::utimensat(AT_FDCWD, program.constData(), later, 0), 0);
    QVERIFY(fixture->converter->identity({}) != identity);
}

void TestConversions::fileIdentityTellsAReplacedFile()
{
    // As a package update puts a library in place: a new file of the same size and time
    // renamed over the old one.
    QTemporaryDir folder;
    const QString library = folder.filePath(u"libpoppler.so"_s);
    QVERIFY(test::writeFile(library, "version one"));
    const QString before = FileIdentity(library);
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(library).constData(), &status), 0);
    const QString update = folder.filePath(u"update"_s);
    QVERIFY(test::writeFile(update, "version two"));
    const timespec times[2] = {status.st_atim, status.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(update).constData(), times, 0), 0);
    QVERIFY(QFile::remove(library) && QFile::rename(update, library));
    const QString after = FileIdentity(library);
    QVERIFY2(after != before, qPrintable(after));
    QVERIFY(QFile::remove(library));
    QVERIFY(FileIdentity(library) != after);
}

#include "tst_conversions.moc"
