#pragma once

#include <QString>

namespace pelmora {

class ErrorSink;
class Modal;

// The nine lines of the Help button's message, each ended by a CR alone, the last by nothing.
QString HelpText();

// "Help": the message with an OK button and no icon; failures get the standard report.
void ShowHelp(Modal &modal, ErrorSink &errors);

} // namespace pelmora
