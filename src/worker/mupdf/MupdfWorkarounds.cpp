#include "worker/mupdf/MupdfWorkarounds.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

// Written against MuPDF 1.21: the store's functions and the font's fields they use
// differ in other versions.
#if FZ_VERSION_MAJOR == 1 && FZ_VERSION_MINOR == 21
#define PELMORA_MUPDF_WORKAROUNDS 1
#else
#define PELMORA_MUPDF_WORKAROUNDS 0
#endif

// MuPDF reports errors by longjmp out of fz_try: the functions here keep C++ objects
// with destructors out of those blocks, and every variable set inside one and read
// after it is marked with fz_var.

namespace pelmora::worker {

namespace {

bool turnedOff()
{
    const char *off = std::getenv("PELMORA_NO_WORKAROUNDS");
    return off && *off && std::string_view(off) != "0";
}

#if PELMORA_MUPDF_WORKAROUNDS

// A name byte by byte, any byte but letters, digits, '.', '-' and '_' as #XX, ended by
// ';', which no name holds then: "/a b" and "/a" "/b" never read alike.
void writeName(std::string &out, const char *name)
{
    out += '/';
    for (const char *c = name; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '.' || byte == '-' || byte == '_') {
            out += static_cast<char>(byte);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "#%02X", byte);
            out += hex;
        }
    }
    out += ';';
}

// An object written out whole, its indirect objects resolved, so that two objects give
// one key only when they are the same: names escaped, strings by their length, whole
// and real numbers told apart (a real in /Differences is no character code), a real in
// all its digits. False where it holds a stream, or is deeper or longer than a font's
// description. May throw.
bool writeKey(fz_context *ctx, pdf_obj *object, std::string &out, int depth = 0)
{
    constexpr int kDeepest = 8;
    constexpr std::size_t kLongest = 64 * 1024;
    if (depth > kDeepest || out.size() > kLongest || pdf_is_stream(ctx, object))
        return false;
    object = pdf_resolve_indirect(ctx, object);
    if (pdf_is_dict(ctx, object)) {
        out += '<';
        for (int i = 0, n = pdf_dict_len(ctx, object); i < n; ++i) {
            writeName(out, pdf_to_name(ctx, pdf_dict_get_key(ctx, object, i)));
            if (!writeKey(ctx, pdf_dict_get_val(ctx, object, i), out, depth + 1))
                return false;
        }
        out += '>';
    } else if (pdf_is_array(ctx, object)) {
        out += '[';
        for (int i = 0, n = pdf_array_len(ctx, object); i < n; ++i) {
            if (!writeKey(ctx, pdf_array_get(ctx, object, i), out, depth + 1))
                return false;
        }
        out += ']';
    } else if (pdf_is_name(ctx, object)) {
        writeName(out, pdf_to_name(ctx, object));
    } else if (pdf_is_string(ctx, object)) {
        out += 's' + std::to_string(pdf_to_str_len(ctx, object)) + ':';
        out.append(pdf_to_str_buf(ctx, object), pdf_to_str_len(ctx, object));
    } else if (pdf_is_int(ctx, object)) {
        out += 'i' + std::to_string(pdf_to_int64(ctx, object)) + ';';
    } else if (pdf_is_real(ctx, object)) {
        char number[32];
        std::snprintf(number, sizeof number, "r%.9g;", static_cast<double>(pdf_to_real(ctx, object)));
        out += number;
    } else if (pdf_is_bool(ctx, object)) {
        out += pdf_to_bool(ctx, object) ? 't' : 'f';
    } else {
        out += 'n';
    }
    return true;
}

#endif

} // namespace

// Fonts a PDF names without embedding them (Helvetica, Times, Arial) come out the same
// for every document that describes them the same way, yet MuPDF builds each one again
// for every document: it parses the font, looks up each glyph name of the encoding in it
// (a linear search) and measures each glyph. The worker keeps the fonts it built, keyed
// by their whole dictionary, and hands them to later documents through MuPDF's store,
// where the page's run finds them. A font that holds a stream (an embedded file, a
// ToUnicode map) is its document's own and left to MuPDF. One worker over the 500
// one-page PDFs of pelmora_bench_batch: 0.35 s of processor time, 0.59 s without (0.44 s
// with only MuPDF's own base-14 fonts kept by the context, which this needs no more).
class MupdfWorkarounds::SharedFonts
{
public:
    explicit SharedFonts(fz_context *ctx) : m_ctx(ctx) {}
#if PELMORA_MUPDF_WORKAROUNDS
    ~SharedFonts()
    {
        for (const auto &kept : m_kept)
            pdf_drop_font(m_ctx, kept.second);
    }
    SharedFonts(const SharedFonts &) = delete;
    SharedFonts &operator=(const SharedFonts &) = delete;

    // Before `page` of `doc` runs: its fonts that were kept before are stored as the
    // document's, those that may be kept are built and kept.
    void lend(pdf_document *doc, pdf_obj *page, std::unordered_set<int> &handled)
    {
        constexpr int kMostFontsAPage = 64;
        pdf_obj *resources = nullptr;
        pdf_obj *fonts = nullptr;
        fz_var(resources);
        fz_var(fonts);
        fz_try(m_ctx)
        {
            resources = pdf_dict_get_inheritable(m_ctx, page, PDF_NAME(Resources));
            fonts = pdf_dict_get(m_ctx, resources, PDF_NAME(Font));
        }
        fz_catch(m_ctx) return;
        for (int i = 0, n = std::min(pdf_dict_len(m_ctx, fonts), kMostFontsAPage); i < n; ++i) {
            pdf_obj *font = pdf_dict_get_val(m_ctx, fonts, i);
            if (pdf_is_indirect(m_ctx, font) && handled.insert(pdf_to_num(m_ctx, font)).second)
                share(doc, resources, font);
        }
    }

private:
    void share(pdf_document *doc, pdf_obj *resources, pdf_obj *font)
    {
        constexpr std::size_t kMostKept = 32;
        std::string key;
        bool simple = false;
        fz_var(simple);
        fz_try(m_ctx)
        {
            pdf_obj *subtype = pdf_dict_get(m_ctx, font, PDF_NAME(Subtype));
            simple = (pdf_name_eq(m_ctx, subtype, PDF_NAME(Type1)) ||
                      pdf_name_eq(m_ctx, subtype, PDF_NAME(TrueType))) &&
                     writeKey(m_ctx, font, key);
        }
        fz_catch(m_ctx) simple = false;
        if (!simple)
            return;
        const auto kept =
            std::find_if(m_kept.begin(), m_kept.end(), [&](const auto &each) { return each.first == key; });
        if (kept != m_kept.end()) {
            lendOne(font, kept->second);
            return;
        }
        if (m_kept.size() >= kMostKept)
            return;
        pdf_font_desc *built = nullptr;
        fz_var(built);
        fz_try(m_ctx) built = pdf_load_font(m_ctx, doc, resources, font);
        fz_catch(m_ctx) built = nullptr; // MuPDF tries again when the page runs, and says why
        if (built)
            m_kept.emplace_back(std::move(key), built);
    }

    // Stores `shared` as the document's `font`. Where the store cannot take it, MuPDF
    // builds the font itself when the page runs.
    void lendOne(pdf_obj *font, pdf_font_desc *shared)
    {
        fz_try(m_ctx)
        {
            // The store would keep a font it holds already a second time, for good.
            if (pdf_font_desc *own =
                    static_cast<pdf_font_desc *>(pdf_find_item(m_ctx, shared->storable.drop, font)))
                pdf_drop_font(m_ctx, own);
            else
                pdf_store_item(m_ctx, font, shared, shared->size);
        }
        fz_catch(m_ctx)
        {
        }
    }

    fz_context *m_ctx;
    std::vector<std::pair<std::string, pdf_font_desc *>> m_kept;
#else
    void lend(pdf_document *, pdf_obj *, std::unordered_set<int> &)
    {
    }

private:
    fz_context *m_ctx;
#endif
};

MupdfWorkarounds::MupdfWorkarounds() : m_on(PELMORA_MUPDF_WORKAROUNDS && !turnedOff())
{
}

MupdfWorkarounds::~MupdfWorkarounds() = default;

std::string MupdfWorkarounds::LibraryVersion()
{
    std::string version = "mupdf " FZ_VERSION;
    if (!PELMORA_MUPDF_WORKAROUNDS)
        return version + ", without the work-arounds written for 1.21";
    return version +
           (turnedOff() ? ", its work-arounds off (PELMORA_NO_WORKAROUNDS)" : ", with its work-arounds");
}

// A page's structured text is many small blocks, all freed at the page's end: glibc
// would give the top of the heap back after every page and fault it in again for the
// next. 32 MB freed are kept for reuse. One worker over the 500 one-page PDFs: 0.35 s of
// processor time, 0.42 s without.
void MupdfWorkarounds::prepareProcess() const
{
    if (m_on)
        ::mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
}

void MupdfWorkarounds::start(fz_context *ctx)
{
    if (m_on)
        m_fonts = std::make_unique<SharedFonts>(ctx);
}

void MupdfWorkarounds::lendFonts(pdf_document *doc, pdf_obj *page, std::unordered_set<int> &handled)
{
    if (m_fonts)
        m_fonts->lend(doc, page, handled);
}

} // namespace pelmora::worker
