#include "convert/ConverterQuestion.h"

#include <QProcess>

namespace pelmora {

std::optional<QByteArray> AskConverter(const QString &program, const QStringList &question, bool alsoErrors)
{
    QProcess converter;
    if (alsoErrors)
        converter.setProcessChannelMode(QProcess::MergedChannels);
    converter.start(program, question);
    if (!converter.waitForFinished(30000) || converter.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return converter.readAllStandardOutput();
}

} // namespace pelmora
