#pragma once

#include "run/BatchRun.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

namespace pelmora::test {

class EngineFixture;

// Password options and prompt answers from a script, given at once as the run asks.
class ScriptedRunHost
{
public:
    PasswordMode mode = PasswordMode::None;
    QStringList answers; // taken in order; none left means a cancelled prompt
    QStringList asked;   // the file of each prompt, "*" for the one for all files
    std::function<void()> whilePrompting;
    // An answer that presses "Stop Extracting".
    static inline const QString stopAnswer = QStringLiteral("<Stop Extracting>");

    // The run reads `mode` and has its prompts answered from here.
    void attach(BatchRun &run);
};

struct RunOutcome
{
    bool ended = false; // false: the run did not end in time, and the rest is partial
    QStringList addresses;
    QList<AddressSource> found; // the same, with where they were found
    QList<UnreadableFile> unreadable;
    QList<QPair<int, QString>> progress;
};

// A batch run over `pdfs` on the fixture's converter, asked as `like` otherwise, waited for.
// `whenStarted` runs once, as the first row's conversion starts and before any other does;
// `setUp` before the run starts.
RunOutcome runToEnd(EngineFixture &engine, const QStringList &pdfs, ScriptedRunHost &host, int jobs,
                    const std::function<void()> &whenStarted = {},
                    const std::function<void(BatchRun &)> &setUp = {}, RunRequest like = {});

// Every results file of the outcome's addresses, in every format.
QByteArray AllFormats(const RunOutcome &outcome);

} // namespace pelmora::test
