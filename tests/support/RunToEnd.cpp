#include "RunToEnd.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

QString ScriptedRunHost::askPassword(PasswordPrompt prompt, const QString &pdf)
{
    asked.append(prompt == PasswordPrompt::ForAllFiles ? u"*"_s : pdf);
    if (whilePrompting)
        whilePrompting();
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

RunOutcome runToEnd(ConverterWorkspace &workspace, const QStringList &pdfs, BatchRunHost &host, int jobs)
{
    RunOutcome outcome;
    BatchRun batch(workspace, host, pdfs);
    batch.setParallelJobs(jobs);
    QObject::connect(&batch, &BatchRun::addressesFound, [&](const QStringList &found) { outcome.addresses += found; });
    QObject::connect(&batch, &BatchRun::progressChanged,
                     [&](int value, const QString &caption) { outcome.progress.append({value, caption}); });
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start();
    if (finished.isEmpty())
        [&] { QVERIFY(finished.wait(60000)); }();
    outcome.unreadable = batch.unreadableFiles();
    return outcome;
}

} // namespace pelmora::test
