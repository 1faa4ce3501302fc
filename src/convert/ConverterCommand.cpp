#include "convert/ConverterCommand.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QStringList ConverterArguments(ConversionKind kind, const QString &password, const QString &pdf,
                               const QString &outputPath)
{
    QStringList arguments;
    if (!password.isEmpty())
        arguments << u"-opw"_s << password << u"-upw"_s << password;
    if (kind == ConversionKind::Preview)
        arguments << u"-f"_s << u"1"_s << u"-l"_s << u"100"_s;
    // An absolute path never starts with "-", so no file name is taken for an option.
    arguments << QFileInfo(pdf).absoluteFilePath() << outputPath;
    return arguments;
}

} // namespace pelmora
