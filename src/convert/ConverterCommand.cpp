#include "convert/ConverterCommand.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QStringList ConverterArguments(int firstPage, int lastPage, const QString &pdf, const QString &outputPath)
{
    QStringList arguments;
    if (firstPage > 0)
        arguments << u"-f"_s << QString::number(firstPage);
    if (lastPage > 0)
        arguments << u"-l"_s << QString::number(lastPage);
    // An absolute path never starts with "-", so no file name is taken for an option.
    arguments << QFileInfo(pdf).absoluteFilePath() << outputPath;
    return arguments;
}

} // namespace pelmora
