#pragma once

// MuPDF's structured text, as `mutool draw -F txt` makes it: faster than poppler on
// long documents, though the order of the text may differ. Its own program links it
// (pelmora-convert-mupdf), since MuPDF is under the GNU Affero GPL.

#include "worker/shell/TextEngine.h"

#include <memory>

namespace pelmora::worker {

// One MuPDF context for the life of the process, its messages dropped. nullptr when
// MuPDF cannot start (no memory).
std::unique_ptr<TextEngine> MakeMupdfEngine();

} // namespace pelmora::worker
