#include "worker/poppler/PdfText.h"

#include "worker/poppler/PopplerObject.h"
#include "worker/shell/RegularFile.h"

#include <Annot.h>
#include <Catalog.h>
#include <Error.h>
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <Link.h>
#include <Object.h>
#include <PDFDoc.h>
#include <Page.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <TextOutputDev.h>
#include <goo/GooString.h>
#include <goo/gfile.h>
#include <splash/SplashBitmap.h>

#include <algorithm>
#include <cmath>

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

// AES-256 files take at most 127 bytes of a password, and poppler overruns a buffer on a
// longer one instead of cutting it; the older revisions use 32 bytes at most, so the cut
// costs them nothing.
constexpr std::size_t kPasswordBytes = 127;

GooString cutPassword(const std::string &password)
{
    return GooString(password.substr(0, kPasswordBytes));
}

std::optional<GooString> gooPassword(const std::optional<std::string> &password)
{
    if (!password)
        return std::nullopt;
    return cutPassword(*password);
}

// The Latin-1 bytes of a UTF-8 password that has letters beyond ASCII, all of them in
// Latin-1: files before AES-256 keep their passwords in PDFDocEncoding, which poppler
// does not convert to. Nothing for any other password.
std::optional<std::string> latin1Password(const std::string &utf8)
{
    std::string latin1;
    bool beyondAscii = false;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            latin1 += static_cast<char>(byte);
            continue;
        }
        const bool twoBytes = (byte == 0xC2 || byte == 0xC3) && i + 1 < utf8.size() &&
                              (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (!twoBytes)
            return std::nullopt;
        latin1 += static_cast<char>(((byte & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        beyondAscii = true;
    }
    return beyondAscii ? std::optional(latin1) : std::nullopt;
}

// Splash as pdftoppm draws, but a picture whose declared size passes the bound is left
// out before a byte of it is decoded: Splash reads every pixel of a picture that it
// scales down, so one that declares a million by a million pixels from a few bytes of
// data kept a worker busy for good.
class BoundedSplash : public SplashOutputDev
{
public:
    BoundedSplash(std::int64_t maxPixels, SplashColorPtr paper)
        : SplashOutputDev(splashModeMono8, 4, false, paper, true, splashThinLineDefault, false),
          m_maxPixels(maxPixels)
    {
    }

    // The first picture left out, in words; empty when none was.
    const std::string &leftOut() const { return m_leftOut; }

    void drawImageMask(GfxState *state, Object *ref, Stream *str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override
    {
        if (fits(width, height))
            SplashOutputDev::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
    }
    void drawImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                   GfxImageColorMap *colorMap, bool interpolate, const int *maskColors,
                   bool inlineImg) override
    {
        if (fits(width, height))
            SplashOutputDev::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors,
                                       inlineImg);
    }
    void drawMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                         GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override
    {
        if (fits(width, height) && fits(maskWidth, maskHeight))
            SplashOutputDev::drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr,
                                             maskWidth, maskHeight, maskInvert, maskInterpolate);
    }
    void drawSoftMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                             GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap *maskColorMap, bool maskInterpolate) override
    {
        if (fits(width, height) && fits(maskWidth, maskHeight))
            SplashOutputDev::drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate,
                                                 maskStr, maskWidth, maskHeight, maskColorMap,
                                                 maskInterpolate);
    }

private:
    bool fits(int width, int height)
    {
        if (static_cast<std::int64_t>(width) * height <= m_maxPixels)
            return true;
        if (m_leftOut.empty())
            m_leftOut = "an image of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels was not recognised (more than the " + std::to_string(m_maxPixels / 1000000) +
                        " million a picture may have)";
        return false;
    }

    std::int64_t m_maxPixels;
    std::string m_leftOut;
};

// poppler's text keeps the first 50,000 characters of a page that are smaller than 3
// points each way and drops the rest without a word (TextPage::addChar, "the tiny chars
// limit"): a dense page of small print loses its later addresses. Its count is
// private, so it is kept again here by the same rule, for the page to be named.
class TinyCharCounter : public TextOutputDev
{
public:
    using TextOutputDev::TextOutputDev;

    static constexpr int kTinyCharLimit = 50000;

    void startPage(int pageNum, GfxState *state, XRef *xref) override
    {
        m_tiny = 0;
        m_width = state ? state->getPageWidth() : 0;
        m_height = state ? state->getPageHeight() : 0;
        TextOutputDev::startPage(pageNum, state, xref);
    }

    void drawChar(GfxState *state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode c, int nBytes, const Unicode *u, int uLen) override
    {
        double sp = state->getCharSpace();
        if (c == CharCode(0x20))
            sp += state->getWordSpace();
        double dx2 = 0, dy2 = 0, w = 0, h = 0, x1 = 0, y1 = 0;
        state->textTransformDelta(sp * state->getHorizScaling(), 0, &dx2, &dy2);
        state->transformDelta(dx - dx2, dy - dy2, &w, &h);
        state->transform(x, y, &x1, &y1);
        const bool onPage = x1 + w >= 0 && x1 <= m_width && y1 + h >= 0 && y1 <= m_height;
        if (onPage && std::fabs(w) < 3 && std::fabs(h) < 3)
            ++m_tiny;
        TextOutputDev::drawChar(state, x, y, dx, dy, originX, originY, c, nBytes, u, uLen);
    }

    // The tiny characters of the page that poppler left out of its text.
    long dropped() const { return std::max(0L, m_tiny - kTinyCharLimit); }

private:
    long m_tiny = 0;
    double m_width = 0;
    double m_height = 0;
};

// Where a document's bytes are: a file it reads through, or bytes of its own (an attached
// PDF). The document reads through them: they go after it.
struct DocumentBytes
{
    std::unique_ptr<GooFile> file;
    std::unique_ptr<std::string> bytes;
};

class PdfDocument : public TextDocument
{
public:
    PdfDocument(DocumentBytes source, std::unique_ptr<PDFDoc> doc)
        : m_source(std::move(source)), m_doc(std::move(doc))
    {
    }
    ~PdfDocument() override
    {
        // The document reads through the file: it goes first.
        m_doc.reset();
    }
    PdfDocument(const PdfDocument &) = delete;
    PdfDocument &operator=(const PdfDocument &) = delete;

    int pageCount() override { return m_doc->getNumPages(); }
    void convert(PageRange range, const ConvertOptions &options, PageSink &sink) override;
    PdfObject trailer() override { return PopplerObject(*m_doc->getXRef()->getTrailerDict()); }
    PdfObject pageObject(int page) override
    {
        const Ref *ref = page >= 1 && page <= pageCount() ? m_doc->getCatalog()->getPageRef(page) : nullptr;
        return ref ? PopplerObject(m_doc->getXRef()->fetch(*ref), ref->num) : PdfObject();
    }

private:
    DocumentBytes m_source;
    std::unique_ptr<PDFDoc> m_doc;
};

void PdfDocument::convert(PageRange range, const ConvertOptions &options, PageSink &sink)
{
    std::string pageText;
    // pdftotext's defaults: reading order, no layout, diagonal text kept, LF line ends,
    // a form feed after every page. One device for the whole range, as pdftotext has.
    TinyCharCounter device(&appendToPage, &pageText, false, 0, false, false);
    static_assert(TextOutputDev::defaultEndOfLine() == eolUnix, "pdftotext's line end here is LF");
    device.setTextEOL(eolUnix);
    device.setTextPageBreaks(true);
    if (!device.isOk())
        return;
    for (int page = range.first; page <= range.last; ++page) {
        pageText.clear();
        // pdftotext's displayPages: 72 dpi, no rotation, media box, no crop, not printing.
        m_doc->displayPage(&device, page, 72, 72, 0, true, false, false);
        PopplerPage current(*m_doc, page);
        if (const long dropped = device.dropped(); dropped > 0)
            current.setLeftOut("poppler keeps " + std::to_string(TinyCharCounter::kTinyCharLimit) +
                               " characters under 3 points of a page and left out " +
                               std::to_string(dropped) + " more (--engine mupdf keeps up to 200000)");
        if (!SendPage(current, page, range.count(), std::move(pageText), options, sink))
            return;
    }
}

} // namespace

PopplerPage::PopplerPage(PDFDoc &doc, int page) : m_doc(doc), m_number(page), m_page(doc.getPage(page))
{
}

bool PopplerPage::loaded() const
{
    return m_page != nullptr;
}

double PopplerPage::areaInPoints()
{
    return m_doc.getPageMediaWidth(m_number) * m_doc.getPageMediaHeight(m_number);
}

// Media box, no crop: the page box of the converted text.
void PopplerPage::renderGrey(double dpi, std::int64_t maxImagePixels,
                             const std::function<void(const PageBitmap &)> &use)
{
    SplashColor paper{};
    paper[0] = paper[1] = paper[2] = 255;
    BoundedSplash device(maxImagePixels, paper);
    device.setFontAntialias(true);
    device.setVectorAntialias(true);
    device.setEnableFreeType(true);
    device.startDoc(&m_doc);
    m_doc.displayPage(&device, m_number, dpi, dpi, 0, true, false, false);
    if (m_leftOut.empty())
        m_leftOut = device.leftOut();
    const std::unique_ptr<SplashBitmap> bitmap(device.takeBitmap());
    if (bitmap)
        use({bitmap->getDataPtr(), bitmap->getWidth(), bitmap->getHeight(), bitmap->getRowSize()});
}

// Read from each annotation's dictionary as AnnotLink reads its action ("Dest" wins over
// "A"): libpoppler does not export AnnotLink's type information, which sanitizer builds
// need for calls on it.
std::vector<std::string> PopplerPage::uriTargets()
{
    std::vector<std::string> targets;
    Annots *annots = m_page->getAnnots();
    if (!annots)
        return targets;
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
            LinkAction::parseAction(&actionObj, m_doc.getCatalog()->getBaseURI());
        if (action && action->getKind() == actionURI)
            targets.push_back(static_cast<const LinkURI *>(action.get())->getURI());
    }
    return targets;
}

std::vector<PdfObject> PopplerPage::annotations()
{
    std::vector<PdfObject> annotations;
    if (Annots *annots = m_page->getAnnots()) {
        for (const Annot *annot : annots->getAnnots())
            annotations.push_back(PopplerObject(annot->getAnnotObj(), annot->getRef().num));
    }
    return annotations;
}

PopplerSession::PopplerSession(bool quiet)
    // A null callback keeps poppler's own messages on standard error, as pdftotext's.
    : m_initer(std::make_unique<GlobalParamsIniter>(quiet ? &dropMessage : nullptr))
{
    // pdftotext's default; set here so a poppler built with another default cannot change the bytes.
    globalParams->setTextEncoding("UTF-8");
}

PopplerSession::~PopplerSession() = default;

struct Opener
{
    // Opens the path once, refusing anything but a regular file before reading a byte.
    static OpenResult openFile(const std::string &path, DocumentBytes &source)
    {
        const RegularFile opened = OpenRegularFile(path);
        OpenResult result;
        result.outcome = opened.outcome;
        if (opened.fd < 0) {
            // Worded as poppler words it, so the one-shot mode reads like pdftotext.
            error(errIO, -1, "{0:s}", opened.problem.c_str());
            if (opened.outcome == protocol::Outcome::Damaged)
                result.detail = std::to_string(errOpenFile);
            return result;
        }
        source.file = GooFile::open(opened.fd); // owns the descriptor from here on
        return result;
    }

    static std::unique_ptr<PDFDoc> attempt(const DocumentBytes &source, const std::optional<GooString> &owner,
                                           const std::optional<GooString> &user)
    {
        // The same stream PDFDoc builds for a file name, over the file already open.
        BaseStream *stream =
            source.file
                ? static_cast<BaseStream *>(
                      new FileStream(source.file.get(), 0, false, source.file->size(), Object(objNull)))
                : new MemStream(source.bytes->data(), 0, Goffset(source.bytes->size()), Object(objNull));
        return std::make_unique<PDFDoc>(stream, owner, user);
    }

    static OpenResult opened(DocumentBytes source, std::unique_ptr<PDFDoc> doc)
    {
        OpenResult result;
        result.outcome = protocol::Outcome::Text;
        result.document = std::make_unique<PdfDocument>(std::move(source), std::move(doc));
        return result;
    }

    static OpenResult failed(protocol::Outcome outcome, int code)
    {
        OpenResult result;
        result.outcome = outcome;
        if (outcome == protocol::Outcome::Damaged)
            result.detail = std::to_string(code);
        return result;
    }

    // Every candidate as owner and user password, then none: a file restricted by an
    // owner password alone opens without one, whatever wrong candidates came first.
    static OpenResult withCandidates(DocumentBytes source, const std::vector<std::string> &candidates)
    {
        std::vector<std::optional<GooString>> attempts;
        for (const std::string &candidate : candidates) {
            attempts.emplace_back(cutPassword(candidate));
            if (const std::optional<std::string> latin1 = latin1Password(candidate))
                attempts.emplace_back(GooString(*latin1));
        }
        attempts.emplace_back(std::nullopt);
        for (const std::optional<GooString> &password : attempts) {
            std::unique_ptr<PDFDoc> doc = attempt(source, password, password);
            if (doc->isOk())
                return opened(std::move(source), std::move(doc));
            const int code = doc->getErrorCode();
            if (code != errEncrypted) // not a question of passwords: another one cannot help
                return failed(protocol::Outcome::Damaged, code);
        }
        return failed(candidates.empty() ? protocol::Outcome::NeedsPassword
                                         : protocol::Outcome::WrongPassword,
                      errEncrypted);
    }
};

OpenResult OpenWithCandidates(const std::string &path, const std::vector<std::string> &candidates)
{
    DocumentBytes source;
    OpenResult result = Opener::openFile(path, source);
    if (!source.file)
        return result;
    return Opener::withCandidates(std::move(source), candidates);
}

OpenResult OpenBytesWithCandidates(std::string bytes, const std::vector<std::string> &candidates)
{
    DocumentBytes source;
    source.bytes = std::make_unique<std::string>(std::move(bytes));
    return Opener::withCandidates(std::move(source), candidates);
}

OpenResult OpenOnce(const std::string &path, const std::optional<std::string> &ownerPassword,
                    const std::optional<std::string> &userPassword)
{
    DocumentBytes source;
    OpenResult result = Opener::openFile(path, source);
    if (!source.file)
        return result;
    std::unique_ptr<PDFDoc> doc =
        Opener::attempt(source, gooPassword(ownerPassword), gooPassword(userPassword));
    if (doc->isOk())
        return Opener::opened(std::move(source), std::move(doc));
    const int code = doc->getErrorCode();
    return Opener::failed(
        code == errEncrypted ? protocol::Outcome::WrongPassword : protocol::Outcome::Damaged, code);
}

} // namespace pelmora::worker
