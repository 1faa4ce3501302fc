#pragma once

// Recognised text in the shape of converted text, for the pages the worker reads.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// Recognised text in the shape of a converted page: LF line ends, trailing empty (or
// blank) lines dropped, every line ended, one form feed at the end.
std::string PageTextFromRecognised(std::string_view recognised);

} // namespace pelmora::worker
