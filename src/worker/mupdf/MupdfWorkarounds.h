#pragma once

// Speed-ups of the MuPDF worker that share state between files or reach into MuPDF's
// internals, each with the measurement that keeps it (all of them: 500 one-page PDFs
// 0.37 s instead of 0.91 s, 318 manuals 5.2 s instead of 5.9 s, pelmora_bench_batch
// --engines 2). They are written against MuPDF 1.21
// (Debian 12) and compiled for that version only: another builds without them, and
// `pelmora-convert-mupdf --version` says so. PELMORA_NO_WORKAROUNDS=1 in the worker's
// environment turns them all off; nothing they do may change a file's text.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <memory>
#include <string>
#include <unordered_set>

namespace pelmora::worker {

class MupdfWorkarounds
{
public:
    // On unless not built for this MuPDF or turned off by the environment.
    MupdfWorkarounds();
    ~MupdfWorkarounds();
    MupdfWorkarounds(const MupdfWorkarounds &) = delete;
    MupdfWorkarounds &operator=(const MupdfWorkarounds &) = delete;

    // "mupdf 1.21.1, ..." as --version shows it: the library and the work-arounds' state.
    static std::string LibraryVersion();

    // Before MuPDF starts: memory freed by a page is kept for the next.
    void prepareProcess() const;
    // With the context: fonts kept across files.
    void start(fz_context *ctx);
    // Before `page` of `doc` runs (see SharedFonts). `handled`: the document's fonts already
    // looked at.
    void lendFonts(pdf_document *doc, pdf_obj *page, std::unordered_set<int> &handled);
    // Whether a page whose only annotations are plain links is read from its object
    // without MuPDF's loading of the page, which resolves every link's destination and
    // looks the page up from the tree's root: 318 manuals take an eighth more time without,
    // a page tree node of 100,000 pages hours instead of 3 s.
    bool readsLinkPagesFromObjects() const { return m_on; }

private:
    bool m_on = false;
    class SharedFonts;
    std::unique_ptr<SharedFonts> m_fonts;
};

} // namespace pelmora::worker
