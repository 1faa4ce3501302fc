#pragma once

#include <QString>

#include <exception>
#include <source_location>
#include <stdexcept>

namespace pelmora {

// An expected kind of failure with words meant for the user.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &description);
    QString description() const { return m_description; }

private:
    QString m_description;
};

// Where error reports go: a message box in the window, standard error in the command.
class ErrorSink
{
public:
    virtual ~ErrorSink() = default;
    virtual void reportError(const QString &title, const QString &text) = 0;
};

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

    // Runs one step; returns false when it failed (and was reported).
    template <typename Step>
    bool step(Step &&run, std::source_location where = std::source_location::current())
    {
        try {
            run();
            return true;
        } catch (const AppError &error) {
            report(error.description(), where);
        } catch (const std::exception &error) {
            report(QString::fromLocal8Bit(error.what()), where);
        }
        return false;
    }

    void report(const QString &description, std::source_location where) const;

private:
    ErrorSink &m_sink;
    QString m_location;
};

} // namespace pelmora
