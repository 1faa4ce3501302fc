#include "worker/mupdf/MupdfLayout.h"

#include "core/DrawnUnderscore.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

// MuPDF reports errors by longjmp out of fz_try: the functions here keep C++ objects
// with destructors out of those blocks, and every variable set inside one and read
// after it is marked with fz_var.

namespace pelmora::worker {

namespace {

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
    PageDrawing *drawing;
};

fz_device *textOf(fz_device *device)
{
    return reinterpret_cast<TextAndRulesDevice *>(device)->text;
}

PageDrawing &drawingOf(fz_device *device)
{
    return *reinterpret_cast<TextAndRulesDevice *>(device)->drawing;
}

void keepRule(fz_device *device, fz_rect box, float thickness)
{
    drawingOf(device).rules.add({box.x0, box.y0 - thickness / 2, box.x1, box.y1 + thickness / 2});
}

void fillRule(fz_context *ctx, fz_device *device, const fz_path *path, int, fz_matrix ctm, fz_colorspace *,
              const float *, float, fz_color_params)
{
    try { // no C++ exception may pass through MuPDF's frames
        keepRule(device, fz_bound_path(ctx, path, nullptr, ctm), 0);
    } catch (const std::bad_alloc &) {
    }
}

// Bounded without the stroke: MuPDF's bounds of a stroke allow for mitred corners, wider
// than the gap the rule sits in.
void strokeRule(fz_context *ctx, fz_device *device, const fz_path *path, const fz_stroke_state *stroke,
                fz_matrix ctm, fz_colorspace *, const float *, float, fz_color_params)
{
    try {
        keepRule(device, fz_bound_path(ctx, path, nullptr, ctm),
                 stroke->linewidth * fz_matrix_expansion(ctm));
    } catch (const std::bad_alloc &) {
    }
}

// False for a call of small print only once the page has had its allowance: it is left
// out and counted. Past a hundred times the allowance the page's run ends there: MuPDF
// takes a second for every ten million characters it draws, even unseen.
bool admit(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm)
{
    PageDrawing &drawing = drawingOf(device);
    long tiny = 0;
    bool larger = false;
    for (const fz_text_span *span = text->head; span; span = span->next) {
        if (fz_matrix_expansion(fz_concat(span->trm, ctm)) < 3.0f)
            tiny += span->len;
        else
            larger = true;
    }
    if (tiny > 0 && !larger && drawing.tinyKept >= PageDrawing::kMostTinyCharacters) {
        drawing.tinyLeftOut += tiny;
        if (drawing.tinyLeftOut > 100 * PageDrawing::kMostTinyCharacters) {
            drawing.stopped = true;
            fz_throw(ctx, FZ_ERROR_ABORT, "small print past the page's allowance");
        }
        return false;
    }
    drawing.tinyKept += tiny;
    return true;
}

void fillText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_colorspace *space,
              const float *color, float alpha, fz_color_params params)
{
    if (admit(ctx, device, text, ctm))
        textOf(device)->fill_text(ctx, textOf(device), text, ctm, space, color, alpha, params);
}

void strokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
                fz_matrix ctm, fz_colorspace *space, const float *color, float alpha, fz_color_params params)
{
    if (admit(ctx, device, text, ctm))
        textOf(device)->stroke_text(ctx, textOf(device), text, stroke, ctm, space, color, alpha, params);
}

// The structured-text device keeps no stack of clips, so a clip left out needs no pop.
void clipText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_rect scissor)
{
    if (admit(ctx, device, text, ctm))
        textOf(device)->clip_text(ctx, textOf(device), text, ctm, scissor);
}

void clipStrokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
                    fz_matrix ctm, fz_rect scissor)
{
    if (admit(ctx, device, text, ctm))
        textOf(device)->clip_stroke_text(ctx, textOf(device), text, stroke, ctm, scissor);
}

void ignoreText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm)
{
    if (admit(ctx, device, text, ctm))
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

} // namespace

// Calls the structured-text device's own functions rather than fz_fill_text and the like,
// which would keep a second stack of clips for it.
fz_device *NewTextAndRulesDevice(fz_context *ctx, fz_stext_page *page, PageDrawing &drawing)
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
    device->drawing = &drawing;
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

// Between the letters of a joined line a gap of a sixth of their size is a space; a space
// with a rule in its gap is an underscore, written as kDrawnUnderscore so that the address
// it completes names the repair.
void AppendPageText(std::string &text, const fz_stext_page &page, const DrawnRules &rules)
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
                                        !isSpace(previous->c) &&
                                        rules.underscoreInGap(rightEdge(*previous), c->next->origin.x,
                                                              c->next->origin.y, c->next->size);
                appendUtf8(text, underscore ? int(kDrawnUnderscore) : c->c);
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

} // namespace pelmora::worker
