#include "worker/MupdfText.h"

#include "worker/MemoryWatch.h"
#include "worker/RegularFile.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// The calls below are those of 1.21 (Debian 12); fz_stext_options and the link list
// changed shape in the releases around it.
#if FZ_VERSION_MAJOR != 1 || FZ_VERSION_MINOR < 21
#error "pelmora-convert-mupdf needs MuPDF 1.21 or newer (Debian 12: libmupdf-dev 1.21)"
#endif

// MuPDF reports errors by longjmp out of fz_try: the functions here keep C++ objects
// with destructors out of those blocks, and every variable set inside one and read
// after it is marked with fz_var.

namespace pelmora::worker {

namespace {

void dropMessage(void *, const char *)
{
}

// The system's allocator, telling MemoryWatch of every failure: MuPDF takes a failed
// allocation for an error of the page, and would read on without a word.
void *allocate(void *, std::size_t size)
{
    void *block = std::malloc(size);
    if (!block && size > 0)
        NoteAllocationFailure();
    return block;
}

void *reallocate(void *, void *old, std::size_t size)
{
    void *block = std::realloc(old, size);
    if (!block && size > 0)
        NoteAllocationFailure();
    return block;
}

void release(void *, void *block)
{
    std::free(block);
}

fz_alloc_context g_allocator = {nullptr, &allocate, &reallocate, &release};

// Ligatures and white space as `mutool draw -F txt` writes them. Characters outside the
// page are left out below, by poppler's rule rather than MuPDF's clip.
const fz_stext_options kTextOptions = {0, 1.0f};

void appendUtf8(std::string &text, int c)
{
    char bytes[FZ_UTFMAX];
    text.append(bytes, static_cast<std::size_t>(fz_runetochar(bytes, c)));
}

float rightEdge(const fz_stext_char &c)
{
    return std::max({c.quad.ul.x, c.quad.ur.x, c.quad.ll.x, c.quad.lr.x});
}

// poppler keeps a character that starts on the page (its media box), and so does not
// lose the last letter of a line that runs off the page; MuPDF's own clip goes by the
// ink, which may begin past the edge.
bool onPage(const fz_stext_char &c, const fz_rect &page)
{
    return c.origin.x <= page.x1 && rightEdge(c) >= page.x0 && c.origin.y >= page.y0 && c.origin.y <= page.y1;
}

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == 0xA0;
}

// A change of font size or of baseline inside a line starts a new word, as it does in
// poppler's text: a footnote mark or a superscript digit is not glued to the address
// beside it (MuPDF writes "*name@example.com" for a starred author's address).
bool startsNewWord(const fz_stext_line &line, const fz_stext_char &previous, const fz_stext_char &c)
{
    if (isSpace(previous.c) || isSpace(c.c))
        return false;
    const float larger = std::max(previous.size, c.size);
    const float sideways =
        (c.origin.x - previous.origin.x) * line.dir.y - (c.origin.y - previous.origin.y) * line.dir.x;
    return std::fabs(previous.size - c.size) > 0.05f * larger || std::fabs(sideways) > 0.5f;
}

// TeX and other typesetters draw an underscore as a short rule, and the text then holds
// a space where a reader sees "_". This device hands every text call to MuPDF's
// structured-text device and keeps the thin horizontal rules drawn on the page.
struct TextAndRulesDevice
{
    fz_device super;
    fz_device *text;
    std::vector<fz_rect> *rules;
};

fz_device *textOf(fz_device *device)
{
    return reinterpret_cast<TextAndRulesDevice *>(device)->text;
}

// A page of thousands of short strokes is a drawing, and each space would be checked
// against every one of them: the rules after these many are not kept.
constexpr std::size_t kMostRules = 4096;

void keepRule(fz_device *device, fz_rect box, float thickness)
{
    std::vector<fz_rect> &rules = *reinterpret_cast<TextAndRulesDevice *>(device)->rules;
    box.y0 -= thickness / 2;
    box.y1 += thickness / 2;
    if (box.y1 - box.y0 >= 2.0f || box.x1 - box.x0 <= 0.5f || box.x1 - box.x0 >= 40.0f ||
        rules.size() >= kMostRules)
        return;
    try { // no C++ exception may pass through MuPDF's frames
        rules.push_back(box);
    } catch (const std::bad_alloc &) {
    }
}

void fillRule(fz_context *ctx, fz_device *device, const fz_path *path, int, fz_matrix ctm, fz_colorspace *,
              const float *, float, fz_color_params)
{
    keepRule(device, fz_bound_path(ctx, path, nullptr, ctm), 0);
}

// Bounded without the stroke: MuPDF's bounds of a stroke allow for mitred corners, wider
// than the gap the rule sits in.
void strokeRule(fz_context *ctx, fz_device *device, const fz_path *path, const fz_stroke_state *stroke,
                fz_matrix ctm, fz_colorspace *, const float *, float, fz_color_params)
{
    keepRule(device, fz_bound_path(ctx, path, nullptr, ctm), stroke->linewidth * fz_matrix_expansion(ctm));
}

void fillText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_colorspace *space,
              const float *color, float alpha, fz_color_params params)
{
    textOf(device)->fill_text(ctx, textOf(device), text, ctm, space, color, alpha, params);
}

void strokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
                fz_matrix ctm, fz_colorspace *space, const float *color, float alpha, fz_color_params params)
{
    textOf(device)->stroke_text(ctx, textOf(device), text, stroke, ctm, space, color, alpha, params);
}

void clipText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_rect scissor)
{
    textOf(device)->clip_text(ctx, textOf(device), text, ctm, scissor);
}

void clipStrokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
                    fz_matrix ctm, fz_rect scissor)
{
    textOf(device)->clip_stroke_text(ctx, textOf(device), text, stroke, ctm, scissor);
}

void ignoreText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm)
{
    textOf(device)->ignore_text(ctx, textOf(device), text, ctm);
}

void closeText(fz_context *ctx, fz_device *device)
{
    fz_close_device(ctx, textOf(device));
}

void dropText(fz_context *ctx, fz_device *device)
{
    fz_drop_device(ctx, textOf(device));
}

// Calls the structured-text device's own functions rather than fz_fill_text and the like,
// which would keep a second stack of clips for it. May throw.
fz_device *newTextAndRulesDevice(fz_context *ctx, fz_stext_page *page, std::vector<fz_rect> &rules)
{
    fz_device *text = fz_new_stext_device(ctx, page, &kTextOptions);
    TextAndRulesDevice *device = nullptr;
    fz_var(device);
    fz_try(ctx) device =
        reinterpret_cast<TextAndRulesDevice *>(fz_new_device_of_size(ctx, sizeof(TextAndRulesDevice)));
    fz_catch(ctx)
    {
        fz_drop_device(ctx, text);
        fz_rethrow(ctx);
    }
    device->text = text;
    device->rules = &rules;
    device->super.fill_text = fillText;
    device->super.stroke_text = strokeText;
    device->super.clip_text = clipText;
    device->super.clip_stroke_text = clipStrokeText;
    device->super.ignore_text = ignoreText;
    device->super.fill_path = fillRule;
    device->super.stroke_path = strokeRule;
    device->super.close_device = closeText;
    device->super.drop_device = dropText;
    return &device->super;
}

// A space of MuPDF's between two letters of a line where one of the rules lies in the gap
// at the baseline, no longer than the gap (an underline runs under the letters as well).
bool ruleInGap(const std::vector<fz_rect> &rules, const fz_stext_char &before, const fz_stext_char &after)
{
    const float left = rightEdge(before), right = after.origin.x, slack = 0.15f * after.size;
    for (const fz_rect &rule : rules) {
        const float middle = (rule.y0 + rule.y1) / 2;
        if (rule.x0 >= left - slack && rule.x1 <= right + slack &&
            std::min(rule.x1, right) - std::max(rule.x0, left) >= 0.5f * (right - left) &&
            std::fabs(middle - after.origin.y) <= 0.3f * after.size &&
            rule.y1 - rule.y0 <= 0.15f * after.size)
            return true;
    }
    return false;
}

bool level(const fz_stext_line &line)
{
    return line.first_char && line.wmode == 0 && line.dir.x > 0.999f;
}

// One of MuPDF's lines, placed by its largest letter: a footnote mark before the text
// does not set its baseline.
struct Piece
{
    const fz_stext_line *line;
    std::size_t order;
    const fz_stext_char *body;
    float baseline() const { return body->origin.y; }
    float size() const { return body->size; }
};

// A line as a reader sees it: one of MuPDF's (`joined` empty), or the letters of pieces
// of one, left to right.
struct VisualLine
{
    std::size_t order;
    const fz_stext_line *first;
    std::vector<const fz_stext_char *> joined;
};

// The letters of pieces on one baseline, left to right and without the spaces MuPDF
// guessed between them; empty when two overlap, as a line drawn twice over itself does.
std::vector<const fz_stext_char *> joinPieces(const Piece *begin, const Piece *end, const fz_rect &page)
{
    std::vector<const fz_stext_char *> chars;
    for (const Piece *piece = begin; piece != end; ++piece) {
        for (const fz_stext_char *c = piece->line->first_char; c; c = c->next) {
            if (!isSpace(c->c) && onPage(*c, page))
                chars.push_back(c);
        }
    }
    std::stable_sort(chars.begin(), chars.end(), [](const fz_stext_char *a, const fz_stext_char *b) {
        return a->origin.x < b->origin.x;
    });
    for (std::size_t i = 1; i < chars.size(); ++i) {
        if (chars[i]->origin.x < rightEdge(*chars[i - 1]) - 0.1f * chars[i]->size)
            return {};
    }
    return chars;
}

// MuPDF starts a line wherever the drawing order jumps back, so letters drawn out of
// order (an address shuffled against harvesting, a word set in pieces) come out in
// pieces, a line each. Pieces of a block that share a baseline and meet or interleave
// are one line again, read left to right as poppler reads them. The block's lines come
// in MuPDF's order, a joined one where its first piece was.
std::vector<VisualLine> visualLines(const fz_stext_block &block, const fz_rect &page)
{
    std::vector<Piece> pieces;
    for (const fz_stext_line *line = block.u.t.first_line; line; line = line->next) {
        const fz_stext_char *body = line->first_char;
        for (const fz_stext_char *c = body; c; c = c->next)
            body = !isSpace(c->c) && c->size >= body->size ? c : body;
        pieces.push_back({line, pieces.size(), body});
    }
    std::stable_sort(pieces.begin(), pieces.end(), [](const Piece &a, const Piece &b) {
        if (!level(*a.line) || !level(*b.line))
            return level(*a.line) < level(*b.line);
        return a.baseline() != b.baseline() ? a.baseline() < b.baseline() : a.line->bbox.x0 < b.line->bbox.x0;
    });
    std::vector<VisualLine> lines;
    lines.reserve(pieces.size());
    for (std::size_t begin = 0, end = 0; begin < pieces.size(); begin = end) {
        const Piece &first = pieces[begin];
        const float slack = 0.1f * first.size();
        float right = first.line->bbox.x1;
        std::size_t order = first.order;
        for (end = begin + 1; end < pieces.size() && level(*first.line) && level(*pieces[end].line); ++end) {
            const Piece &next = pieces[end];
            if (std::fabs(next.baseline() - first.baseline()) > slack ||
                std::fabs(next.size() - first.size()) > slack || next.line->bbox.x0 > right + slack)
                break;
            right = std::max(right, next.line->bbox.x1);
            order = std::min(order, next.order);
        }
        std::vector<const fz_stext_char *> joined;
        if (end - begin > 1)
            joined = joinPieces(&pieces[begin], pieces.data() + end, page);
        if (!joined.empty()) {
            lines.push_back({order, first.line, std::move(joined)});
            continue;
        }
        for (std::size_t i = begin; i < end; ++i)
            lines.push_back({pieces[i].order, pieces[i].line, {}});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const VisualLine &a, const VisualLine &b) { return a.order < b.order; });
    return lines;
}

// Lines end with LF, blocks with an empty line, as poppler's text has them. Between the
// letters of a joined line a gap of a sixth of their size is a space; a space with a rule
// in its gap is an underscore.
void appendText(std::string &text, const fz_stext_page &page, const std::vector<fz_rect> &rules)
{
    for (const fz_stext_block *block = page.first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (const VisualLine &line : visualLines(*block, page.mediabox)) {
            const fz_stext_char *previous = nullptr;
            const auto append = [&](const fz_stext_char *c) {
                if (!onPage(*c, page.mediabox))
                    return;
                if (previous && (startsNewWord(*line.first, *previous, *c) ||
                                 (!line.joined.empty() && c->origin.x - rightEdge(*previous) > c->size / 6)))
                    text += ' ';
                const bool underscore = c->c == ' ' && previous && c->next && !isSpace(c->next->c) &&
                                        !isSpace(previous->c) && ruleInGap(rules, *previous, *c->next);
                appendUtf8(text, underscore ? '_' : c->c);
                previous = c;
            };
            if (line.joined.empty()) {
                for (const fz_stext_char *c = line.first->first_char; c; c = c->next)
                    append(c);
            } else {
                std::for_each(line.joined.begin(), line.joined.end(), append);
            }
            text += '\n';
        }
        text += '\n';
    }
}

// Set while SharedFonts builds a font to keep: that one gets a face of its own, which
// leaves the context's copy free for the documents' own loads.
bool g_buildingToKeep = false;

// The base-14 fonts (Helvetica, Times, ...) that PDFs name without a font descriptor:
// MuPDF would parse a copy for every document, a tenth of the time a one-page file
// takes; the context keeps one of each. Such a font is used with its own metrics, so the
// only thing a document leaves in it is the width table MuPDF makes at each load: it is
// freed here before the next load would overwrite it, which is only safe while no other
// document holds the font (the context's copy and this call's are the only two).
fz_font *sharedBase14Font(fz_context *ctx, const char *name, int bold, int italic, int needsExactMetrics)
{
    int size = 0;
    if (g_buildingToKeep || !needsExactMetrics || bold || italic || !fz_lookup_base14_font(ctx, name, &size))
        return nullptr;
    fz_font *font = fz_new_base14_font(ctx, name);
    if (font->refs != 2) {
        fz_drop_font(ctx, font);
        return nullptr;
    }
    fz_free(ctx, font->width_table);
    font->width_table = nullptr;
    font->width_count = 0;
    return font;
}

// An object as text, its indirect objects resolved; false where it holds a stream, or
// is deeper or longer than a font's description. May throw.
bool describe(fz_context *ctx, pdf_obj *object, std::string &out, int depth = 0)
{
    constexpr int kDeepest = 8;
    constexpr std::size_t kLongest = 64 * 1024;
    if (depth > kDeepest || out.size() > kLongest || pdf_is_stream(ctx, object))
        return false;
    object = pdf_resolve_indirect(ctx, object);
    if (pdf_is_dict(ctx, object)) {
        out += '<';
        for (int i = 0, n = pdf_dict_len(ctx, object); i < n; ++i) {
            out += '/';
            out += pdf_to_name(ctx, pdf_dict_get_key(ctx, object, i));
            out += ' ';
            if (!describe(ctx, pdf_dict_get_val(ctx, object, i), out, depth + 1))
                return false;
        }
        out += '>';
    } else if (pdf_is_array(ctx, object)) {
        out += '[';
        for (int i = 0, n = pdf_array_len(ctx, object); i < n; ++i) {
            if (!describe(ctx, pdf_array_get(ctx, object, i), out, depth + 1))
                return false;
        }
        out += ']';
    } else if (pdf_is_name(ctx, object)) {
        out += '/';
        out += pdf_to_name(ctx, object);
    } else if (pdf_is_string(ctx, object)) {
        out += '(' + std::to_string(pdf_to_str_len(ctx, object)) + ':';
        out.append(pdf_to_str_buf(ctx, object), pdf_to_str_len(ctx, object));
        out += ')';
    } else if (pdf_is_int(ctx, object)) {
        out += std::to_string(pdf_to_int64(ctx, object));
    } else if (pdf_is_real(ctx, object)) {
        char number[32];
        std::snprintf(number, sizeof number, "%.9g", static_cast<double>(pdf_to_real(ctx, object)));
        out += number;
    } else {
        out += pdf_is_bool(ctx, object) ? (pdf_to_bool(ctx, object) ? "true" : "false") : "null";
    }
    out += ' ';
    return true;
}

// Fonts a PDF names without embedding them (Helvetica, Times, Arial) come out the same
// for every document that describes them the same way, yet MuPDF builds each one again
// for every document: it looks up each glyph name of the encoding in the font (a linear
// search) and measures each glyph, a sixth of the time of a one-page file. The worker
// keeps the fonts it built, keyed by their whole description, and hands them to later
// documents through MuPDF's store, where the page's run finds them. A font that holds a
// stream (an embedded file, a ToUnicode map) is its document's own and left to MuPDF.
class SharedFonts
{
public:
    explicit SharedFonts(fz_context *ctx) : m_ctx(ctx) {}
    ~SharedFonts()
    {
        for (const auto &kept : m_kept)
            pdf_drop_font(m_ctx, kept.second);
    }
    SharedFonts(const SharedFonts &) = delete;
    SharedFonts &operator=(const SharedFonts &) = delete;

    // Before `page` of `doc` runs: its fonts that were kept before are stored as the
    // document's, those that may be kept are built and kept. `handled` holds the object
    // numbers of the document's fonts already looked at.
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
                     describe(m_ctx, font, key);
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
        g_buildingToKeep = true;
        fz_try(m_ctx) built = pdf_load_font(m_ctx, doc, resources, font);
        fz_always(m_ctx) g_buildingToKeep = false;
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
};

// The pages under a page tree node; -1 at a node that is neither a page nor a node,
// deeper than any real tree, or past `budget` nodes in all (a tree that lists itself).
int countLeaves(fz_context *ctx, pdf_obj *node, int &budget, int depth = 0)
{
    if (--budget < 0 || depth > 64)
        return -1;
    pdf_obj *type = pdf_dict_get(ctx, node, PDF_NAME(Type));
    if (pdf_name_eq(ctx, type, PDF_NAME(Page)))
        return 1;
    if (!pdf_name_eq(ctx, type, PDF_NAME(Pages)))
        return -1;
    pdf_obj *kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
    int total = 0;
    for (int i = 0, n = pdf_array_len(ctx, kids); i < n; ++i) {
        const int leaves = countLeaves(ctx, pdf_array_get(ctx, kids, i), budget, depth + 1);
        if (leaves < 0)
            return -1;
        total += leaves;
    }
    return total;
}

// Whether a node on the way to the first page lists hundreds of kids: MuPDF's own lookup
// scans such a node's kids for every page, where it skips whole subtrees of a balanced
// tree by their counts.
bool hasWideNode(fz_context *ctx, pdf_obj *node)
{
    for (int depth = 0;
         depth < 64 && pdf_name_eq(ctx, pdf_dict_get(ctx, node, PDF_NAME(Type)), PDF_NAME(Pages)); ++depth) {
        pdf_obj *kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
        if (pdf_array_len(ctx, kids) >= 512)
            return true;
        node = pdf_array_get(ctx, kids, 0);
    }
    return false;
}

// Whether the page's annotations are all links without an appearance of their own, so
// that its text is that of its contents alone.
bool onlyPlainLinks(fz_context *ctx, pdf_obj *page)
{
    pdf_obj *annots = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    for (int i = 0, n = pdf_array_len(ctx, annots); i < n; ++i) {
        pdf_obj *annot = pdf_array_get(ctx, annots, i);
        if (!pdf_name_eq(ctx, pdf_dict_get(ctx, annot, PDF_NAME(Subtype)), PDF_NAME(Link)) ||
            pdf_dict_get(ctx, annot, PDF_NAME(AP)))
            return false;
    }
    return true;
}

// The web address a link annotation goes to as MuPDF reads it: `uri`, after `base` where
// it names no scheme. Both stay null for a link to a place in a document. May throw.
void linkTarget(fz_context *ctx, pdf_document *doc, pdf_obj *annot, const char *&base, const char *&uri)
{
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, annot, PDF_NAME(Subtype)), PDF_NAME(Link)) ||
        !pdf_dict_get(ctx, annot, PDF_NAME(Rect)) || pdf_dict_get(ctx, annot, PDF_NAME(Dest)))
        return;
    pdf_obj *action = pdf_dict_get(ctx, annot, PDF_NAME(A));
    if (!action)
        action = pdf_dict_geta(ctx, pdf_dict_get(ctx, annot, PDF_NAME(AA)), PDF_NAME(U), PDF_NAME(D));
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, action, PDF_NAME(S)), PDF_NAME(URI)))
        return;
    uri = pdf_dict_get_text_string(ctx, action, PDF_NAME(URI));
    if (!fz_is_external_link(ctx, uri)) {
        pdf_obj *root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/URI/Base");
        base = root ? pdf_to_text_string(ctx, root) : "file://";
    }
}

class MupdfPage : public EnginePage
{
public:
    // `givesBackLookup`: the page came from MuPDF's page map, which kept a reference to
    // it for no one (see MupdfDocument::mapLargePageTree).
    MupdfPage(fz_context *ctx, fz_document *doc, int index, bool givesBackLookup)
        : m_ctx(ctx), m_doc(doc), m_index(index)
    {
        if (givesBackLookup) {
            loadFromMap();
            return;
        }
        // MuPDF's loading of a page resolves every link's destination and walks the
        // resources for transparency, a tenth of a manual's time; a page whose only
        // annotations are links is read from its object, and loaded only to be drawn.
        pdf_obj *object = nullptr;
        fz_var(object);
        fz_try(m_ctx)
        {
            object = pdf_lookup_page_obj(m_ctx, pdf_specifics(m_ctx, m_doc), index);
            // A file whose cross-reference table MuPDF rebuilt may list pages whose
            // objects are gone: MuPDF gives an empty page for them, where a reader would
            // miss a page.
            if (!pdf_is_dict(m_ctx, object))
                object = nullptr;
            else
                m_plain = onlyPlainLinks(m_ctx, object);
        }
        fz_catch(m_ctx) object = nullptr;
        m_object = pdf_keep_obj(m_ctx, object);
        // Any other page is loaded now, so that one MuPDF cannot load is named as such.
        if (m_object && !m_plain && !page()) {
            pdf_drop_obj(m_ctx, m_object);
            m_object = nullptr;
        }
    }
    ~MupdfPage() override
    {
        fz_drop_page(m_ctx, m_page);
        pdf_drop_obj(m_ctx, m_object);
    }
    MupdfPage(const MupdfPage &) = delete;
    MupdfPage &operator=(const MupdfPage &) = delete;

    bool loaded() const override { return m_object != nullptr; }
    pdf_obj *object() const { return m_object; }

    // The text of the page with a form feed at its end; empty when it did not load.
    // An error half-way keeps what was read before it, as poppler does.
    std::string text()
    {
        if (!m_object)
            return {};
        std::vector<fz_rect> rules;
        fz_stext_page *stext = nullptr;
        fz_device *device = nullptr;
        fz_var(stext);
        fz_var(device);
        fz_try(m_ctx)
        {
            stext = fz_new_stext_page(m_ctx, mediaBox());
            device = newTextAndRulesDevice(m_ctx, stext, rules);
            if (m_plain)
                runContents(device);
            else
                fz_run_page(m_ctx, m_page, device, fz_identity, nullptr);
            fz_close_device(m_ctx, device);
        }
        fz_always(m_ctx) fz_drop_device(m_ctx, device);
        fz_catch(m_ctx) m_leftOut = "its text stops where the file is damaged";
        std::string text;
        if (stext)
            appendText(text, *stext, rules);
        fz_drop_stext_page(m_ctx, stext);
        text += '\f';
        return text;
    }

    double areaInPoints() override
    {
        const fz_rect box = bounds();
        return static_cast<double>(box.x1 - box.x0) * static_cast<double>(box.y1 - box.y0);
    }

    // MuPDF refuses pictures too large to address on its own ("image is too wide"); the
    // page is then not drawn at all, which is said.
    void renderGrey(double dpi, std::int64_t, const std::function<void(const PageBitmap &)> &use) override
    {
        if (!page()) {
            m_leftOut = "the page could not be drawn for recognition: it cannot be loaded";
            return;
        }
        const float scale = static_cast<float>(dpi / 72.0);
        fz_pixmap *pixmap = nullptr;
        fz_var(pixmap);
        fz_try(m_ctx) pixmap =
            fz_new_pixmap_from_page(m_ctx, m_page, fz_scale(scale, scale), fz_device_gray(m_ctx), 0);
        fz_catch(m_ctx)
        {
            pixmap = nullptr;
            m_leftOut =
                std::string("the page could not be drawn for recognition: ") + fz_caught_message(m_ctx);
        }
        if (!pixmap)
            return;
        if (fz_pixmap_components(m_ctx, pixmap) == 1)
            use({fz_pixmap_samples(m_ctx, pixmap), fz_pixmap_width(m_ctx, pixmap),
                 fz_pixmap_height(m_ctx, pixmap), static_cast<int>(fz_pixmap_stride(m_ctx, pixmap))});
        fz_drop_pixmap(m_ctx, pixmap);
    }

    std::string leftOut() const override { return m_leftOut; }

    std::vector<std::string> uriTargets() override { return m_plain ? linkTargets() : loadedLinkTargets(); }

private:
    void loadFromMap()
    {
        fz_page *page = nullptr;
        fz_var(page);
        fz_try(m_ctx) page = fz_load_page(m_ctx, m_doc, m_index);
        fz_catch(m_ctx) page = nullptr;
        if (page) {
            pdf_obj *object = pdf_page_from_fz_page(m_ctx, page)->obj;
            // Held by the file's table, the page and the lookup; fewer means MuPDF did not
            // look it up again (a page still open), and dropping would free it under us.
            if (pdf_obj_refs(m_ctx, object) > 2)
                pdf_drop_obj(m_ctx, object);
            if (pdf_is_dict(m_ctx, object)) {
                m_page = page;
                m_object = pdf_keep_obj(m_ctx, object);
                return;
            }
            fz_drop_page(m_ctx, page);
        }
    }

    // The page as MuPDF loads it, once; null when it cannot be loaded.
    fz_page *page()
    {
        if (m_page || !m_object)
            return m_page;
        fz_page *page = nullptr;
        fz_var(page);
        fz_try(m_ctx) page = fz_load_page(m_ctx, m_doc, m_index);
        fz_catch(m_ctx) page = nullptr;
        m_page = page;
        return m_page;
    }

    // The page's contents through `device`, as MuPDF runs a page but for its annotations
    // and its transparency group, which hold no text. May throw.
    void runContents(fz_device *device)
    {
        fz_rect box;
        fz_matrix toPage;
        pdf_page_obj_transform(m_ctx, m_object, &box, &toPage);
        pdf_processor *processor =
            pdf_new_run_processor(m_ctx, device, toPage, "View", nullptr, nullptr, nullptr);
        fz_try(m_ctx)
        {
            pdf_process_contents(m_ctx, processor, pdf_specifics(m_ctx, m_doc),
                                 pdf_dict_get_inheritable(m_ctx, m_object, PDF_NAME(Resources)),
                                 pdf_dict_get(m_ctx, m_object, PDF_NAME(Contents)), nullptr);
            pdf_close_processor(m_ctx, processor);
        }
        fz_always(m_ctx) pdf_drop_processor(m_ctx, processor);
        fz_catch(m_ctx) fz_rethrow(m_ctx);
    }

    std::vector<std::string> linkTargets()
    {
        std::vector<std::string> targets;
        pdf_obj *annots = pdf_dict_get(m_ctx, m_object, PDF_NAME(Annots));
        for (int i = 0, n = pdf_array_len(m_ctx, annots); i < n; ++i)
            addLinkTarget(pdf_array_get(m_ctx, annots, i), targets);
        return targets;
    }

    void addLinkTarget(pdf_obj *annot, std::vector<std::string> &targets)
    {
        const char *base = nullptr;
        const char *uri = nullptr;
        fz_var(base);
        fz_var(uri);
        fz_try(m_ctx) linkTarget(m_ctx, pdf_specifics(m_ctx, m_doc), annot, base, uri);
        fz_catch(m_ctx) uri = nullptr;
        if (uri)
            targets.push_back(std::string(base ? base : "") + uri);
    }

    std::vector<std::string> loadedLinkTargets()
    {
        if (!page())
            return {};
        fz_link *links = nullptr;
        fz_var(links);
        fz_try(m_ctx) links = fz_load_links(m_ctx, m_page);
        fz_catch(m_ctx) links = nullptr;
        std::vector<std::string> targets;
        for (const fz_link *link = links; link; link = link->next) {
            if (link->uri)
                targets.emplace_back(link->uri);
        }
        fz_drop_link(m_ctx, links);
        return targets;
    }

    // The media box in the page's coordinates, where MuPDF's bounds are the crop box:
    // poppler reads the text of the whole media box. May throw.
    fz_rect mediaBox()
    {
        const fz_rect media =
            pdf_to_rect(m_ctx, pdf_dict_get_inheritable(m_ctx, m_object, PDF_NAME(MediaBox)));
        fz_rect crop;
        fz_matrix toPage;
        pdf_page_obj_transform(m_ctx, m_object, &crop, &toPage);
        if (fz_is_empty_rect(media))
            return fz_transform_rect(crop, toPage);
        return fz_transform_rect(media, toPage);
    }

    // The crop box as the page shows it, as fz_bound_page gives it.
    fz_rect bounds()
    {
        fz_rect box = fz_empty_rect;
        fz_var(box);
        fz_try(m_ctx)
        {
            fz_matrix toPage;
            pdf_page_obj_transform(m_ctx, m_object, &box, &toPage);
            box = fz_transform_rect(box, toPage);
        }
        fz_catch(m_ctx) box = fz_empty_rect;
        return box;
    }

    fz_context *m_ctx;
    fz_document *m_doc;
    int m_index;
    pdf_obj *m_object = nullptr;
    fz_page *m_page = nullptr; // loaded when needed
    bool m_plain = false;
    std::string m_leftOut;
};

class MupdfDocument : public TextDocument
{
public:
    // Takes both; the document reads through the stream.
    MupdfDocument(fz_context *ctx, std::FILE *file, fz_document *doc, SharedFonts &fonts)
        : m_ctx(ctx), m_file(file), m_doc(doc), m_fonts(fonts)
    {
    }
    ~MupdfDocument() override
    {
        if (m_mapped)
            pdf_drop_page_tree(m_ctx, pdf_specifics(m_ctx, m_doc));
        fz_drop_document(m_ctx, m_doc);
        std::fclose(m_file);
    }
    MupdfDocument(const MupdfDocument &) = delete;
    MupdfDocument &operator=(const MupdfDocument &) = delete;

    // Counts the pages once: -1 when the page tree cannot be read, or claims more pages
    // than the file has objects (a forged /Count of a billion over one page kept MuPDF
    // looking for pages for hours; poppler refuses such a count the same way).
    int countPages()
    {
        int count = -1;
        fz_var(count);
        fz_try(m_ctx)
        {
            count = fz_count_pages(m_ctx, m_doc);
            if (pdf_document *pdf = pdf_specifics(m_ctx, m_doc); pdf && count > pdf_xref_len(m_ctx, pdf))
                count = -1;
        }
        fz_catch(m_ctx) count = -1;
        m_pageCount = count;
        mapLargePageTree(count);
        return count;
    }

    int pageCount() override { return m_pageCount; }

    void convert(PageRange range, const ConvertOptions &options, PageSink &sink) override
    {
        for (int page = range.first; page <= range.last; ++page) {
            MupdfPage current(m_ctx, m_doc, page - 1, m_lookupKeepsPage);
            if (current.loaded())
                m_fonts.lend(pdf_specifics(m_ctx, m_doc), current.object(), m_fontsHandled);
            if (!SendPage(current, page, range.count(), current.text(), options, sink))
                return;
        }
    }

private:
    // MuPDF finds a page by walking the tree from its root, so one node listing 100,000
    // pages costs that count squared steps, hours in all; its page map makes that
    // linear. Building the map loads every page's object, which a balanced tree does not
    // need, and it is only trusted with exactly as many pages as the tree counts: it
    // leaves the rest unset.
    void mapLargePageTree(int count)
    {
        constexpr int kMapFrom = 2000;
        pdf_document *pdf = pdf_specifics(m_ctx, m_doc);
        if (!pdf || count < kMapFrom)
            return;
        fz_try(m_ctx)
        {
            int budget = 2 * count + 1;
            pdf_obj *root = pdf_dict_getp(m_ctx, pdf_trailer(m_ctx, pdf), "Root/Pages");
            if (hasWideNode(m_ctx, root) && countLeaves(m_ctx, root, budget) == count) {
                pdf_load_page_tree(m_ctx, pdf);
                m_mapped = true;
            }
        }
        fz_catch(m_ctx)
        {
        }
        if (m_mapped)
            m_lookupKeepsPage = lookupKeepsPage(pdf);
    }

    // MuPDF 1.21 hands a page out of its map with a reference that no caller gives back.
    // Probed rather than assumed: a page dropped once too often is worse than one kept.
    bool lookupKeepsPage(pdf_document *pdf)
    {
        bool keeps = false;
        fz_var(keeps);
        fz_try(m_ctx)
        {
            pdf_obj *first = pdf_lookup_page_obj(m_ctx, pdf, 0);
            const int refs = pdf_obj_refs(m_ctx, first);
            pdf_obj *again = pdf_lookup_page_obj(m_ctx, pdf, 0);
            keeps = pdf_obj_refs(m_ctx, again) > refs;
            if (keeps) {
                pdf_drop_obj(m_ctx, first);
                pdf_drop_obj(m_ctx, again);
            }
        }
        fz_catch(m_ctx) keeps = false;
        return keeps;
    }

    fz_context *m_ctx;
    std::FILE *m_file;
    fz_document *m_doc;
    SharedFonts &m_fonts;
    std::unordered_set<int> m_fontsHandled;
    int m_pageCount = 0;
    bool m_mapped = false;
    bool m_lookupKeepsPage = false;
};

class MupdfEngine : public TextEngine
{
public:
    explicit MupdfEngine(fz_context *ctx) : m_context(ctx), m_ctx(ctx), m_fonts(ctx)
    {
        fz_set_warning_callback(m_ctx, &dropMessage, nullptr);
        fz_set_error_callback(m_ctx, &dropMessage, nullptr);
        fz_install_load_system_font_funcs(m_ctx, &sharedBase14Font, nullptr, nullptr);
    }
    MupdfEngine(const MupdfEngine &) = delete;
    MupdfEngine &operator=(const MupdfEngine &) = delete;

    OpenResult open(const std::string &path, const std::vector<std::string> &candidates) override
    {
        const RegularFile file = OpenRegularFile(path);
        if (file.fd < 0)
            return failed(file.outcome, file.problem);
        std::FILE *stream = ::fdopen(file.fd, "rb");
        if (!stream) {
            const std::string why = std::strerror(errno);
            ::close(file.fd);
            return failed(protocol::Outcome::Damaged, why);
        }
        std::string why;
        fz_document *doc = openPdf(stream, why);
        if (!doc) {
            std::fclose(stream);
            return failed(protocol::Outcome::Damaged, why);
        }
        auto document = std::make_unique<MupdfDocument>(m_ctx, stream, doc, m_fonts);
        if (!unlock(doc, candidates))
            return failed(candidates.empty() ? protocol::Outcome::NeedsPassword
                                             : protocol::Outcome::WrongPassword);
        if (document->countPages() < 0)
            return failed(protocol::Outcome::Damaged, "the page tree cannot be read");
        OpenResult result;
        result.outcome = protocol::Outcome::Text;
        result.document = std::move(document);
        return result;
    }

private:
    static OpenResult failed(protocol::Outcome outcome, const std::string &why = {})
    {
        OpenResult result;
        result.outcome = outcome;
        if (outcome == protocol::Outcome::Damaged)
            result.detail = why;
        return result;
    }

    // Every file is read as a PDF, whatever its name, as poppler reads it.
    fz_document *openPdf(std::FILE *file, std::string &why)
    {
        fz_stream *stream = nullptr;
        pdf_document *pdf = nullptr;
        fz_var(stream);
        fz_var(pdf);
        fz_try(m_ctx)
        {
            stream = fz_open_file_ptr_no_close(m_ctx, file);
            pdf = pdf_open_document_with_stream(m_ctx, stream);
        }
        fz_always(m_ctx) fz_drop_stream(m_ctx, stream);
        fz_catch(m_ctx)
        {
            pdf = nullptr;
            why = fz_caught_message(m_ctx);
        }
        return pdf ? &pdf->super : nullptr;
    }

    // Each candidate as user and owner password, then none; true once one opens it.
    // A candidate holding a NUL byte cannot be handed over whole, so it is not tried.
    bool unlock(fz_document *doc, const std::vector<std::string> &candidates)
    {
        int needed = 1;
        fz_var(needed);
        fz_try(m_ctx) needed = fz_needs_password(m_ctx, doc);
        fz_catch(m_ctx) needed = 1;
        if (!needed)
            return true;
        for (const std::string &candidate : candidates) {
            if (candidate.find('\0') != std::string::npos)
                continue;
            const char *password = candidate.c_str();
            int granted = 0;
            fz_var(granted);
            fz_try(m_ctx) granted = fz_authenticate_password(m_ctx, doc, password);
            fz_catch(m_ctx) granted = 0;
            if (granted)
                return true;
        }
        return false;
    }

    struct DropContext
    {
        void operator()(fz_context *ctx) const { fz_drop_context(ctx); }
    };
    std::unique_ptr<fz_context, DropContext> m_context; // dropped after the fonts it made
    fz_context *m_ctx;
    SharedFonts m_fonts;
};

} // namespace

std::unique_ptr<TextEngine> MakeMupdfEngine()
{
    // A page's structured text is many small blocks, all freed at the page's end: glibc
    // would give the top of the heap back after every page and fault it in again for the
    // next, a tenth of the time of a one-page file. 32 MB freed are kept for reuse.
    ::mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
    fz_context *ctx = fz_new_context(&g_allocator, nullptr, FZ_STORE_DEFAULT);
    if (!ctx)
        return nullptr;
    return std::make_unique<MupdfEngine>(ctx);
}

} // namespace pelmora::worker
