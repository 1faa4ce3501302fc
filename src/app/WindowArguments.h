#pragma once

#include <QStringList>

namespace pelmora {

// The window's command line: the toolkit takes its own options (-style, -reverse...)
// out of the arguments it is given, so only those before the first "--" go to it; every
// argument after that "--" is a file, whatever it looks like, and the "--" is none.
struct WindowArguments
{
    int toolkitCount = 0;   // argv[0] up to the "--", for QApplication
    QStringList filesAfter; // after the "--", names kept as bytes (PathFromNative)
};

WindowArguments SplitWindowArguments(int argc, const char *const argv[]);

} // namespace pelmora
