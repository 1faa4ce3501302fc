#include "EngineFixture.h"

#include "RunInvariants.h"
#include "TestData.h"

#include "convert/ConverterChoice.h"
#include "convert/ConverterService.h"
#include "core/AppError.h"

#include <QCoreApplication>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

EngineFixture::EngineFixture(Kind which, bool placeConverter, const QString &engine) : kind(which)
{
    if (kind != Kind::Service)
        fake = std::make_unique<FakeConverter>();
    const QString serviceProgram =
        kind == Kind::Service ? ServiceProgram(engine) : FakeConverter::workerProgram();
    workspace = std::make_unique<ConverterWorkspace>(
        ProgramOf(serviceProgram, PdfEngineNamed(engine).value_or(kDefaultEngine)));
    if (kind == Kind::Scripted) {
        auto own = std::make_unique<ScriptedConverter>(clock, fake->logFile());
        scripted = own.get();
        converter = std::move(own);
    } else {
        converter = std::make_unique<ConverterService>(*workspace, clock);
    }
    if (!placeConverter)
        return;
    try {
        workspace->ensureConverter();
    } catch (const AppError &error) {
        m_problem = error.description();
    }
}

EngineFixture::~EngineFixture()
{
    converter.reset(); // its workers first
}

bool EngineFixture::isValid() const
{
    QString problem = m_problem;
    if (!temp.isValid() || !input.isValid())
        problem = u"no temporary folder"_s;
    else if (fake && !fake->isValid())
        problem = u"no fake converter"_s;
    if (!problem.isEmpty())
        qWarning("engine fixture: %s", qPrintable(problem));
    return problem.isEmpty();
}

QString EngineFixture::writePdf(const QString &name, const QString &directive, const QByteArray &text) const
{
    return FakeConverter::writePdfIn(input.path(), name, directive, text);
}

bool EngineFixture::allConvertersGone() const
{
    if (scripted)
        return scripted->running() == 0;
    const QList<qint64> pids = fake ? fake->loggedPids() : QList<qint64>();
    return std::none_of(pids.cbegin(), pids.cend(), ProcessIsRunning);
}

bool EngineFixture::converterGone(const QString &pdf) const
{
    if (scripted)
        return !scripted->isConverting(pdf);
    const QString call = fake ? fake->loggedCalls().filter(pdf).value(0) : QString();
    return !call.isEmpty() && !ProcessIsRunning(call.section(u' ', 0, 0).toLongLong());
}

bool EngineFixture::release(const QString &pdf)
{
    if (scripted)
        scripted->release(pdf);
    return FakeConverter::release(pdf);
}

bool EngineFixture::runUntil(const std::function<bool()> &done, int rounds)
{
    if (!scripted)
        return QTest::qWaitFor(done, 60000); // real processes take real time
    for (int round = 0; round < rounds && !done(); ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done())
            clock.advance(10);
    }
    return done();
}

QString EngineFixture::leftBehind(const RunInvariants &invariants)
{
    converter.reset();
    return invariants.violations();
}

} // namespace pelmora::test
