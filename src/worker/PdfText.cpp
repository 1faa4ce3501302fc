#include "worker/PdfText.h"

#include "worker/RegularFile.h"

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

class PdfDocument : public TextDocument
{
public:
    PdfDocument(std::unique_ptr<GooFile> file, std::unique_ptr<PDFDoc> doc)
        : m_file(std::move(file)), m_doc(std::move(doc))
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

private:
    std::unique_ptr<GooFile> m_file;
    std::unique_ptr<PDFDoc> m_doc;
};

void PdfDocument::convert(PageRange range, const ConvertOptions &options, PageSink &sink)
{
    std::string pageText;
    // pdftotext's defaults: reading order, no layout, diagonal text kept, LF line ends,
    // a form feed after every page. One device for the whole range, as pdftotext has.
    TextOutputDev device(&appendToPage, &pageText, false, 0, false, false);
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
void PopplerPage::renderGrey(double dpi, const std::function<void(const PageBitmap &)> &use)
{
    SplashColor paper{};
    paper[0] = paper[1] = paper[2] = 255;
    SplashOutputDev device(splashModeMono8, 4, false, paper, true, splashThinLineDefault, false);
    device.setFontAntialias(true);
    device.setVectorAntialias(true);
    device.setEnableFreeType(true);
    device.startDoc(&m_doc);
    m_doc.displayPage(&device, m_number, dpi, dpi, 0, true, false, false);
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
    static OpenResult openFile(const std::string &path, std::unique_ptr<GooFile> &file)
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
        file = GooFile::open(opened.fd); // owns the descriptor from here on
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
        result.document = std::make_unique<PdfDocument>(std::move(file), std::move(doc));
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
    for (const std::string &candidate : candidates) {
        attempts.emplace_back(cutPassword(candidate));
        if (const std::optional<std::string> latin1 = latin1Password(candidate))
            attempts.emplace_back(GooString(*latin1));
    }
    attempts.emplace_back(std::nullopt);
    for (const std::optional<GooString> &password : attempts) {
        std::unique_ptr<PDFDoc> doc = Opener::attempt(*file, password, password);
        if (doc->isOk())
            return Opener::opened(std::move(file), std::move(doc));
        const int code = doc->getErrorCode();
        if (code != errEncrypted) // not a question of passwords: another one cannot help
            return Opener::failed(protocol::Outcome::Damaged, code);
    }
    return Opener::failed(candidates.empty() ? protocol::Outcome::NeedsPassword
                                             : protocol::Outcome::WrongPassword,
                          errEncrypted);
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
    const int code = doc->getErrorCode();
    return Opener::failed(
        code == errEncrypted ? protocol::Outcome::WrongPassword : protocol::Outcome::Damaged, code);
}

} // namespace pelmora::worker
