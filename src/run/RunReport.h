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
};

struct UnreadableFile
{
    QString path;
    UnreadableReason reason;
    friend bool operator==(const UnreadableFile &, const UnreadableFile &) = default;
};

// "  - ..." as it follows the path in the closing message.
QString ReasonText(UnreadableReason reason);

// CR LF, path and reason for each file, as the closing message lists them.
QString UnreadableReport(const QList<UnreadableFile> &files);

// "Done." alone, or followed by the list of files that could not be read.
QString SummaryMessage(const QList<UnreadableFile> &files);

} // namespace pelmora
