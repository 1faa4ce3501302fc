#include "convert/ConverterChoice.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

QString serviceName(PdfEngine engine)
{
    return engine == PdfEngine::Mupdf ? u"pelmora-convert-mupdf"_s : u"pelmora-convert"_s;
}

} // namespace

std::optional<PdfEngine> PdfEngineNamed(const QString &name)
{
    if (name == u"poppler"_s)
        return PdfEngine::Poppler;
    if (name == u"mupdf"_s)
        return PdfEngine::Mupdf;
    return std::nullopt;
}

QString PdfEngineName(PdfEngine engine)
{
    return engine == PdfEngine::Mupdf ? u"mupdf"_s : u"poppler"_s;
}

QString InstalledServiceProgram(PdfEngine engine)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList candidates{folder + u'/' + serviceName(engine),
                                 folder + u"/../libexec/pelmora/"_s + serviceName(engine)};
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

ConverterProgram ProgramOf(const QString &serviceProgram, PdfEngine engine)
{
    const QString name = serviceName(engine);
    return {name, serviceProgram.isEmpty() ? QString() : QFileInfo(serviceProgram).absoluteFilePath(),
            u"The PDF converter "_s + name +
                u" is missing from this installation (it belongs beside the program or in its "
                u"libexec/pelmora folder). Please install Pelmora again."_s};
}

} // namespace pelmora
