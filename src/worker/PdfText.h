#pragma once

// poppler's text conversion, set up exactly as pdftotext sets it up with its default
// options, so the text is byte for byte what pdftotext writes.

#include "convert/WorkerProtocol.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class GlobalParamsIniter;

namespace pelmora::worker {

// poppler's global parameters for the life of the process. Quiet: poppler's own
// messages are dropped instead of going to standard error.
class PopplerSession
{
public:
    explicit PopplerSession(bool quiet);
    ~PopplerSession();
    PopplerSession(const PopplerSession &) = delete;
    PopplerSession &operator=(const PopplerSession &) = delete;

private:
    std::unique_ptr<GlobalParamsIniter> m_initer;
};

class PdfDocument;

struct OpenResult
{
    protocol::Outcome outcome = protocol::Outcome::Damaged;
    int errorCode = 0;                     // poppler's, when the outcome is Damaged
    std::unique_ptr<PdfDocument> document; // set when the outcome is Text
    OpenResult();
    OpenResult(OpenResult &&) noexcept;
    OpenResult &operator=(OpenResult &&) noexcept;
    ~OpenResult();
};

// Opens a PDF by its path (bytes, as the file system holds them) without ever blocking
// on something that is not a regular file. Each candidate is tried as owner and user
// password, then no password at all.
OpenResult OpenWithCandidates(const std::string &path, const std::vector<std::string> &candidates);

// One attempt with the passwords as given, as pdftotext makes it (nullopt: not given).
OpenResult OpenOnce(const std::string &path, const std::optional<std::string> &ownerPassword,
                    const std::optional<std::string> &userPassword);

struct PageRange
{
    int first = 1;
    int last = 0;
    int count() const { return last >= first ? last - first + 1 : 0; }
};

// pdftotext's clamping: a first page below 1 is 1, a last page below 1 or past the end is
// the last page. nullopt where pdftotext refuses the range (it ends before it starts).
std::optional<PageRange> ClampRange(int first, int last, int pageCount);

// Receives a conversion page by page, in order.
class PageSink
{
public:
    virtual ~PageSink() = default;
    // The page has no text of its own and is being recognised; `pages` is the number of
    // pages in the range. Comes before the page's text.
    virtual void recognising(int page, int pages) = 0;
    // A piece of the page's text; a page comes in one or more pieces, none when poppler
    // cannot load the page at all (pdftotext writes nothing for it either).
    virtual void text(int page, std::string_view piece) = 0;
    virtual void link(int page, std::string_view target) = 0;
    // A recognised address the readings did not agree on, left out of the page's text,
    // and what single readings made of it instead.
    virtual void unsureAddress(int page, std::string_view address,
                               const std::vector<std::string> &alternatives) = 0;
    virtual void pageEnd(int page) = 0;
};

class PageRecogniser;

struct ConvertOptions
{
    bool links = false;
    // Set: a page whose own text holds fewer than six readable characters is
    // recognised instead.
    PageRecogniser *recogniser = nullptr;
    // Pieces are cut at this size, far below the protocol's frame limit.
    std::size_t pieceSize = 256u * 1024u;
};

// True for a link target that is a mailto: URI, in any letter case.
bool IsMailtoTarget(std::string_view target);

class PdfDocument
{
public:
    ~PdfDocument();
    PdfDocument(const PdfDocument &) = delete;
    PdfDocument &operator=(const PdfDocument &) = delete;

    int pageCount();
    // Converts the range page by page; only one page's text is held at a time.
    void convert(PageRange range, const ConvertOptions &options, PageSink &sink);

private:
    friend struct Opener;
    struct Parts;
    explicit PdfDocument(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> m_parts;
};

} // namespace pelmora::worker
