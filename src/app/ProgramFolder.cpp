#include "app/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString ProgramFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(executableFolder + u"/../share/pelmora"_s);
    return QFileInfo(installed).isDir() ? installed : executableFolder;
}

} // namespace pelmora
