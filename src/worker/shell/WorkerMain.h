#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

class TextEngine;

// The start of either converter program, `program` with the PDF library `pdfLibrary`
// ("poppler 22.12.0"). It dies with its parent; --version prints the versions;
// --ocr-languages lists the installed recognition languages; --ocr-data LANGS prints the
// versions and the data files of LANGS; --serve serves (one OpenMP thread, the frames on
// a descriptor of their own, the files opened by the engine `makeEngine` makes, which
// may be none when the library cannot start). Any other command line goes to `other`.
int WorkerMain(int argc, char *argv[], std::string_view program, std::string_view pdfLibrary,
               const std::function<std::unique_ptr<TextEngine>()> &makeEngine,
               const std::function<int(const std::vector<std::string> &arguments)> &other);

} // namespace pelmora::worker
