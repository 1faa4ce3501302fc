#include "RunToEnd.h"

#include "EngineFixture.h"

#include <QPointer>
#include <QSignalSpy>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

void ScriptedRunHost::attach(BatchRun &run)
{
    run.setPasswordMode([this] { return mode; });
    QObject::connect(
        &run, &BatchRun::passwordNeeded, &run, [this, &run](qsizetype row, PasswordPrompt prompt) {
            const QPointer<BatchRun> asking(&run);
            asked.append(prompt == PasswordPrompt::ForAllFiles ? u"*"_s : run.pdf(row));
            if (whilePrompting)
                whilePrompting();
            const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
            if (asking)
                asking->answer(row, answer == stopAnswer ? std::nullopt : std::optional<QString>(answer));
        });
}

RunOutcome runToEnd(EngineFixture &engine, const QStringList &pdfs, ScriptedRunHost &host, int jobs,
                    const std::function<void()> &whenStarted, const std::function<void(BatchRun &)> &setUp,
                    RunRequest like)
{
    RunOutcome outcome;
    like.files = pdfs;
    like.jobs = jobs;
    BatchRun batch(*engine.converter, engine.clock, like);
    host.attach(batch);
    QObject::connect(&batch, &BatchRun::addressesFound, [&](const QList<AddressSource> &found) {
        for (const AddressSource &address : found)
            outcome.addresses.append(address.address);
        outcome.found += found;
    });
    QObject::connect(&batch, &BatchRun::progressChanged, [&](int value, const QString &caption) {
        if (outcome.progress.isEmpty() && whenStarted)
            whenStarted();
        outcome.progress.append({value, caption});
    });
    QSignalSpy finished(&batch, &BatchRun::finished);
    if (setUp)
        setUp(batch);
    batch.start();
    outcome.ended = engine.runUntil([&] { return !finished.isEmpty(); });
    outcome.unreadable = batch.unreadableFiles();
    return outcome;
}

QByteArray AllFormats(const RunOutcome &outcome)
{
    QByteArray bytes;
    for (const ResultsFormat format :
         {ResultsFormat::LineList, ResultsFormat::CommaList, ResultsFormat::Csv, ResultsFormat::JsonLines})
        bytes += ResultsBytes(outcome.found, format) + "\n--\n";
    return bytes;
}

} // namespace pelmora::test
