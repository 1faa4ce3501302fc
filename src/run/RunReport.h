#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pelmora {

// Why a listed file gave no text to search.
enum class UnreadableReason
{
    InvalidPassword,   // encrypted, and the password given did not open it
    Protected,         // encrypted, and no password was given
    TextUnreadable,    // next to nothing readable came out: a scanned image
    Damaged,           // not openable for any other reason: not a PDF, cut short, missing...
    TimedOut,          // the conversion was ended after the time allowed; the detail says for what
    Failed,            // the converter could not do what was asked; the detail says what
    Inaccessible,      // a folder or file a folder walk could not read; the detail says why
    Incomplete,        // read, but not whole: the detail names the page and why
    Changed,           // it changed while it was read: what was read may be of neither version
    AttachmentNotRead, // a file attached to a listed one ("a.pdf » b.jpg"), not read: no failure
                       // of the file; the detail says why
};

struct UnreadableFile
{
    QString path;
    UnreadableReason reason;
    QString detail = {}; // the converter's words, for Failed; why, for Inaccessible; what
                         // took too long, for TimedOut; a dying converter's last words, for Damaged
    friend bool operator==(const UnreadableFile &, const UnreadableFile &) = default;
};

// A recognised address left out because its readings did not agree, and no text of the
// run held it (or what one reading made of it).
struct UnsureFinding
{
    QString file;
    int page = 0;
    QString address;
    QStringList alternatives;
    friend bool operator==(const UnsureFinding &, const UnsureFinding &) = default;
};

// "  - ..." as it follows the path in the closing message.
QString ReasonText(const UnreadableFile &file);

// "The following files could not be read:", then each file's path and reason, each
// after `lineEnd`, and "These attached files were not read:" with those; control
// characters in names are escaped (Printable), so a name never makes a line of its own.
QString UnreadableReport(const QList<UnreadableFile> &files, const QString &lineEnd);

// Whether any of them is a failure: an attached file not read is none.
bool AnyFailed(const QList<UnreadableFile> &files);

// "Done." alone, or followed by the list of files that could not be read, and by how
// many recognised addresses were left out as unsure.
QString SummaryMessage(const QList<UnreadableFile> &files, qsizetype unsure = 0);

// "Stopped after k of n files.", followed by the same.
QString StoppedMessage(qsizetype done, qsizetype files, const QList<UnreadableFile> &unreadable,
                       qsizetype unsure = 0);

// The closing message followed by a problem of the run's own (an unusable cache) as one
// line, begun as a sentence.
QString WithProblem(const QString &message, const QString &problem);

// "n recognised addresses were left out: their readings did not agree." (one address:
// "1 recognised address was...").
QString UnsureNote(qsizetype unsure);

// "n hidden files or folders (names beginning with ".") were left out; " and `howToRead`;
// empty for none.
QString HiddenNote(qsizetype leftOut, const QString &howToRead);

// One line for a finding, as --ocr-unsure lists it: file, page, address and what single
// readings made of it.
QString UnsureLine(const UnsureFinding &finding);

} // namespace pelmora
