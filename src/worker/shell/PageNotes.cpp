#include "worker/shell/PageNotes.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>

namespace pelmora::worker {

namespace {

using protocol::SourceKind;

// ISO 32000's markup annotations: each may hold a note a reader opens.
constexpr std::array<std::string_view, 17> kMarkup{
    "Text",     "FreeText",  "Line",           "Square",   "Circle",    "Polygon",
    "PolyLine", "Highlight", "Underline",      "Squiggly", "StrikeOut", "Stamp",
    "Caret",    "Ink",       "FileAttachment", "Sound",    "Redact"};

constexpr long long kHidden = 1 << 1;
constexpr long long kNoView = 1 << 5;
constexpr long long kPasswordField = 1 << 13;
// Rich text kept in a stream is read up to this size.
constexpr std::size_t kLongestRichText = 4u * 1024u * 1024u;

bool isMarkup(const std::string &subtype)
{
    return std::find(kMarkup.begin(), kMarkup.end(), subtype) != kMarkup.end();
}

bool hasFlag(const PdfObject &object, std::string_view key, long long flag)
{
    return (object.get(key).integer().value_or(0) & flag) != 0;
}

void addLine(std::string &text, const std::string &line)
{
    if (line.empty())
        return;
    if (!text.empty())
        text += '\n';
    text += line;
}

// Rich text is a text string or a stream.
std::optional<std::string> richText(const PdfObject &object)
{
    std::string xhtml;
    if (object.isStream()) {
        const StreamData data = object.data(kLongestRichText);
        if (data.tooLarge)
            return std::nullopt;
        xhtml = TextStringToUtf8(data.bytes);
    } else if (const std::optional<std::string> bytes = object.string()) {
        xhtml = TextStringToUtf8(*bytes);
    } else {
        return std::nullopt;
    }
    return RichTextToPlain(xhtml);
}

// The plain text of rich text where it has one, else the plain entry.
std::string textOf(const PdfObject &owner, std::string_view rich, std::string_view plain)
{
    if (const std::optional<std::string> text = richText(owner.get(rich)); text && !text->empty())
        return *text;
    return TextOf(owner.get(plain));
}

std::optional<PageNote> markupNote(const PdfObject &annotation, const std::string &subtype)
{
    if (subtype == "Popup" ? !annotation.get("Parent").isNull() : !isMarkup(subtype))
        return std::nullopt;
    std::string text;
    addLine(text, TextOf(annotation.get("T")));
    addLine(text, TextOf(annotation.get("Subj")));
    addLine(text, textOf(annotation, "RC", "Contents"));
    return PageNote{SourceKind::Annotation, subtype == "FreeText", text};
}

// A widget's field is the widget itself or an ancestor; its value and type are inherited.
std::optional<PageNote> fieldValue(const PdfObject &widget)
{
    const std::optional<std::string> type = widget.inherited("FT").name();
    if (type != "Tx" && type != "Ch")
        return std::nullopt;
    if (type == "Tx" && (widget.inherited("Ff").integer().value_or(0) & kPasswordField) != 0)
        return std::nullopt;
    if (const std::optional<std::string> rich = richText(widget.inherited("RV")); rich && !rich->empty())
        return PageNote{SourceKind::Form, true, *rich};
    const PdfObject value = widget.inherited("V");
    std::string text = TextOf(value);
    for (int i = 0, n = value.size(); i < n; ++i)
        addLine(text, TextOf(value.at(i)));
    return PageNote{SourceKind::Form, true, text};
}

} // namespace

std::vector<PageNote> NotesOf(const std::vector<PdfObject> &annotations)
{
    std::vector<PageNote> notes;
    for (const PdfObject &annotation : annotations) {
        if (hasFlag(annotation, "F", kHidden | kNoView))
            continue;
        const std::string subtype = annotation.get("Subtype").name().value_or(std::string());
        const std::optional<PageNote> note =
            subtype == "Widget" ? fieldValue(annotation) : markupNote(annotation, subtype);
        if (note && !note->text.empty())
            notes.push_back(*note);
    }
    return notes;
}

std::optional<std::string> RichTextToPlain(std::string_view xhtml)
{
    QXmlStreamReader reader(QByteArray(xhtml.data(), static_cast<qsizetype>(xhtml.size())));
    QString text;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::Characters:
            text += reader.text();
            break;
        case QXmlStreamReader::StartElement:
        case QXmlStreamReader::EndElement:
            // A paragraph or a line break ends a line, as the reader sees it.
            if ((reader.name() == u"p" || reader.name() == u"br" || reader.name() == u"div") &&
                !text.isEmpty() && !text.endsWith(u'\n'))
                text += u'\n';
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return std::nullopt;
    return text.trimmed().toStdString();
}

} // namespace pelmora::worker
