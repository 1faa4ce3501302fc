#include "app/EngineConverters.h"

#include "app/AppTitle.h"
#include "convert/Conversion.h"
#include "convert/ConverterQuestion.h"
#include "convert/ConverterService.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"
#include "core/ErrorSink.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

EngineConverters::EngineConverters(PdfEngine startEngine, Clock &clock) : m_start(startEngine), m_clock(clock)
{
    make(startEngine);
}

EngineConverters::~EngineConverters()
{
    // Converters end their workers before their workspaces go.
    for (auto &entry : m_parts)
        entry.second.converter.reset();
}

EngineConverters::Part &EngineConverters::make(PdfEngine engine)
{
    Part &part = m_parts[engine];
    part.workspace = std::make_unique<ConverterWorkspace>(ProgramOf(InstalledServiceProgram(engine), engine));
    part.converter = std::make_unique<ConverterService>(*part.workspace, m_clock);
    return part;
}

Converter &EngineConverters::converter(PdfEngine engine)
{
    if (const auto found = m_parts.find(engine); found != m_parts.end())
        return *found->second.converter;
    Part &part = make(engine);
    try {
        part.workspace->ensureConverter();
    } catch (const AppError &error) {
        if (m_problems)
            m_problems->reportError(AppTitle(), error.description());
    }
    return *part.converter;
}

QStringList EngineConverters::ocrLanguages()
{
    const QString program = startWorkspace().converterPath();
    if (program.isEmpty())
        return {};
    const std::optional<QByteArray> listed = AskConverter(program, u"--ocr-languages"_s);
    return listed ? QString::fromUtf8(*listed).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

} // namespace pelmora
