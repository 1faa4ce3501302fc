#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelmora::worker {

class TextEngine;

// The start of either converter program. It dies with its parent; --ocr-languages lists
// the installed recognition languages; --serve serves (one OpenMP thread, the frames on
// a descriptor of their own, the files opened by the engine `makeEngine` makes, which
// may be none when the library cannot start). Any other command line goes to `other`.
int WorkerMain(int argc, char *argv[], const std::function<std::unique_ptr<TextEngine>()> &makeEngine,
               const std::function<int(const std::vector<std::string> &arguments)> &other);

} // namespace pelmora::worker
