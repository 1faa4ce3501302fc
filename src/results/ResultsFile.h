#pragma once

#include "extract/AddressRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace pelmora {

class SeenAddresses;

// The results files. In the two lists every address is ASCII, each character one byte;
// lines end with CR LF and there is no byte-order mark, header or count.
enum class ResultsFormat
{
    LineList,  // each address, CR LF; no addresses: 0 bytes
    CommaList, // each address and ",", then one CR LF; no addresses: CR LF only
    Csv,       // "address,file,page,count,via,repaired,inside", then a row per address (RFC 4180),
               // UTF-8 but for the bytes of file names that are not UTF-8, kept as they are
    JsonLines, // {"address":...,"file":...,"page":...,"count":...,"via":...,"repaired":...,
               // "inside":...} per line, UTF-8
};

// How an address was first found: in a page's text, in a mailto: link, in the text
// recognised on a scanned page, written in disguise ("name [at] host [dot] org"), in a
// note of a page (an annotation), in a form field's value, in the document's metadata, or
// in a file attached to it.
enum class FoundVia
{
    Text,
    Link,
    Recognised,
    Disguised,
    Annotation,
    Form,
    Metadata,
    Attachment,
};

// The word the results files use: "text", "link", "recognised", "disguised", "annotation",
// "form", "metadata", "attachment".
QString ViaName(FoundVia via);
// The way of that word; nullopt for any other.
std::optional<FoundVia> ViaNamed(const QString &name);

// An address with where it was first found and how often it was met: `count` times, or
// while a run goes on, as often as the run's `tally` has counted it so far; the repairs
// that made its first sighting (AddressRepairs.h; none for most); and, when it was found
// in an attached file, the path inside the file ("contacts.pdf » team.txt"), whose page
// it names (none for metadata and text files: 0).
struct AddressSource
{
    QString address;
    QString file;
    int page = 0;
    int count = 0;
    FoundVia via = FoundVia::Text;
    std::shared_ptr<const SeenAddresses> tally = {};
    AddressRuleSet repaired = {};
    QString inside = {};
    int counted() const;
    friend bool operator==(const AddressSource &, const AddressSource &) = default;
};

// `lineEnd` is CR LF in results files, LF on a command's standard output.
// The entries of a line list or a comma list, without the comma list's closing line end,
// so a list can be written a part at a time as its addresses are found.
QByteArray ListEntries(const QStringList &addresses, ResultsFormat format, QByteArrayView lineEnd);
QByteArray LineListBytes(const QStringList &addresses, QByteArrayView lineEnd = "\r\n");
QByteArray CommaListBytes(const QStringList &addresses, QByteArrayView lineEnd = "\r\n");
// A cell that a spreadsheet would take for a formula (it begins with "=", "+", "-", "@",
// a TAB or a CR) starts with an apostrophe, which keeps it text.
QByteArray CsvBytes(const QList<AddressSource> &rows, QByteArrayView lineEnd);
// Always LF, as JSON Lines has it.
QByteArray JsonLinesBytes(const QList<AddressSource> &rows);
// The bytes of each format.
QByteArray ResultsBytes(const QList<AddressSource> &rows, ResultsFormat format,
                        QByteArrayView lineEnd = "\r\n");

// Replaces `path` with `bytes` whole: written beside it first and renamed over it, so a
// failure leaves the old file exactly as it was and never a half-written one.
// Throws AppError, once, with words for the user.
void WriteFileAtomically(const QString &path, const QByteArray &bytes);

// The results file of `rows` written to `path` as above.
void SaveResults(const QString &path, const QList<AddressSource> &rows, ResultsFormat format);

// The rows of JSON Lines text as JsonLinesBytes() writes them; a line that is no such
// row throws AppError naming its number. A row without "via" was written before there
// was one, when addresses came from a page's text (or links): it counts as "text"; one
// without "repaired", before the repairs were named: it names none; one without "inside",
// before attached files were read: it was found in the file itself.
QList<AddressSource> ParseJsonLines(const QByteArray &text);
// One such row; nullopt for an empty line. Throws AppError for anything else.
std::optional<AddressSource> ParseJsonLine(QByteArrayView line);

} // namespace pelmora
