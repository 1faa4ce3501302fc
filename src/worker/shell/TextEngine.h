#pragma once

// What the converter asks of a PDF library (poppler or MuPDF): open a file with
// candidate passwords, count its pages, convert a range of them page by page. The steps
// every engine takes the same way on a page (recognition of a page without text, the
// pieces, the mailto: links) are here, once.

#include "protocol/WorkerProtocol.h"
#include "worker/recognition/PageRecogniser.h"
#include "worker/shell/PdfObject.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

struct PageRange
{
    int first = 1;
    int last = 0;
    int count() const { return last >= first ? last - first + 1 : 0; }
};

// pdftotext's clamping: a first page below 1 is 1, a last page below 1 or past the end is
// the last page. nullopt where pdftotext refuses the range (it ends before it starts).
std::optional<PageRange> ClampRange(int first, int last, int pageCount);

// Receives a conversion page by page, in order: for each page, Recognising when the page
// has no text of its own and is being recognised, its text in one or more pieces (none
// when the engine cannot load the page: pdftotext writes nothing for it either), its
// links, its notes, the addresses recognition was unsure of, Incomplete when something of
// the page could not be taken in, then PageEnd. After the pages, the sources beyond them
// (DocumentSources.h).
class PageSink
{
public:
    virtual ~PageSink() = default;
    // False ends the conversion: nothing more is wanted, or nothing more can be taken.
    [[nodiscard]] virtual bool take(const protocol::PageEvent &event) = 0;
};

struct ConvertOptions
{
    bool links = false;
    bool notes = false; // the notes and form values of each page (PageNotes.h)
    // Set: a page whose own text holds fewer than six readable characters is
    // recognised instead.
    PageRecogniser *recogniser = nullptr;
    // Pieces are cut at this size, far below the protocol's frame limit.
    std::size_t pieceSize = 256u * 1024u;
};

// True for a link target that is a mailto: URI, in any letter case.
bool IsMailtoTarget(std::string_view target);

// One page as an engine has loaded it.
class EnginePage : public RenderablePage
{
public:
    // False when the engine could not load the page (its text is then empty).
    virtual bool loaded() const = 0;
    // The targets of the page's URI link annotations, in the page's order.
    virtual std::vector<std::string> uriTargets() = 0;
    // The page's annotations, in its order.
    virtual std::vector<PdfObject> annotations() = 0;
};

// Hands one page to the sink, given the text the engine made of it: recognised instead
// when asked and the page has no text of its own, cut into pieces, followed by its
// mailto: links and its notes when asked. False when the sink said stop.
bool SendPage(EnginePage &page, int number, int pages, std::string text, const ConvertOptions &options,
              PageSink &sink);

class TextDocument
{
public:
    virtual ~TextDocument() = default;
    virtual int pageCount() = 0;
    // Converts the range page by page, until its end or until the sink says stop; only
    // one page's text is held at a time.
    virtual void convert(PageRange range, const ConvertOptions &options, PageSink &sink) = 0;
    // The file's trailer (its /Root and /Info), and the object of a page (from 1).
    virtual PdfObject trailer() = 0;
    virtual PdfObject pageObject(int page) = 0;
};

struct OpenResult
{
    protocol::Outcome outcome = protocol::Outcome::Damaged;
    std::string detail;                     // why, when the outcome is Damaged
    std::unique_ptr<TextDocument> document; // set when the outcome is Text
};

class TextEngine
{
public:
    virtual ~TextEngine() = default;
    // Opens a PDF by its path (bytes, as the file system holds them) without ever
    // blocking on something that is not a regular file. Each candidate is tried as owner
    // and user password, then no password at all.
    virtual OpenResult open(const std::string &path, const std::vector<std::string> &candidates) = 0;
    // Opens a PDF attached to another from its bytes, which the document keeps.
    virtual OpenResult openAttached(std::string bytes, const std::vector<std::string> &candidates) = 0;
};

} // namespace pelmora::worker
