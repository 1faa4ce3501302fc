#pragma once

#include "convert/ConverterWorkspace.h"

#include <QString>

#include <memory>
#include <optional>

namespace pelmora {

class Clock;
class Converter;

enum class ConverterKind
{
    Service,   // the program's own workers, many files each (the default)
    Pdftotext, // the distribution's pdftotext, one process per file
};

// "service" or "pdftotext"; nullopt for anything else.
std::optional<ConverterKind> ConverterKindNamed(const QString &name);

// Where the program's own converter is installed: beside the running executable, or in
// ../libexec/pelmora as an installation lays it out.
QString InstalledServiceProgram();

// What the workspace puts at ConverterPath for a kind. `serviceProgram` is the program's
// own converter (tests give a stand-in).
ConverterProgram ProgramOf(ConverterKind kind, const QString &serviceProgram = InstalledServiceProgram());

std::unique_ptr<Converter> CreateConverter(ConverterKind kind, ConverterWorkspace &workspace, Clock &clock);

} // namespace pelmora
