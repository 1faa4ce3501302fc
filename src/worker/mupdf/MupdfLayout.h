#pragma once

// A page's text as MuPDF's structured text gives it, laid out as poppler lays it out: words
// split where the size or the baseline changes, pieces of a line drawn out of order read
// left to right, and underscores drawn as rules read as underscores (kDrawnUnderscore).

#include "worker/mupdf/DrawnRules.h"

#include <mupdf/fitz.h>

#include <string>

namespace pelmora::worker {

// What a page's run kept beside its structured text.
struct PageDrawing
{
    DrawnRules rules;
    // Characters under 3 points: a page of millions of them (a hidden layer of small print
    // hundreds of megabytes long) would take more memory than a worker has. Past this many
    // they are left out, as poppler leaves them out past 50,000, and past a hundred times
    // as many the page's run is ended.
    static constexpr long kMostTinyCharacters = 200000;
    long tinyKept = 0;
    long tinyLeftOut = 0;
    bool stopped = false; // the run ended for small print
};

// A device that hands every text call to MuPDF's structured-text device for `page` and
// keeps the thin horizontal rules in `drawing`. May throw.
fz_device *NewTextAndRulesDevice(fz_context *ctx, fz_stext_page *page, PageDrawing &drawing);

// The page's text: lines end with LF, blocks with an empty line, as poppler's text has
// them. `rules` indexed.
void AppendPageText(std::string &text, const fz_stext_page &page, const DrawnRules &rules);

} // namespace pelmora::worker
