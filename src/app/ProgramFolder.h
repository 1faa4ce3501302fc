#pragma once

#include <QString>

namespace pelmora {

// The folder of the program's own data files (Samples, look files): beside the
// executable in the build tree, <prefix>/share/pelmora once installed.
QString ProgramFolder();

} // namespace pelmora
