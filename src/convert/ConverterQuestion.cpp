#include "convert/ConverterQuestion.h"

#include <QProcess>

namespace pelmora {

std::optional<QByteArray> AskConverter(const QString &program, const QString &question)
{
    QProcess converter;
    converter.start(program, {question});
    if (!converter.waitForFinished(30000) || converter.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return converter.readAllStandardOutput();
}

} // namespace pelmora
