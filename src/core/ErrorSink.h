#pragma once

#include <QString>

namespace pelmora {

// Where the window's own problems go that no run's closing message tells (a failed step, a
// setting that cannot be saved, a converter that cannot be put in place): a message box
// (ErrorMessage). The problems of a run are its own (BatchRun::problems); the command says
// everything on standard error.
class ErrorSink
{
public:
    virtual ~ErrorSink() = default;
    virtual void reportError(const QString &title, const QString &text) = 0;
};

} // namespace pelmora
