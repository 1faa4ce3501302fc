#pragma once

#include <string_view>

namespace pelmora::worker {

// A converter's --version: the program's own version, its PDF library's (`pdfLibrary`:
// "poppler 22.12.0"), then tesseract's and leptonica's as this process runs them, one
// "name version" per line. Status 0, or 1 when standard output cannot be written.
int PrintVersions(std::string_view program, std::string_view pdfLibrary);

} // namespace pelmora::worker
