#include "convert/ConverterChoice.h"

#include "convert/ConverterService.h"
#include "convert/ProcessConverter.h"

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

std::optional<ConverterKind> ConverterKindNamed(const QString &name)
{
    if (name == u"service"_s)
        return ConverterKind::Service;
    if (name == u"pdftotext"_s)
        return ConverterKind::Pdftotext;
    return std::nullopt;
}

std::optional<PdfEngine> PdfEngineNamed(const QString &name)
{
    if (name == u"poppler"_s)
        return PdfEngine::Poppler;
    if (name == u"mupdf"_s)
        return PdfEngine::Mupdf;
    return std::nullopt;
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

ConverterProgram ProgramOf(ConverterKind kind, const QString &serviceProgram, PdfEngine engine)
{
    if (kind == ConverterKind::Pdftotext)
        return {
            u"pdftotext"_s, QString(),
            u"The PDF converter pdftotext was not found. Please install it with the package poppler-utils "
            u"(sudo apt-get install poppler-utils) and start Pelmora again."_s};
    const QString name = serviceName(engine);
    return {name, serviceProgram.isEmpty() ? QString() : QFileInfo(serviceProgram).absoluteFilePath(),
            u"The PDF converter "_s + name +
                u" is missing from this installation (it belongs beside the program or in its "
                u"libexec/pelmora folder). Please install Pelmora again."_s};
}

std::unique_ptr<Converter> CreateConverter(ConverterKind kind, ConverterWorkspace &workspace, Clock &clock)
{
    if (kind == ConverterKind::Pdftotext)
        return std::make_unique<ProcessConverter>(workspace, clock);
    return std::make_unique<ConverterService>(workspace, clock);
}

} // namespace pelmora
