#pragma once

#include "run/BatchRun.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

namespace pelmora {
class ConverterWorkspace;
}

namespace pelmora::test {

// Password options and prompt answers from a script.
class ScriptedRunHost : public BatchRunHost
{
public:
    PasswordMode mode = PasswordMode::None;
    QStringList answers; // taken in order; none left means a cancelled prompt
    QStringList asked;   // the file of each prompt, "*" for the one for all files
    std::function<void()> whilePrompting;

    PasswordMode passwordMode() override { return mode; }
    QString askPassword(PasswordPrompt prompt, const QString &pdf) override;
};

struct RunOutcome
{
    QStringList addresses;
    QList<UnreadableFile> unreadable;
    QList<QPair<int, QString>> progress;
};

// A whole batch run over `pdfs`, waited for; a run that does not end fails the test.
RunOutcome runToEnd(ConverterWorkspace &workspace, const QStringList &pdfs, BatchRunHost &host, int jobs);

} // namespace pelmora::test
