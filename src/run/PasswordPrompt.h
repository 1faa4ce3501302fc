#pragma once

#include <QString>

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

} // namespace pelmora
