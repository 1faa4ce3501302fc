#pragma once

#include <QString>
#include <QStringList>

namespace pelmora {

// A batch run converts whole files; the preview only the first 100 pages.
enum class ConversionKind
{
    Batch,
    Preview
};

// The converter's arguments, one value each, so quotes, spaces and dashes in paths
// and passwords need no quoting. The password goes in as owner and user password:
// an encrypted file's open password is refused when it is given as the owner's only.
QStringList ConverterArguments(ConversionKind kind, const QString &password, const QString &pdf,
                               const QString &outputPath);

} // namespace pelmora
