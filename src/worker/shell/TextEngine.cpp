#include "worker/shell/TextEngine.h"

#include "extract/ConvertedText.h"
#include "worker/recognition/OcrRepair.h"
#include "worker/shell/MemoryWatch.h"
#include "worker/shell/PageNotes.h"

namespace pelmora::worker {

namespace {

// The readability rule the program applies to a whole converted file, here to one page.
bool needsRecognition(const std::string &pageText)
{
    TextReadability readability;
    readability.examine(QByteArrayView(pageText.data(), static_cast<qsizetype>(pageText.size())));
    return !readability.settled();
}

} // namespace

std::optional<PageRange> ClampRange(int first, int last, int pageCount)
{
    PageRange range{first, last};
    if (range.first < 1)
        range.first = 1;
    if (range.last < 1 || range.last > pageCount)
        range.last = pageCount;
    if (range.last < range.first)
        return std::nullopt;
    return range;
}

bool IsMailtoTarget(std::string_view target)
{
    constexpr std::string_view scheme = "mailto:";
    if (target.size() < scheme.size())
        return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char c = target[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i])
            return false;
    }
    return true;
}

bool SendPage(EnginePage &page, int number, int pages, std::string text, const ConvertOptions &options,
              PageSink &sink)
{
    using protocol::PageEvent;
    std::vector<VotedAddress> unsure;
    if (options.recogniser && needsRecognition(text) && page.loaded()) {
        if (!sink.take(PageEvent::recognising(number, pages)))
            return false;
        if (std::optional<RecognisedPage> recognised = options.recogniser->recognise(page)) {
            text = std::move(recognised->text);
            unsure = std::move(recognised->unsureAddresses);
        }
        // The typical misreadings of addresses mended where that is unambiguous.
        text = RepairRecognisedText(QByteArrayView(text.data(), qsizetype(text.size()))).toStdString();
    }
    const std::size_t pieceSize = options.pieceSize > 0 ? options.pieceSize : 1;
    for (std::size_t at = 0; at < text.size(); at += pieceSize) {
        if (!sink.take(PageEvent::text(number, std::string_view(text).substr(at, pieceSize))))
            return false;
    }
    if (options.links && page.loaded()) {
        for (const std::string &target : page.uriTargets()) {
            if (IsMailtoTarget(target) && !sink.take(PageEvent::link(number, target)))
                return false;
        }
    }
    if (options.notes && page.loaded()) {
        for (const PageNote &note : NotesOf(page.annotations())) {
            if (!sink.take(PageEvent::note(number, note.kind, note.shown, note.text)))
                return false;
        }
    }
    for (const VotedAddress &address : unsure) {
        if (!sink.take(PageEvent::unsure(number, address.address,
                                         {address.alternatives.begin(), address.alternatives.end()})))
            return false;
    }
    // Whatever the engine or the recognition could not take in is named, never dropped. A
    // page that cannot be loaded at all (a page tree that lists itself gives such a page
    // to either engine) gives no text, as pdftotext gives none, but it is named.
    std::string incomplete =
        page.loaded() ? page.leftOut() : "it cannot be loaded: the file is damaged there";
    if (TakeAllocationFailure())
        incomplete = MemoryShortage();
    if (!incomplete.empty() && !sink.take(PageEvent::incomplete(number, incomplete)))
        return false;
    return sink.take(PageEvent::pageEnd(number));
}

} // namespace pelmora::worker
