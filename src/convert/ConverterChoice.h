#pragma once

#include "convert/ConverterWorkspace.h"

#include <QString>

#include <optional>

namespace pelmora {

// The PDF library the program's own workers convert with; each has a program of its own.
enum class PdfEngine
{
    Poppler, // pelmora-convert: the text pdftotext writes, byte for byte (the default)
    Mupdf,   // pelmora-convert-mupdf: faster on long documents, the text in its own order
};

// "poppler" or "mupdf"; nullopt for anything else.
std::optional<PdfEngine> PdfEngineNamed(const QString &name);

// Where the program's own converter with that engine is installed: beside the running
// executable, or in ../libexec/pelmora as an installation lays it out.
QString InstalledServiceProgram(PdfEngine engine = PdfEngine::Poppler);

// What the workspace finds at ConverterPath: `serviceProgram` is the program's own
// converter (tests give a stand-in), with `engine`.
ConverterProgram ProgramOf(const QString &serviceProgram = InstalledServiceProgram(),
                           PdfEngine engine = PdfEngine::Poppler);

} // namespace pelmora
