#pragma once

// PDF objects made in the test, for the worker's readings of notes, metadata and attached
// files without a PDF library: Dict({{"Subtype", Name("Text")}, {"Contents", Str("hi")}}).

#include "worker/shell/PdfObject.h"

#include <string>
#include <utility>
#include <vector>

namespace pelmora::test {

using Entries = std::vector<std::pair<std::string, worker::PdfObject>>;

worker::PdfObject Dict(Entries entries, int id = 0);
worker::PdfObject Array(std::vector<worker::PdfObject> items, int id = 0);
worker::PdfObject Str(std::string bytes);
worker::PdfObject Name(std::string name);
worker::PdfObject Int(long long value);
// A stream of these bytes (decoded) with its dictionary's entries.
worker::PdfObject Stream(std::string data, Entries entries = {}, int id = 0);

} // namespace pelmora::test
