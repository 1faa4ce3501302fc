#pragma once

// MuPDF's objects as the shell reads them for notes, metadata and attached files, and a
// page's annotations read from its object.

#include "worker/shell/PdfObject.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <vector>

namespace pelmora::worker {

// `object` (kept while it is read; null gives a null object), read in `ctx`, which must
// outlive it.
PdfObject MupdfObject(fz_context *ctx, pdf_obj *object);

// The annotations of a page's object, in its order.
std::vector<PdfObject> Annotations(fz_context *ctx, pdf_obj *page);

// Whether the page's annotations are all links without an appearance of their own, so
// that its text is that of its contents alone. May throw.
bool OnlyPlainLinks(fz_context *ctx, pdf_obj *page);

// The web address a link annotation goes to as MuPDF reads it: `uri`, after `base` where
// it names no scheme. Both stay null for a link to a place in a document. May throw.
void LinkTarget(fz_context *ctx, pdf_document *doc, pdf_obj *annot, const char *&base, const char *&uri);

} // namespace pelmora::worker
