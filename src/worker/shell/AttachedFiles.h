#pragma once

// The files attached to a PDF, and what each is: the document's embedded files (the name
// tree /EmbeddedFiles, which also lists a portfolio's members), then the files of file
// attachment annotations in page order, each stream once.

#include "worker/shell/PdfObject.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

struct AttachedFile
{
    std::string name; // as the file entry (/Filespec) gives it (UTF-8), else the name tree's key
    std::string type; // the MIME type the stream states ("text/plain"), if any
    PdfObject stream; // the embedded file's stream
};

// Every attached file of the document, `page` giving the object of each page from 1 to
// `pages` (the annotations' attachments are found there).
std::vector<AttachedFile> AttachedFilesOf(const PdfObject &trailer, int pages,
                                          const std::function<PdfObject(int)> &page);

// What the bytes of an attached file are, by content and name.
struct AttachedContent
{
    enum class Kind
    {
        Pdf,   // read with the engine, as the file is
        Text,  // plain text, CSV, vCard, e-mail, HTML, XML, TeX sources...: `text` in UTF-8
        Other, // not read; `what` names its kind
    };
    Kind kind = Kind::Other;
    std::string text;
    std::string what;
};

AttachedContent ClassifyAttached(std::string_view name, std::string_view type, std::string_view bytes);

} // namespace pelmora::worker
