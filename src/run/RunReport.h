#pragma once

#include <QList>
#include <QString>

namespace pelmora {

// Why a listed file gave no text to search.
enum class UnreadableReason
{
    InvalidPassword, // encrypted, and the password given did not open it
    Protected,       // encrypted, and no password was given
    TextUnreadable,  // next to nothing readable came out: a scanned image
    Damaged,         // not openable for any other reason: not a PDF, cut short, missing...
    TimedOut,        // the conversion was ended after the time allowed (command line only)
    Failed,          // the converter could not do what was asked; the detail says what
};

struct UnreadableFile
{
    QString path;
    UnreadableReason reason;
    QString detail = {}; // the converter's words, for Failed
    friend bool operator==(const UnreadableFile &, const UnreadableFile &) = default;
};

// "  - ..." as it follows the path in the closing message.
QString ReasonText(const UnreadableFile &file);

// "The following files could not be read:", then each file's path and reason, each
// after `lineEnd`.
QString UnreadableReport(const QList<UnreadableFile> &files, const QString &lineEnd);

// "Done." alone, or followed by the list of files that could not be read.
QString SummaryMessage(const QList<UnreadableFile> &files);

// "Stopped after k of n files.", followed by the list of files that could not be read.
QString StoppedMessage(qsizetype done, qsizetype files, const QList<UnreadableFile> &unreadable);

} // namespace pelmora
