#include "worker/shell/AttachedFiles.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <set>

using namespace Qt::Literals::StringLiterals;
using namespace std::literals::string_view_literals;

namespace pelmora::worker {

namespace {

// A name tree of more nodes than this is forged; its walk ends there.
constexpr int kMostNameTreeNodes = 100000;

// The names of text files: the kinds a reader opens in a text editor or browser.
constexpr std::array<std::string_view, 30> kTextEndings{
    "txt",   "text", "csv", "tsv",  "vcf",  "vcard", "eml", "mbox", "html", "htm",
    "xhtml", "xml",  "tex", "ltx",  "sty",  "cls",   "dtx", "ins",  "bib",  "bbl",
    "bst",   "md",   "rst", "json", "yaml", "yml",   "ini", "cfg",  "log",  "ics"};

// Kinds known by their first bytes, and their names for the user.
constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kMagic{{
    {"\x89PNG"sv, "a PNG picture"},
    {"\xFF\xD8\xFF"sv, "a JPEG picture"},
    {"GIF8"sv, "a GIF picture"},
    {"II*\0"sv, "a TIFF picture"},
    {"MM\0*"sv, "a TIFF picture"},
    {"PK\x03\x04"sv, "a ZIP archive (or an office document)"},
    {"\xD0\xCF\x11\xE0"sv, "an old Microsoft Office document"},
    {"\x1F\x8B"sv, "a gzip archive"},
    {"Rar!"sv, "a RAR archive"},
    {"7z\xBC\xAF"sv, "a 7-Zip archive"},
    {"\x7F"
     "ELF"sv,
     "a program"},
}};

std::string_view ending(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

bool hasTextName(std::string_view name, std::string_view type)
{
    std::string lower(ending(name));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kTextEndings.begin(), kTextEndings.end(), lower) != kTextEndings.end() ||
           type.substr(0, 5) == "text/";
}

QByteArrayView view(std::string_view bytes)
{
    return {bytes.data(), static_cast<qsizetype>(bytes.size())};
}

// The charset an HTML or XML file declares at its start.
std::optional<QStringDecoder> declaredCharset(std::string_view bytes)
{
    static const QRegularExpression declaration(uR"((?:charset|encoding)\s*=\s*["']?([A-Za-z0-9._:-]+))"_s,
                                                QRegularExpression::CaseInsensitiveOption);
    const QString start = QString::fromLatin1(view(bytes.substr(0, 1024)));
    const QRegularExpressionMatch match = declaration.match(start);
    if (!match.hasMatch())
        return std::nullopt;
    QStringDecoder decoder(match.captured(1).toLatin1().constData());
    return decoder.isValid() ? std::optional(std::move(decoder)) : std::nullopt;
}

// UTF-16 without a byte order mark: every second byte of its ASCII is NUL.
std::optional<QStringDecoder::Encoding> bareUtf16(std::string_view bytes)
{
    const std::size_t sample = std::min<std::size_t>(bytes.size() & ~std::size_t(1), 1024);
    std::size_t evenNul = 0;
    std::size_t oddNul = 0;
    for (std::size_t i = 0; i < sample; ++i)
        (i % 2 == 0 ? evenNul : oddNul) += bytes[i] == '\0';
    if (sample >= 2 && oddNul * 4 >= sample && evenNul == 0)
        return QStringDecoder::Utf16LE;
    if (sample >= 2 && evenNul * 4 >= sample && oddNul == 0)
        return QStringDecoder::Utf16BE;
    return std::nullopt;
}

// The bytes as text: by byte order mark, else UTF-8 when they are that, else as declared,
// else Windows-1252 (Latin-1 where it is not to be had); nullopt for bytes of no text.
std::optional<QString> decodeText(std::string_view name, std::string_view type, std::string_view bytes)
{
    QString text;
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(view(bytes));
        marked && *marked != QStringConverter::Utf8) {
        text = QStringDecoder(*marked)(view(bytes));
    } else if (bytes.find('\0') != std::string_view::npos) {
        const std::optional<QStringDecoder::Encoding> utf16 = bareUtf16(bytes);
        if (!utf16 || !hasTextName(name, type))
            return std::nullopt;
        text = QStringDecoder(*utf16)(view(bytes));
    } else {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        text = utf8(view(bytes));
        if (utf8.hasError()) {
            std::optional<QStringDecoder> decoder = declaredCharset(bytes);
            if (!decoder)
                decoder.emplace("windows-1252");
            if (!decoder->isValid())
                decoder.emplace(QStringDecoder::Latin1);
            text = (*decoder)(view(bytes));
        }
    }
    // Text holds next to no control characters; a binary file holds many.
    const qsizetype controls = std::count_if(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 && c != u'\n' && c != u'\r' && c != u'\t' && c != u'\f' && c != u'\v';
    });
    if (controls * 100 > text.size())
        return std::nullopt;
    return text;
}

class AttachedFinder
{
public:
    std::vector<AttachedFile> files;

    void walkNameTree(const PdfObject &node, int depth)
    {
        if (node.isNull() || depth > 32 || ++m_nodes > kMostNameTreeNodes || !firstVisit(node))
            return;
        const PdfObject names = node.get("Names");
        for (int i = 0; i + 1 < names.size(); i += 2)
            addFileEntry(names.at(i + 1), TextOf(names.at(i)));
        const PdfObject kids = node.get("Kids");
        for (int i = 0, n = kids.size(); i < n; ++i)
            walkNameTree(kids.at(i), depth + 1);
    }

    void addAnnotations(const PdfObject &page)
    {
        const PdfObject annotations = page.get("Annots");
        for (int i = 0, n = annotations.size(); i < n; ++i) {
            const PdfObject annotation = annotations.at(i);
            if (annotation.get("Subtype").isName("FileAttachment"))
                addFileEntry(annotation.get("FS"), {});
        }
    }

private:
    bool firstVisit(const PdfObject &object)
    {
        return object.id() == 0 || m_visited.insert(object.id()).second;
    }

    // A file entry (/Filespec) that embeds its file; one that only names a file elsewhere is
    // not followed.
    void addFileEntry(const PdfObject &entry, const std::string &key)
    {
        const PdfObject embedded = entry.get("EF");
        PdfObject stream = embedded.get("UF");
        if (!stream.isStream())
            stream = embedded.get("F");
        if (!stream.isStream() || !firstVisit(stream))
            return;
        std::string name = TextOf(entry.get("UF"));
        if (name.empty())
            name = TextOf(entry.get("F"));
        if (name.empty())
            name = key;
        // A name is a path as the attaching system wrote it: its last part names the file.
        const std::size_t slash = name.find_last_of("/\\");
        if (slash != std::string::npos && slash + 1 < name.size())
            name = name.substr(slash + 1);
        files.push_back({name.empty() ? std::string("(unnamed)") : name,
                         stream.get("Subtype").name().value_or(std::string()), stream});
    }

    std::set<int> m_visited;
    int m_nodes = 0;
};

} // namespace

std::vector<AttachedFile> AttachedFilesOf(const PdfObject &trailer, int pages,
                                          const std::function<PdfObject(int)> &page)
{
    AttachedFinder finder;
    finder.walkNameTree(trailer.get("Root").get("Names").get("EmbeddedFiles"), 0);
    for (int number = 1; number <= pages; ++number)
        finder.addAnnotations(page(number));
    return finder.files;
}

AttachedContent ClassifyAttached(std::string_view name, std::string_view type, std::string_view bytes)
{
    if (bytes.substr(0, 1024).find("%PDF-") != std::string_view::npos)
        return {AttachedContent::Kind::Pdf, {}, {}};
    for (const auto &[magic, what] : kMagic) {
        if (bytes.substr(0, magic.size()) == magic)
            return {AttachedContent::Kind::Other, {}, std::string(what)};
    }
    if (const std::optional<QString> text = decodeText(name, type, bytes))
        return {AttachedContent::Kind::Text, text->toStdString(), {}};
    return {AttachedContent::Kind::Other,
            {},
            type.empty() ? std::string("a file of a kind not read")
                         : "a file of a kind not read (" + std::string(type) + ")"};
}

} // namespace pelmora::worker
