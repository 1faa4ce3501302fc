#include "worker/mupdf/MupdfText.h"

#include "worker/mupdf/MupdfLayout.h"
#include "worker/mupdf/MupdfObject.h"
#include "worker/mupdf/MupdfWorkarounds.h"
#include "worker/shell/MemoryWatch.h"
#include "worker/shell/RegularFile.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// How much of the page's contents the file holds. MuPDF rebuilds the cross-reference
// table of a file cut short and keeps the pages whose objects remain, but their contents
// may name objects the file no longer holds (such a page is damaged, not empty), or a
// stream the cut ended (the rebuilt table gives it the length up to the end of the file,
// where "endstream" should have followed: what is left of it is read, and the page named).
enum class Contents
{
    Whole,
    CutOff,
    Missing,
};

// May throw.
Contents contentsLeft(fz_context *ctx, pdf_document *doc, pdf_obj *page, std::int64_t fileSize)
{
    const bool repaired = pdf_was_repaired(ctx, doc);
    const auto left = [&](pdf_obj *part) {
        if (!pdf_is_indirect(ctx, part))
            return Contents::Whole;
        if (!pdf_is_stream(ctx, part))
            return Contents::Missing;
        const pdf_xref_entry *entry =
            repaired ? pdf_get_xref_entry(ctx, doc, pdf_to_num(ctx, part)) : nullptr;
        constexpr std::int64_t kEndstream = 9;
        return entry && entry->stm_ofs + pdf_to_int64(ctx, pdf_dict_get(ctx, part, PDF_NAME(Length))) +
                                kEndstream >=
                            fileSize
                   ? Contents::CutOff
                   : Contents::Whole;
    };
    pdf_obj *contents = pdf_dict_get(ctx, page, PDF_NAME(Contents));
    Contents worst = left(contents);
    for (int i = 0, n = pdf_array_len(ctx, contents); i < n; ++i)
        worst = std::max(worst, left(pdf_array_get(ctx, contents, i)));
    return worst;
}

// The page objects in the page tree's order, found by walking the tree once, as poppler
// finds them: MuPDF's own lookup walks from the root for every page (hours for a node of
// 100,000 kids) and gives up at a node that lists itself, where poppler reads the pages
// the tree does list. A node met again on its own way down is passed over.
class PageList
{
public:
    explicit PageList(fz_context *ctx) : m_ctx(ctx) {}
    ~PageList()
    {
        for (pdf_obj *page : m_pages)
            pdf_drop_obj(m_ctx, page);
    }
    PageList(const PageList &) = delete;
    PageList &operator=(const PageList &) = delete;

    // Up to `count` pages, visiting at most `budget` nodes (the file's objects and the
    // pages: a tree whose nodes list each other twice over would double at each level).
    void walk(pdf_obj *root, int count, int budget)
    {
        std::vector<Node> way; // out of the block MuPDF may jump out of
        if (!append(way, Node{root, 0}))
            return;
        fz_try(m_ctx) visit(way, count, budget);
        fz_catch(m_ctx)
        {
        }
    }

    // The object of page `index` (from 0); null where the tree lists no such page.
    pdf_obj *at(int index) const
    {
        return index >= 0 && std::size_t(index) < m_pages.size() ? m_pages[std::size_t(index)] : nullptr;
    }

private:
    struct Node
    {
        pdf_obj *node;
        int next; // the kid to visit next
    };

    // MuPDF's rule: a node is of type /Pages, or untyped with kids and no media box.
    bool isNode(pdf_obj *object)
    {
        pdf_obj *type = pdf_dict_get(m_ctx, object, PDF_NAME(Type));
        return type ? pdf_name_eq(m_ctx, type, PDF_NAME(Pages))
                    : pdf_dict_get(m_ctx, object, PDF_NAME(Kids)) &&
                          !pdf_dict_get(m_ctx, object, PDF_NAME(MediaBox));
    }

    bool onTheWay(const std::vector<Node> &way, pdf_obj *kid)
    {
        return pdf_is_indirect(m_ctx, kid) && std::any_of(way.begin(), way.end(), [&](const Node &each) {
                   return pdf_to_num(m_ctx, each.node) == pdf_to_num(m_ctx, kid);
               });
    }

    // No C++ exception may pass through MuPDF's frames: a walk that runs out of memory ends.
    template <typename T> static bool append(std::vector<T> &list, T item)
    {
        try {
            list.push_back(item);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    // May throw. Out of line, so that no vector grows in the frame MuPDF may jump back to.
    [[gnu::noinline]] void visit(std::vector<Node> &way, int count, int budget)
    {
        constexpr std::size_t kDeepest = 64;
        while (!way.empty() && m_pages.size() < std::size_t(count) && --budget >= 0) {
            Node &at = way.back();
            pdf_obj *kids = pdf_dict_get(m_ctx, at.node, PDF_NAME(Kids));
            if (at.next >= pdf_array_len(m_ctx, kids)) {
                way.pop_back();
                continue;
            }
            pdf_obj *kid = pdf_array_get(m_ctx, kids, at.next++);
            if (!pdf_is_dict(m_ctx, kid) || onTheWay(way, kid))
                continue;
            if (!isNode(kid)) {
                if (!append(m_pages, kid))
                    return;
                pdf_keep_obj(m_ctx, kid);
            } else if (way.size() < kDeepest && !append(way, Node{kid, 0})) {
                return;
            }
        }
    }

    fz_context *m_ctx;
    std::vector<pdf_obj *> m_pages;
};

// The same page object: the one reference, or references to the one object.
bool samePage(fz_context *ctx, pdf_obj *a, pdf_obj *b)
{
    return a == b ||
           (pdf_is_indirect(ctx, a) && pdf_is_indirect(ctx, b) && pdf_to_num(ctx, a) == pdf_to_num(ctx, b));
}

class MupdfPage : public EnginePage
{
public:
    // `object`: the page's object from the page tree, null where it lists none.
    // `linkPagesFromObjects`: a page whose only annotations are plain links is read from
    // its object, without MuPDF's loading of the page (which resolves every link's
    // destination and walks the resources for transparency).
    MupdfPage(fz_context *ctx, fz_document *doc, std::int64_t fileSize, int index, pdf_obj *object,
              bool linkPagesFromObjects)
        : m_ctx(ctx), m_doc(doc), m_index(index)
    {
        bool loads = false;
        fz_var(loads);
        fz_try(m_ctx)
        {
            // MuPDF gives an empty page for a page whose object or whose contents are gone,
            // where a reader would miss a page.
            const Contents contents = pdf_is_dict(m_ctx, object)
                                          ? contentsLeft(m_ctx, pdf_specifics(m_ctx, m_doc), object, fileSize)
                                          : Contents::Missing;
            if (contents == Contents::CutOff)
                m_leftOut = "its text stops where the file was cut off";
            if (contents != Contents::Missing) {
                m_object = pdf_keep_obj(m_ctx, object);
                m_plain = OnlyPlainLinks(m_ctx, object);
                loads = !(m_plain && linkPagesFromObjects);
            }
        }
        fz_catch(m_ctx) loads = false;
        // Any other page is loaded now, so that one MuPDF cannot load is named as such;
        // its contents are still read, as poppler reads them.
        if (loads && !page() && !m_plain)
            m_leftOut = "its annotations cannot be read: MuPDF cannot load the page";
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
        PageDrawing drawing;
        fz_stext_page *stext = nullptr;
        fz_device *device = nullptr;
        fz_var(stext);
        fz_var(device);
        fz_try(m_ctx)
        {
            stext = fz_new_stext_page(m_ctx, mediaBox());
            device = NewTextAndRulesDevice(m_ctx, stext, drawing);
            if (m_page)
                fz_run_page(m_ctx, m_page, device, fz_identity, nullptr);
            else
                runContents(device);
            fz_close_device(m_ctx, device);
        }
        fz_always(m_ctx) fz_drop_device(m_ctx, device);
        fz_catch(m_ctx) m_leftOut = "its text stops where the file is damaged";
        std::string text;
        drawing.rules.index();
        if (stext)
            AppendPageText(text, *stext, drawing.rules);
        fz_drop_stext_page(m_ctx, stext);
        if (drawing.tinyLeftOut > 0 && (m_leftOut.empty() || drawing.stopped))
            m_leftOut = "MuPDF keeps " + std::to_string(PageDrawing::kMostTinyCharacters) +
                        " characters under 3 points of a page and left out " +
                        std::to_string(drawing.tinyLeftOut) +
                        (drawing.stopped ? " more, then stopped reading the page" : " more");
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

    std::vector<std::string> uriTargets() override { return m_page ? loadedLinkTargets() : linkTargets(); }

    std::vector<PdfObject> annotations() override { return Annotations(m_ctx, m_object); }

private:
    // The page as MuPDF loads it, once; null when it cannot be loaded, or when MuPDF's
    // lookup finds another page than the tree's walk (a tree whose counts lie).
    fz_page *page()
    {
        if (m_page || m_loadFailed || !m_object)
            return m_page;
        fz_page *page = nullptr;
        fz_var(page);
        fz_try(m_ctx)
        {
            page = fz_load_page(m_ctx, m_doc, m_index);
            if (!samePage(m_ctx, pdf_page_from_fz_page(m_ctx, page)->obj, m_object)) {
                fz_drop_page(m_ctx, page);
                page = nullptr;
            }
        }
        fz_catch(m_ctx) page = nullptr;
        m_page = page;
        m_loadFailed = !page;
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
        fz_try(m_ctx) LinkTarget(m_ctx, pdf_specifics(m_ctx, m_doc), annot, base, uri);
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
    bool m_loadFailed = false;
    bool m_plain = false;
    std::string m_leftOut;
};

class MupdfDocument : public TextDocument
{
public:
    // Takes the file, or the bytes of an attached PDF, and the document read from them.
    MupdfDocument(fz_context *ctx, std::FILE *file, std::unique_ptr<std::string> bytes, fz_document *doc,
                  MupdfWorkarounds &workarounds)
        : m_ctx(ctx), m_file(file), m_bytes(std::move(bytes)), m_doc(doc), m_workarounds(workarounds),
          m_pages(ctx)
    {
        struct stat status = {};
        if (m_bytes)
            m_fileSize = static_cast<std::int64_t>(m_bytes->size());
        else if (::fstat(::fileno(file), &status) == 0)
            m_fileSize = status.st_size;
    }
    ~MupdfDocument() override
    {
        fz_drop_document(m_ctx, m_doc);
        if (m_file)
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
        if (count > 0)
            findPages(count);
        return count;
    }

    int pageCount() override { return m_pageCount; }
    PdfObject trailer() override
    {
        return MupdfObject(m_ctx, pdf_trailer(m_ctx, pdf_specifics(m_ctx, m_doc)));
    }
    PdfObject pageObject(int page) override { return MupdfObject(m_ctx, m_pages.at(page - 1)); }

    void convert(PageRange range, const ConvertOptions &options, PageSink &sink) override
    {
        pdf_document *pdf = pdf_specifics(m_ctx, m_doc);
        for (int page = range.first; page <= range.last; ++page) {
            MupdfPage current(m_ctx, m_doc, m_fileSize, page - 1, m_pages.at(page - 1),
                              m_workarounds.readsLinkPagesFromObjects());
            if (current.loaded())
                m_workarounds.lendFonts(pdf, current.object(), m_fontsHandled);
            if (!SendPage(current, page, range.count(), current.text(), options, sink))
                return;
        }
    }

private:
    void findPages(int count)
    {
        pdf_document *pdf = pdf_specifics(m_ctx, m_doc);
        pdf_obj *root = nullptr;
        int objects = 0;
        fz_var(root);
        fz_var(objects);
        fz_try(m_ctx)
        {
            root = pdf_dict_getp(m_ctx, pdf_trailer(m_ctx, pdf), "Root/Pages");
            objects = pdf_xref_len(m_ctx, pdf);
        }
        fz_catch(m_ctx) root = nullptr;
        if (root)
            m_pages.walk(root, count, objects + count);
    }

    fz_context *m_ctx;
    std::FILE *m_file;
    std::unique_ptr<std::string> m_bytes;
    fz_document *m_doc;
    MupdfWorkarounds &m_workarounds;
    PageList m_pages;
    std::unordered_set<int> m_fontsHandled;
    std::int64_t m_fileSize = 0;
    int m_pageCount = 0;
};

class MupdfEngine : public TextEngine
{
public:
    MupdfEngine(fz_context *ctx, std::unique_ptr<MupdfWorkarounds> workarounds)
        : m_context(ctx), m_ctx(ctx), m_workarounds(std::move(workarounds))
    {
        fz_set_warning_callback(m_ctx, &dropMessage, nullptr);
        fz_set_error_callback(m_ctx, &dropMessage, nullptr);
        m_workarounds->start(m_ctx);
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
        return unlocked(stream, nullptr, candidates);
    }

    OpenResult openAttached(std::string bytes, const std::vector<std::string> &candidates) override
    {
        return unlocked(nullptr, std::make_unique<std::string>(std::move(bytes)), candidates);
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

    // The file, or the bytes of an attached PDF, read as a PDF and unlocked.
    OpenResult unlocked(std::FILE *file, std::unique_ptr<std::string> bytes,
                        const std::vector<std::string> &candidates)
    {
        std::string why;
        fz_document *doc = openPdf(file, bytes.get(), why);
        if (!doc) {
            if (file)
                std::fclose(file);
            return failed(protocol::Outcome::Damaged, why);
        }
        auto document = std::make_unique<MupdfDocument>(m_ctx, file, std::move(bytes), doc, *m_workarounds);
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

    // Every file is read as a PDF, whatever its name, as poppler reads it.
    fz_document *openPdf(std::FILE *file, const std::string *bytes, std::string &why)
    {
        fz_stream *stream = nullptr;
        pdf_document *pdf = nullptr;
        fz_var(stream);
        fz_var(pdf);
        fz_try(m_ctx)
        {
            stream = file ? fz_open_file_ptr_no_close(m_ctx, file)
                          : fz_open_memory(m_ctx, reinterpret_cast<const unsigned char *>(bytes->data()),
                                           bytes->size());
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
    std::unique_ptr<MupdfWorkarounds> m_workarounds;
};

} // namespace

std::unique_ptr<TextEngine> MakeMupdfEngine()
{
    auto workarounds = std::make_unique<MupdfWorkarounds>();
    workarounds->prepareProcess();
    fz_context *ctx = fz_new_context(&g_allocator, nullptr, FZ_STORE_DEFAULT);
    if (!ctx)
        return nullptr;
    return std::make_unique<MupdfEngine>(ctx, std::move(workarounds));
}

} // namespace pelmora::worker
