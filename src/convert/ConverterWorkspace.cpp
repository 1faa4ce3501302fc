#include "convert/ConverterWorkspace.h"

#include "core/AppError.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace pelmora {

ConverterWorkspace::ConverterWorkspace(ConverterProgram program) : m_program(std::move(program))
{
}

void ConverterWorkspace::ensureConverter()
{
    if (m_program.installed.isEmpty())
        m_converter = QStandardPaths::findExecutable(m_program.name);
    else
        m_converter = QFileInfo(m_program.installed).isExecutable() ? m_program.installed : QString();
    if (m_converter.isEmpty())
        throw AppError(m_program.missingHint);
}

} // namespace pelmora
