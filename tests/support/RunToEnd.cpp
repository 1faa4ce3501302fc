#include "RunToEnd.h"

#include "EngineFixture.h"

#include <QSignalSpy>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

std::optional<QString> ScriptedRunHost::askPassword(PasswordPrompt prompt, const QString &pdf)
{
    asked.append(prompt == PasswordPrompt::ForAllFiles ? u"*"_s : pdf);
    if (whilePrompting)
        whilePrompting();
    const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
    if (answer == stopAnswer)
        return std::nullopt;
    return answer;
}

RunOutcome runToEnd(EngineFixture &engine, const QStringList &pdfs, BatchRunHost &host, int jobs,
                    const std::function<void()> &whenStarted)
{
    RunOutcome outcome;
    BatchRun batch(*engine.converter, host, pdfs);
    batch.setParallelJobs(jobs);
    QObject::connect(&batch, &BatchRun::addressesFound, [&](const QList<FoundAddress> &found) {
        for (const FoundAddress &address : found)
            outcome.addresses.append(address.address);
        outcome.found += found;
    });
    QObject::connect(&batch, &BatchRun::progressChanged, [&](int value, const QString &caption) {
        if (outcome.progress.isEmpty() && whenStarted)
            whenStarted();
        outcome.progress.append({value, caption});
    });
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start();
    outcome.ended = !finished.isEmpty() || finished.wait(60000);
    outcome.unreadable = batch.unreadableFiles();
    return outcome;
}

} // namespace pelmora::test
