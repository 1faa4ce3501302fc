#include "worker/PdfText.h"

#include "extract/ConvertedText.h"
#include "worker/PageRecogniser.h"

#include <Annot.h>
#include <Catalog.h>
#include <Error.h>
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <Link.h>
#include <Object.h>
#include <PDFDoc.h>
#include <Page.h>
#include <Stream.h>
#include <TextOutputDev.h>
#include <goo/GooString.h>
#include <goo/gfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// Passwords went from GooString pointers to std::optional<GooString> in 22.03; the
// other calls used here (GooFile::open on a descriptor, FileStream over a GooFile,
// LinkAction::parseAction with an optional base URI, LinkURI::getURI as std::string)
// are as in 22.12, the only release this is built and tested with.
#if PELMORA_POPPLER_VERSION < 220300
#error "pelmora-convert needs poppler 22.03 or newer (Debian 12: libpoppler-private-dev 22.12)"
#endif

namespace pelmora::worker {

namespace {

void dropMessage(ErrorCategory, Goffset, const char *)
{
}

// pdftotext's text output function writes to a FILE; ours collects one page.
void appendToPage(void *stream, const char *text, int length)
{
    if (length > 0)
        static_cast<std::string *>(stream)->append(text, static_cast<std::size_t>(length));
}

// The readability rule the program applies to a whole converted file, here to one page.
bool needsRecognition(const std::string &pageText)
{
    TextReadability readability;
    readability.examine(QByteArrayView(pageText.data(), static_cast<qsizetype>(pageText.size())));
    return !readability.settled();
}

std::optional<GooString> gooPassword(const std::optional<std::string> &password)
{
    if (!password)
        return std::nullopt;
    return GooString(*password);
}

// The mailto: targets of the page's link annotations. Read from each annotation's
// dictionary as AnnotLink reads its action ("Dest" wins over "A"): libpoppler does not
// export AnnotLink's type information, which sanitizer builds need for calls on it.
bool sendMailtoLinks(PDFDoc &doc, int page, PageSink &sink)
{
    Page *pdfPage = doc.getPage(page);
    Annots *annots = pdfPage ? pdfPage->getAnnots() : nullptr;
    if (!annots)
        return true;
    for (const Annot *annot : annots->getAnnots()) {
        if (annot->getType() != Annot::typeLink || !annot->getAnnotObj().isDict())
            continue;
        const Object &dict = annot->getAnnotObj();
        if (!dict.dictLookup("Dest").isNull())
            continue;
        const Object actionObj = dict.dictLookup("A");
        if (!actionObj.isDict())
            continue;
        const std::unique_ptr<LinkAction> action =
            LinkAction::parseAction(&actionObj, doc.getCatalog()->getBaseURI());
        if (!action || action->getKind() != actionURI)
            continue;
        const std::string &uri = static_cast<const LinkURI *>(action.get())->getURI();
        if (IsMailtoTarget(uri) && !sink.take(protocol::PageEvent::link(page, uri)))
            return false;
    }
    return true;
}

} // namespace

PopplerSession::PopplerSession(bool quiet)
    // A null callback keeps poppler's own messages on standard error, as pdftotext's.
    : m_initer(std::make_unique<GlobalParamsIniter>(quiet ? &dropMessage : nullptr))
{
    // pdftotext's default; set here so a poppler built with another default cannot change the bytes.
    globalParams->setTextEncoding("UTF-8");
}

PopplerSession::~PopplerSession() = default;

struct PdfDocument::Parts
{
    // The open file; the document's stream reads it, so it outlives the document.
    std::unique_ptr<GooFile> file;
    std::unique_ptr<PDFDoc> doc;
};

OpenResult::OpenResult() = default;
OpenResult::OpenResult(OpenResult &&) noexcept = default;
OpenResult &OpenResult::operator=(OpenResult &&) noexcept = default;
OpenResult::~OpenResult() = default;

struct Opener
{
    // Opens the path once, refusing anything but a regular file before reading a byte.
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    static OpenResult openFile(const std::string &path, std::unique_ptr<GooFile> &file)
    {
        OpenResult result;
        result.outcome = protocol::Outcome::Damaged;
        result.errorCode = errOpenFile;
        // A name with a NUL in it cannot be handed to open(2) without meaning another file.
        if (path.find('\0') != std::string::npos) {
            error(errIO, -1, "Couldn't open file: the name holds a NUL byte.");
            return result;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            // Worded as poppler words it, so the one-shot mode reads like pdftotext.
            error(errIO, -1, "Couldn't open file '{0:s}': {1:s}.", path.c_str(), std::strerror(errno));
            return result;
        }
        struct stat status
        {
        };
        if (::fstat(fd, &status) != 0) {
            error(errIO, -1, "Couldn't open file '{0:s}': {1:s}.", path.c_str(), std::strerror(errno));
            ::close(fd);
            return result;
        }
        if (!S_ISREG(status.st_mode)) {
            ::close(fd);
            error(errIO, -1, "Couldn't open file '{0:s}': not a regular file.", path.c_str());
            result.outcome = protocol::Outcome::NotRegular;
            return result;
        }
        // Reads of a regular file never wait; the flag is dropped only to read plainly.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        file = GooFile::open(fd); // owns fd from here on
        result.outcome = protocol::Outcome::Text;
        result.errorCode = 0;
        return result;
    }

    static std::unique_ptr<PDFDoc> attempt(GooFile &file, const std::optional<GooString> &owner,
                                           const std::optional<GooString> &user)
    {
        // The same stream PDFDoc builds for a file name, over the file already open.
        auto *stream = new FileStream(&file, 0, false, file.size(), Object(objNull));
        return std::make_unique<PDFDoc>(stream, owner, user);
    }

    static OpenResult opened(std::unique_ptr<GooFile> file, std::unique_ptr<PDFDoc> doc)
    {
        OpenResult result;
        result.outcome = protocol::Outcome::Text;
        auto parts = std::make_unique<PdfDocument::Parts>();
        parts->file = std::move(file);
        parts->doc = std::move(doc);
        result.document.reset(new PdfDocument(std::move(parts)));
        return result;
    }
};

OpenResult OpenWithCandidates(const std::string &path, const std::vector<std::string> &candidates)
{
    std::unique_ptr<GooFile> file;
    OpenResult result = Opener::openFile(path, file);
    if (!file)
        return result;
    // Every candidate as owner and user password, then none: a file restricted by an
    // owner password alone opens without one, whatever wrong candidates came first.
    std::vector<std::optional<GooString>> attempts;
    for (const std::string &candidate : candidates)
        attempts.emplace_back(GooString(candidate));
    attempts.emplace_back(std::nullopt);
    for (const std::optional<GooString> &password : attempts) {
        std::unique_ptr<PDFDoc> doc = Opener::attempt(*file, password, password);
        if (doc->isOk())
            return Opener::opened(std::move(file), std::move(doc));
        const int code = doc->getErrorCode();
        if (code != errEncrypted) {
            // Not a question of passwords: another one cannot help.
            result.outcome = protocol::Outcome::Damaged;
            result.errorCode = code;
            return result;
        }
    }
    result.outcome = candidates.empty() ? protocol::Outcome::NeedsPassword : protocol::Outcome::WrongPassword;
    result.errorCode = errEncrypted;
    return result;
}

OpenResult OpenOnce(const std::string &path, const std::optional<std::string> &ownerPassword,
                    const std::optional<std::string> &userPassword)
{
    std::unique_ptr<GooFile> file;
    OpenResult result = Opener::openFile(path, file);
    if (!file)
        return result;
    std::unique_ptr<PDFDoc> doc =
        Opener::attempt(*file, gooPassword(ownerPassword), gooPassword(userPassword));
    if (doc->isOk())
        return Opener::opened(std::move(file), std::move(doc));
    result.errorCode = doc->getErrorCode();
    result.outcome =
        result.errorCode == errEncrypted ? protocol::Outcome::WrongPassword : protocol::Outcome::Damaged;
    return result;
}

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

PdfDocument::PdfDocument(std::unique_ptr<Parts> parts) : m_parts(std::move(parts))
{
}

PdfDocument::~PdfDocument()
{
    // The document reads through the file: it goes first.
    m_parts->doc.reset();
}

int PdfDocument::pageCount()
{
    return m_parts->doc->getNumPages();
}

bool PdfDocument::convert(PageRange range, const ConvertOptions &options, PageSink &sink)
{
    PDFDoc &doc = *m_parts->doc;
    std::string pageText;
    // pdftotext's defaults: reading order, no layout, diagonal text kept, LF line ends,
    // a form feed after every page. One device for the whole range, as pdftotext has.
    TextOutputDev device(&appendToPage, &pageText, false, 0, false, false);
    static_assert(TextOutputDev::defaultEndOfLine() == eolUnix, "pdftotext's line end here is LF");
    device.setTextEOL(eolUnix);
    device.setTextPageBreaks(true);
    if (!device.isOk())
        return true;
    const std::size_t pieceSize = options.pieceSize > 0 ? options.pieceSize : 1;
    for (int page = range.first; page <= range.last; ++page) {
        pageText.clear();
        // pdftotext's displayPages: 72 dpi, no rotation, media box, no crop, not printing.
        doc.displayPage(&device, page, 72, 72, 0, true, false, false);

        std::vector<VotedAddress> unsure;
        if (options.recogniser && needsRecognition(pageText) && doc.getPage(page)) {
            if (!sink.take(protocol::PageEvent::recognising(page, range.count())))
                return false;
            if (std::optional<RecognisedPage> recognised = options.recogniser->recognise(doc, page)) {
                pageText = std::move(recognised->text);
                unsure = std::move(recognised->unsureAddresses);
            }
        }

        for (std::size_t at = 0; at < pageText.size(); at += pieceSize) {
            if (!sink.take(protocol::PageEvent::text(page, std::string_view(pageText).substr(at, pieceSize))))
                return false;
        }
        if (options.links && !sendMailtoLinks(doc, page, sink))
            return false;
        for (const VotedAddress &address : unsure) {
            if (!sink.take(protocol::PageEvent::unsure(page, address.address, address.alternatives)))
                return false;
        }
        if (!sink.take(protocol::PageEvent::pageEnd(page)))
            return false;
    }
    return true;
}

} // namespace pelmora::worker
