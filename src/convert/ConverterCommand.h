#pragma once

#include <QString>
#include <QStringList>

namespace pelmora {

// pdftotext's arguments, one value each, so quotes, spaces and dashes in paths need no
// quoting. Page numbers of 0 are left out (from the first page, to the last). There is
// no password: on a command line every user of the machine could read it.
QStringList ConverterArguments(int firstPage, int lastPage, const QString &pdf, const QString &outputPath);

} // namespace pelmora
