#pragma once

#include "convert/ConverterWorkspace.h"

#include <QString>

#include <optional>

namespace pelmora {

// The PDF library the program's own workers convert with; each has a program of its own.
enum class PdfEngine
{
    Poppler, // pelmora-convert: the text pdftotext writes, byte for byte
    Mupdf,   // pelmora-convert-mupdf: MuPDF's structured text, in its own order
};

// MuPDF reads long documents in a quarter of poppler's time and finds the same addresses
// in real documents, with fewer wrong ones; poppler stays an option away for the text
// pdftotext writes.
inline constexpr PdfEngine kDefaultEngine = PdfEngine::Mupdf;
inline constexpr PdfEngine kAlternativeEngine = PdfEngine::Poppler;

// "poppler" or "mupdf"; nullopt for anything else.
std::optional<PdfEngine> PdfEngineNamed(const QString &name);
QString PdfEngineName(PdfEngine engine);

// Where the program's own converter with that engine is installed: beside the running
// executable, or in ../libexec/pelmora as an installation lays it out.
QString InstalledServiceProgram(PdfEngine engine = kDefaultEngine);

// What the workspace finds at converterPath: `serviceProgram` is the program's own
// converter (tests give a stand-in), with `engine`.
ConverterProgram ProgramOf(const QString &serviceProgram = InstalledServiceProgram(),
                           PdfEngine engine = kDefaultEngine);

} // namespace pelmora
