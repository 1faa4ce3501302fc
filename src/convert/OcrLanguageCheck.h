#pragma once

#include <QString>

namespace pelmora {

// Why recognition in `languages` (tesseract's codes joined with "+") cannot run with
// the converter `program`, in the user's words with the Debian package to install;
// empty when every language is there.
QString OcrLanguageProblem(const QString &program, const QString &languages);

} // namespace pelmora
