#include "run/PasswordPrompt.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString PasswordPromptTitle()
{
    return u"Input Password"_s;
}

QString PasswordPromptText(PasswordPrompt prompt, const QString &pdf)
{
    if (prompt == PasswordPrompt::ForAllFiles)
        return u"Enter password for all files:"_s;
    return u"Enter password for file ("_s + pdf +
           u"): \r\nNote: Leave this box blank if file is not password protected"_s;
}

} // namespace pelmora
