#pragma once

#include <QString>
#include <QStringList>

namespace pelmora {

// How the user said passwords are to be asked for.
enum class PasswordMode
{
    None,       // convert every file without a password
    PerFile,    // ask before each file
    SameForAll, // ask once, at the first file of a run
};

enum class PasswordPrompt
{
    ForFile,
    ForAllFiles
};

QString PasswordPromptTitle();
// The question shown for `prompt`; `pdf` is the file's full path (ForFile only).
QString PasswordPromptText(PasswordPrompt prompt, const QString &pdf);

// When a file that will not open without a password is asked about, and which passwords
// are tried on it: the rules of the run and the preview alike. A file is asked about at
// most once; the answer for all files is asked at the first such file and tried on every
// later one.
class PasswordRules
{
public:
    enum class Step
    {
        Ask,    // ask the user, with prompt()
        Retry,  // convert again with toTry()
        Settle, // leave it unread
    };

    // `known`: tried on every protected file, in order, after any typed password; each once,
    // however often it is given.
    explicit PasswordRules(const QStringList &known = {});

    // A file refused to open with the passwords `tried`; `handled`: the user was asked
    // about it already, or it was retried with the answer for all files.
    Step onRefused(PasswordMode mode, const QStringList &tried, bool handled) const;
    static PasswordPrompt prompt(PasswordMode mode);
    // The user typed `answer` for a file at `prompt`: the passwords to try on it, none
    // when the answer is empty (the file is left unread).
    QStringList onAnswer(PasswordPrompt prompt, const QString &answer);
    // What every file is converted with: the answer for all files, then the known ones.
    // Made once per answer, not per file: a list of a million costs every file nothing.
    const QStringList &toTry() const { return m_toTry; }
    // Every password known so far, typed ones included, for a run that goes on after this one.
    QStringList everyPassword() const;

private:
    QStringList m_known;
    QStringList m_toTry;
    QStringList m_typed; // answers for single files
    QString m_forAll;
    bool m_askedForAll = false;
};

} // namespace pelmora
