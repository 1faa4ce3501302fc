#pragma once

// The pipe protocol between the program and its converter workers (pelmora-convert
// --serve). A worker converts one file after another for its whole life: it reads a
// request on standard input, answers on standard output, and reads the next request.
// It ends at the end of its input.
//
// Framing. Every message is one frame: a type byte, the payload's length as a 32-bit
// little-endian number, then the payload. A payload is a row of fields, each again a
// 32-bit little-endian length and that many bytes. Numbers are fields of decimal
// digits. Frames longer than kMaxFrame are refused, so a broken peer cannot make the
// other side allocate without bound.
//
// Request, program to worker:
//   'C'  path         the file name as the file system holds it (bytes, any encoding)
//        first page   1-based; empty: from the first page
//        last page    empty: to the last page
//        options      letters: 'o' recognise pages without text (OCR), 'l' report
//                     the mailto: links of each page, 'n' the notes and form values
//                     of each page, 'm' the document's metadata, 'a' its attached
//                     files
//        languages    OCR languages in tesseract's form ("eng+deu"); empty: "eng"
//        rules        the run's address rules, by which recognition reads a page's
//                     addresses as the program reads a page's text (its
//                     AddressRules::toLine: the rules on as a number, then each domain
//                     pattern after "-" to leave out or "+" to keep); empty: the defaults
//        password...  none or more candidates, tried in order, then no password
//   'S'  last page    while a conversion is under way: end it after that page, or
//                     after the page under way if it is later (its pages have gone
//                     to another worker). A worker that is between files ignores it:
//                     the conversion it was meant for has ended.
//
// Answer, worker to program, for each request:
//   'O'  outcome, detail, page count
//        outcome is one of the Outcome names below. detail is the library's reason
//        for "damaged" (poppler's error code, MuPDF's message), a message for "error",
//        else empty. The page count is the number of pages that follow (0 unless
//        the outcome is "text"; 0 too for a range that ends before it starts, for
//        which pdftotext writes nothing).
//   then, for "text", page by page in order:
//   'R'  page, pages     the page has no text of its own and is being recognised
//   'T'  page, bytes     a piece of the page's text (UTF-8, LF line ends); a page may
//                        come in several pieces, and its last one ends with a form feed;
//                        a page poppler cannot load has none (pdftotext writes nothing
//                        for it either, not even the form feed); recognised text comes
//                        with the misreadings of addresses mended (OcrRepair.h); an
//                        underscore read from a rule drawn in a word gap is U+E05F
//                        (kDrawnUnderscore, core/DrawnUnderscore.h), which the program
//                        reads as "_"
//   'L'  page, target    a mailto: link of the page (only when "l" was asked)
//   'U'  page, address, alternative...
//                        an address recognised on the page (OCR) that its readings
//                        did not agree on, and what single readings made of it instead:
//                        it is not in the page's text; the program may count it,
//                        confirm it by another sighting, or list it
//   'I'  page, reason    the page was not read whole, in words for the user ("an image
//                        of 1000000 x 1000000 pixels was left out"); its text and
//                        addresses so far count, and the file is named with the reason
//   'N'  page, kind, shown, text
//                        a note of the page (only when "n" was asked): kind "annotation"
//                        (the text of a note, free-text or other markup annotation) or
//                        "form" (a text or choice field's value); shown "1" when its own
//                        appearance shows the text on the page, so that the page's text
//                        may hold it too, else empty
//   'E'  page            the page is complete
//   then, after the last page, unless the worker was told to stop after an earlier one
//   (the end of the file is then another conversion's), and only when asked:
//   'X'  inside, page, kind, shown, name, text
//                        a text beyond the pages' own: the document's metadata ("m":
//                        inside empty, page 0, kind "metadata", name the field, such as
//                        "Author" or "dc:creator"), or what an attached file holds ("a":
//                        inside the path of attached names, " » " between them; page its
//                        page when it is a PDF, else 0; kind "text", "link", "annotation",
//                        "form" or "metadata", as above); a page of an attached PDF comes
//                        whole, a text file in pieces cut at line ends
//   'K'  inside, reason  an attached file not read, in words for the user: a kind that
//                        is not read, one that unpacks beyond the bound, a loop, too deep
//   'D'                  the answer is complete; the worker waits for the next request
// A worker that meets a request it cannot read answers "error" and ends.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmora::protocol {

constexpr std::size_t kMaxFrame = std::size_t{64} * 1024 * 1024;

enum class FrameType : char
{
    Convert = 'C',
    StopAfter = 'S',
    Opened = 'O',
    Recognising = 'R',
    Text = 'T',
    Link = 'L',
    Unsure = 'U',
    Incomplete = 'I',
    Note = 'N',
    PageEnd = 'E',
    Extra = 'X',
    NotRead = 'K',
    Done = 'D',
};

enum class Outcome
{
    Text,          // opened; its pages follow
    NeedsPassword, // encrypted, and no candidate was given
    WrongPassword, // encrypted, and no candidate opened it
    Damaged,       // not a PDF, cut short, empty, missing: the PDF library could not open it
    NotRegular,    // a folder, a pipe, a device: not read at all
    Error,         // anything else, with a message
};

std::string_view OutcomeName(Outcome outcome);
std::optional<Outcome> OutcomeFromName(std::string_view name);

struct Frame
{
    FrameType type;
    std::vector<std::string> fields;
    friend bool operator==(const Frame &, const Frame &) = default;
};

// The bytes of one frame.
std::string EncodeFrame(FrameType type, const std::vector<std::string_view> &fields);

// Cuts a byte stream into frames. Feed it what arrives; take frames while there are.
class FrameReader
{
public:
    void feed(std::string_view bytes);
    // The next whole frame; nullopt when more bytes are needed or the stream is broken.
    std::optional<Frame> next();
    // True once the stream broke the framing (an unknown type, a frame too long, fields
    // that do not fill their payload); nothing more is read from it.
    bool broken() const { return m_broken; }
    // Bytes received but not yet taken as a frame.
    std::size_t pending() const { return m_buffer.size() - m_start; }

private:
    std::string m_buffer;
    std::size_t m_start = 0;
    bool m_broken = false;
};

struct ConvertRequest
{
    std::string path;
    int firstPage = 0; // 0: from the first page
    int lastPage = 0;  // 0: to the last page
    bool recognise = false;
    bool links = false;
    std::string languages;
    std::vector<std::string> passwords;
    bool notes = false;
    bool metadata = false;
    bool attachments = false;
    std::string addressRules = {}; // empty: the defaults
    friend bool operator==(const ConvertRequest &, const ConvertRequest &) = default;
};

std::string EncodeRequest(const ConvertRequest &request);
std::optional<ConvertRequest> DecodeRequest(const Frame &frame);
std::string EncodeStopAfter(int lastPage);
// The last page of a 'S' frame; nullopt for any other frame.
std::optional<int> DecodeStopAfter(const Frame &frame);

// The kinds of text of 'N' and 'X' frames.
enum class SourceKind
{
    Text,       // a page's text, or a text file's
    Link,       // a mailto: link's target
    Annotation, // a note
    Form,       // a form field's value
    Metadata,   // a field of the document information or of XMP
};

std::string_view SourceKindName(SourceKind kind);
std::optional<SourceKind> SourceKindFromName(std::string_view name);

// One step of a worker's answer, as the worker's converter produces it and the program
// reads it back: the file's outcome, a page being recognised, a piece of a page's text, a
// link or a note of the page, the end of a page, a text beyond the pages, an attached
// file not read, the end of the answer. Its text fields view the bytes they were made
// from (the converter's buffer, or the frame they were decoded from).
struct PageEvent
{
    FrameType type = FrameType::Done; // any type but Convert
    int page = 0;                     // Recognising, Text, Link, Unsure, Incomplete, Note, PageEnd, Extra
    int pages = 0;                    // Opened: pages that follow; Recognising: pages in the range
    std::string_view bytes = {};      // Text: the piece; Link: the target; Unsure: the address;
                                      // Opened: the detail; Incomplete, NotRead: the reason;
                                      // Note, Extra: the text
    Outcome outcome = Outcome::Text;  // Opened
    std::vector<std::string_view> alternatives = {}; // Unsure: what single readings made of it
    SourceKind kind = SourceKind::Text;              // Note, Extra
    bool shown = false;                              // Note, Extra
    std::string_view inside = {};                    // Extra, NotRead
    std::string_view name = {};                      // Extra
    friend bool operator==(const PageEvent &, const PageEvent &) = default;

    static PageEvent opened(Outcome outcome, int pages, std::string_view detail = {})
    {
        return {FrameType::Opened, 0, pages, detail, outcome};
    }
    static PageEvent recognising(int page, int pages) { return {FrameType::Recognising, page, pages, {}}; }
    static PageEvent text(int page, std::string_view piece) { return {FrameType::Text, page, 0, piece}; }
    static PageEvent link(int page, std::string_view target) { return {FrameType::Link, page, 0, target}; }
    static PageEvent unsure(int page, std::string_view address, std::vector<std::string_view> alternatives)
    {
        return {FrameType::Unsure, page, 0, address, Outcome::Text, std::move(alternatives)};
    }
    static PageEvent incomplete(int page, std::string_view reason)
    {
        return {FrameType::Incomplete, page, 0, reason};
    }
    static PageEvent note(int page, SourceKind kind, bool shown, std::string_view text)
    {
        return {FrameType::Note, page, 0, text, Outcome::Text, {}, kind, shown};
    }
    static PageEvent pageEnd(int page) { return {FrameType::PageEnd, page, 0, {}}; }
    static PageEvent extra(std::string_view inside, int page, SourceKind kind, bool shown,
                           std::string_view name, std::string_view text)
    {
        return {FrameType::Extra, page, 0, text, Outcome::Text, {}, kind, shown, inside, name};
    }
    static PageEvent notRead(std::string_view inside, std::string_view reason)
    {
        return {FrameType::NotRead, 0, 0, reason, Outcome::Text, {}, SourceKind::Text, false, inside};
    }
    static PageEvent done() { return {}; }
};

std::string EncodeEvent(const PageEvent &event);
// nullopt for a Convert frame and for fields that do not fit the type.
std::optional<PageEvent> DecodeEvent(const Frame &frame);

// A field holding a page number, or another whole number from 0 to 2^31 - 1.
std::optional<int> DecodeNumber(std::string_view field);
std::string EncodeNumber(int number);

} // namespace pelmora::protocol
