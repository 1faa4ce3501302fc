#include "convert/ConverterChoice.h"

#include "convert/ConverterService.h"
#include "convert/ProcessConverter.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {
const auto kServiceName = u"pelmora-convert"_s;
}

std::optional<ConverterKind> ConverterKindNamed(const QString &name)
{
    if (name == u"service"_s)
        return ConverterKind::Service;
    if (name == u"pdftotext"_s)
        return ConverterKind::Pdftotext;
    return std::nullopt;
}

QString InstalledServiceProgram()
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList candidates{folder + u'/' + kServiceName,
                                 folder + u"/../libexec/pelmora/"_s + kServiceName};
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

ConverterProgram ProgramOf(ConverterKind kind, const QString &serviceProgram)
{
    if (kind == ConverterKind::Pdftotext)
        return {
            u"pdftotext"_s, QString(),
            u"The PDF converter pdftotext was not found. Please install it with the package poppler-utils "
            u"(sudo apt-get install poppler-utils) and start Pelmora again."_s};
    return {kServiceName, serviceProgram.isEmpty() ? QString() : QFileInfo(serviceProgram).absoluteFilePath(),
            u"The PDF converter pelmora-convert is missing from this installation (it belongs beside the "
            u"program or in its libexec/pelmora folder). Please install Pelmora again."_s};
}

std::unique_ptr<Converter> CreateConverter(ConverterKind kind, ConverterWorkspace &workspace, Clock &clock)
{
    if (kind == ConverterKind::Pdftotext)
        return std::make_unique<ProcessConverter>(workspace, clock);
    return std::make_unique<ConverterService>(workspace, clock);
}

} // namespace pelmora
