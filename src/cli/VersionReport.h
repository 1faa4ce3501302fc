#pragma once

#include "convert/ConverterChoice.h"

#include <QString>

#include <cstdio>

namespace pelmora {

// pelmora-extract --version: the command's own version, then the converter's report of
// itself and of the libraries it converts with (poppler, tesseract, leptonica): those
// are in the converter, not in the command. Returns 0, or 2 with a message on `err`
// when the converter is missing or does not answer.
int PrintVersions(std::FILE *out, std::FILE *err, const QString &converter = InstalledServiceProgram());

} // namespace pelmora
