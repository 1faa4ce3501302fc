#pragma once

// What a reader of a page can open besides its text: the notes of its annotations and the
// values of its form fields. Read from the annotations' dictionaries the same way for
// either engine.

#include "protocol/WorkerProtocol.h"
#include "worker/shell/PdfObject.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

struct PageNote
{
    protocol::SourceKind kind = protocol::SourceKind::Annotation; // Annotation or Form
    bool shown = false; // its own appearance shows the text on the page
    std::string text;   // UTF-8
    friend bool operator==(const PageNote &, const PageNote &) = default;
};

// The notes of a page's annotations, in the page's order:
// - of a markup annotation (a sticky note, free text, a highlight, a stamp, an attached
//   file...) the label of its pop-up (/T, often the author), its subject and its text, the
//   rich text (/RC) as plain text where it has one, else /Contents; of a pop-up only when it
//   belongs to no annotation, as one shows its parent's text;
// - of a text or choice field's widget, the field's value (/RV as plain text, else /V),
//   whether or not it has an appearance; a password field shows dots, not its value.
// Hidden annotations are not read; links, sounds' and movies' descriptions and the like
// are no notes. A free-text annotation and a widget show their text on the page.
std::vector<PageNote> NotesOf(const std::vector<PdfObject> &annotations);

// The plain text of rich text (XHTML, as /RC and /RV hold it): a line per paragraph;
// nullopt when it is no well-formed XML.
std::optional<std::string> RichTextToPlain(std::string_view xhtml);

} // namespace pelmora::worker
