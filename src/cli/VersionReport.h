#pragma once

#include "convert/ConverterChoice.h"

#include <QList>
#include <QString>

#include <cstdio>

namespace pelmora {

// A converter program and the PDF library it reads with.
struct InstalledConverter
{
    PdfEngine engine;
    QString program;
};

// Both converters as installed, the default's first.
QList<InstalledConverter> InstalledConverters();

// pelmora-extract --version: the command's own version, which PDF library is the default
// and why, then each converter's report of itself and of the libraries it converts with
// (MuPDF or poppler, tesseract, leptonica): those are in the converters, not in the
// command. Returns 0, or 2 with a message on `err` when a converter is missing or does
// not answer.
int PrintVersions(std::FILE *out, std::FILE *err,
                  const QList<InstalledConverter> &converters = InstalledConverters());

} // namespace pelmora
