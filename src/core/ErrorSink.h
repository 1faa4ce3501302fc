#pragma once

#include <QString>

namespace pelmora {

// Where error reports go: a message box in the window, standard error in the command.
class ErrorSink
{
public:
    virtual ~ErrorSink() = default;
    virtual void reportError(const QString &title, const QString &text) = 0;
};

} // namespace pelmora
