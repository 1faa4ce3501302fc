#include "app/HelpMessage.h"

#include "app/Modal.h"
#include "run/ErrorTrap.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString HelpText()
{
    return u"This program will:\r"
           u"\r"
           u"extract pure text from a PDF\r"
           u"\r"
           u"This program will not:\r"
           u"\r"
           u"extract an image representing text from a PDF (text within an image within a PDF)\r"
           u"\r"
           u"Files read before are not read again: their results are kept in ~/.cache/pelmora "
           u"(ResultsCache=False in ~/.config/Qarvelle/Pelmora.ini turns this off)"_s;
}

void ShowHelp(Modal &modal, ErrorSink &errors)
{
    ErrorTrap trap(errors, u"Form1"_s, u"PushButton10_Click"_s);
    trap.step([&] { modal.showMessage(u"Help"_s, HelpText(), Modal::Icon::None); });
}

} // namespace pelmora
