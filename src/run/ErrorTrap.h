#pragma once

#include "core/AppError.h"
#include "core/ErrorSink.h"

#include <QString>

#include <exception>

namespace pelmora {

// The standard error report: a failed step is reported with its place and line, and
// the procedure carries on with its next step.
class ErrorTrap
{
public:
    ErrorTrap(ErrorSink &sink, const QString &module, const QString &procedure);

    static QString title();
    static QString supportAddress();
    // "Pelmora2021/08/31.<module>.<procedure>"
    static QString location(const QString &module, const QString &procedure);
    static QString message(const QString &description, const QString &location, int line);

    // Runs one step; returns false when it failed (and was reported). `line` is the
    // caller's, filled in by the compiler (GCC and Clang alike, unlike std::source_location
    // with the clang tools of Debian 12).
    template <typename Step> bool step(Step &&run, int line = __builtin_LINE())
    {
        try {
            run();
            return true;
        } catch (const AppError &error) {
            report(error.description(), line);
        } catch (const std::exception &error) {
            report(QString::fromLocal8Bit(error.what()), line);
        }
        return false;
    }

    void report(const QString &description, int line = __builtin_LINE()) const;

private:
    ErrorSink &m_sink;
    QString m_location;
};

} // namespace pelmora
