#pragma once

// What a document holds beyond its pages' text, when the program asks for it: its metadata
// and its attached files, sent after its last page (protocol: 'X' and 'K' frames). An
// attached PDF is read with the same engine, passwords and reading of pages, its own
// metadata and attached files too, as deep as the limits let it; an attached text file is
// read as text; any other kind is named and passed over.

#include "worker/shell/TextEngine.h"

#include <cstddef>
#include <string>
#include <vector>

namespace pelmora::worker {

// The bounds of the attached files read for one file, however deep they nest. Each sent
// piece is a step of the program's deadline, so a file's attachments cannot hold a worker
// for longer than their pages could.
struct SourceLimits
{
    int deepest = 4;                                 // levels of attached files within attached files
    int mostFiles = 256;                             // attached files read
    std::size_t largestFile = std::size_t{64} << 20; // one attached file, unpacked
    std::size_t mostBytes = std::size_t{256} << 20;  // all of them together, unpacked
    std::size_t largestPiece = std::size_t{1} << 20; // of text in one frame, cut at a line end
};

struct SourceRequest
{
    bool metadata = false;
    bool attachments = false;
    std::vector<std::string> passwords; // tried on attached PDFs, as on the file
    ConvertOptions pages;               // how an attached PDF's pages are read
    std::string path;                   // the file itself, known again among its attachments
    SourceLimits limits;
};

// Sends the metadata and the attached files' texts that `request` asks for to `sink`;
// false when the sink said stop.
bool SendDocumentSources(TextDocument &document, TextEngine &engine, const SourceRequest &request,
                         PageSink &sink);

// The separator of the names in a path inside a file: "report.pdf » contacts.txt".
constexpr std::string_view kInsideSeparator = " \xC2\xBB ";

} // namespace pelmora::worker
