#include "EngineFixture.h"
#include "convert/ConversionJob.h"
#include "convert/ConverterCommand.h"
#include "convert/ConverterWorkspace.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestConversionJob : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void argumentsAreOneValueEach();
    void convertsIntoAFileOfItsOwn();
    void retriesWithoutAPasswordOnce();
    void missingConverterWritesNothing();
    void destroyingEndsTheConverter();
    void timeoutEndsTheConverter();

private:
    QString readOutput(const ConversionJob &job) const;
    std::unique_ptr<ConversionJob> makeJob(const QString &pdf, const QString &password = {},
                                           ConversionKind kind = ConversionKind::Batch) const
    {
        return std::make_unique<ConversionJob>(*m_engine->workspace, m_engine->clock, kind, pdf, password);
    }
    std::unique_ptr<test::EngineFixture> m_engine;
};

void TestConversionJob::init()
{
    m_engine = std::make_unique<test::EngineFixture>();
    QVERIFY(m_engine->isValid());
}

void TestConversionJob::cleanup()
{
    m_engine.reset();
}

QString TestConversionJob::readOutput(const ConversionJob &job) const
{
    QFile file(job.outputPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"<none>"_s;
}

void TestConversionJob::argumentsAreOneValueEach()
{
    const QString pdf = u"/docs/-odd \"name\".pdf"_s;
    QCOMPARE(ConverterArguments(ConversionKind::Batch, QString(), pdf, u"/w/1.txt"_s),
             (QStringList{pdf, u"/w/1.txt"_s}));
    QCOMPARE(ConverterArguments(ConversionKind::Preview, u"p w\""_s, pdf, u"/w/2.txt"_s),
             (QStringList{u"-opw"_s, u"p w\""_s, u"-upw"_s, u"p w\""_s, u"-f"_s, u"1"_s, u"-l"_s, u"100"_s,
                          pdf, u"/w/2.txt"_s}));
    // A relative name that looks like an option is made absolute first.
    const QStringList relative =
        ConverterArguments(ConversionKind::Batch, QString(), u"-x.pdf"_s, u"/w/3.txt"_s);
    QCOMPARE(relative.first(), QDir::current().absoluteFilePath(u"-x.pdf"_s));
}

void TestConversionJob::convertsIntoAFileOfItsOwn()
{
    const QString pdf = m_engine->writePdf(u"report.pdf"_s, u"TEXT"_s, "hello@example.com\n");
    const QString besidePdf = m_engine->inputPath(u"report.txt"_s);
    QString output;
    {
        const auto job = makeJob(pdf, QString());
        QSignalSpy finished(job.get(), &ConversionJob::finished);
        job->start();
        QVERIFY(finished.wait(5000));
        QVERIFY(job->hasOutput());
        QCOMPARE(readOutput(*job), u"hello@example.com\n"_s);
        QVERIFY(job->outputPath().startsWith(m_engine->workspace->workFolder()));
        output = job->outputPath();
    }
    QVERIFY(!QFile::exists(output));
    QVERIFY(!QFile::exists(besidePdf));
}

void TestConversionJob::retriesWithoutAPasswordOnce()
{
    const QString restricted = m_engine->writePdf(u"restricted.pdf"_s, u"OWNER owner"_s, "x@example.com\n");
    const auto job = makeJob(restricted, u"wrong"_s);
    QSignalSpy finished(job.get(), &ConversionJob::finished);
    job->start();
    QVERIFY(finished.wait(5000));
    QVERIFY(job->hasOutput());
    QCOMPARE(m_engine->fake->loggedCalls().size(), 2);

    const QString locked = m_engine->writePdf(u"locked.pdf"_s, u"NEEDS secret"_s, "y@example.com\n");
    const auto wrong = makeJob(locked, u"guess"_s);
    QSignalSpy wrongFinished(wrong.get(), &ConversionJob::finished);
    wrong->start();
    QVERIFY(wrongFinished.wait(5000));
    QVERIFY(!wrong->hasOutput());
    QCOMPARE(wrongFinished.size(), 1);
    QCOMPARE(m_engine->fake->loggedCalls().size(), 4);

    const auto right = makeJob(locked, u"secret"_s);
    QSignalSpy rightFinished(right.get(), &ConversionJob::finished);
    right->start();
    QVERIFY(rightFinished.wait(5000));
    QCOMPARE(readOutput(*right), u"y@example.com\n"_s);
}

void TestConversionJob::missingConverterWritesNothing()
{
    const QString pdf = m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "a@example.com\n");
    // Removed by another window of the same user: put back before converting.
    m_engine->workspace->RemoveConverter();
    const auto restored = makeJob(pdf, QString());
    QSignalSpy restoredFinished(restored.get(), &ConversionJob::finished);
    restored->start();
    QVERIFY(restoredFinished.wait(5000));
    QVERIFY(restored->hasOutput());

    // Uninstalled meanwhile: the conversion ends with no output.
    m_engine->workspace->RemoveConverter();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    const auto job = makeJob(pdf, QString());
    QSignalSpy finished(job.get(), &ConversionJob::finished);
    job->start();
    QVERIFY(finished.wait(5000));
    QVERIFY(!job->hasOutput());
    qputenv("PATH", path);
}

void TestConversionJob::destroyingEndsTheConverter()
{
    const QString pdf = m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 60"_s, "late@example.com\n");
    auto slow = makeJob(pdf);
    slow->start();
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    const qint64 pid = m_engine->fake->loggedCalls().first().section(u' ', 0, 0).toLongLong();
    QVERIFY(pid > 0);
    slow.reset();
    // The shell is gone at once; its sleep may outlive it by a moment.
    QVERIFY(::kill(static_cast<pid_t>(pid), 0) != 0);
    QCOMPARE(m_engine->convertedTexts(), QStringList());
}

void TestConversionJob::timeoutEndsTheConverter()
{
    const QString pdf = m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 60"_s, "late@example.com\n");
    const auto job = makeJob(pdf, QString());
    job->setTimeout(300);
    QSignalSpy finished(job.get(), &ConversionJob::finished);
    QSignalSpy polled(job.get(), &ConversionJob::polled);
    job->start();
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    m_engine->clock.advance(200);
    QCOMPARE(polled.size(), 2);
    QVERIFY(finished.isEmpty());
    m_engine->clock.advance(100);
    QVERIFY(finished.wait(5000));
    QVERIFY(job->timedOut());
    QVERIFY(!job->hasOutput());
    QCOMPARE(polled.first().first().toInt(), 1);
    QCOMPARE(m_engine->clock.tickers(), 0);
}

QTEST_GUILESS_MAIN(TestConversionJob)
#include "tst_conversionjob.moc"
