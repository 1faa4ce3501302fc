#include "run/RunReport.h"

#include "core/NativePath.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

const auto kWindowLineEnd = u"\r\n"_s;

QString withUnreadable(QString message, const QList<UnreadableFile> &files, qsizetype unsure)
{
    if (!files.isEmpty())
        message += kWindowLineEnd + UnreadableReport(files, kWindowLineEnd);
    if (unsure > 0)
        message += kWindowLineEnd + UnsureNote(unsure);
    return message;
}

} // namespace

QString ReasonText(const UnreadableFile &file)
{
    switch (file.reason) {
    case UnreadableReason::InvalidPassword:
        return u"  - invalid password or no password protected."_s;
    case UnreadableReason::Protected:
        return u"  - password protected or text is protected."_s;
    case UnreadableReason::TextUnreadable:
        return u"  - text unreadable. Please view the file yourself to see if it is really a scanned image "
               u"of text and not proper PDF text."_s;
    case UnreadableReason::Damaged:
        return file.detail.isEmpty() ? u"  - damaged or not a PDF file."_s
                                     : u"  - damaged or not a PDF file: its converter ended saying \""_s +
                                           Printable(file.detail) + u"\"."_s;
    case UnreadableReason::TimedOut:
        return file.detail.isEmpty() ? u"  - conversion took too long and was stopped."_s
                                     : u"  - took too long and was stopped: "_s + file.detail + u'.';
    case UnreadableReason::Failed:
        return u"  - could not be converted: "_s + Printable(file.detail);
    case UnreadableReason::Inaccessible:
        return u"  - cannot be read: "_s + Printable(file.detail) + u'.';
    case UnreadableReason::Incomplete:
        return u"  - not read whole: "_s + Printable(file.detail) + u'.';
    case UnreadableReason::Changed:
        return u"  - changed while read; its addresses may be of neither version."_s;
    case UnreadableReason::AttachmentNotRead:
        return u"  - "_s + Printable(file.detail) + u'.';
    }
    return {};
}

QString UnreadableReport(const QList<UnreadableFile> &files, const QString &lineEnd)
{
    QString failed;
    QString attached;
    for (const UnreadableFile &file : files) {
        QString &report = file.reason == UnreadableReason::AttachmentNotRead ? attached : failed;
        report += lineEnd + Printable(file.path) + ReasonText(file);
    }
    if (!failed.isEmpty())
        failed.prepend(u"The following files could not be read:"_s);
    if (!attached.isEmpty())
        attached.prepend(u"These attached files were not read:"_s);
    if (!failed.isEmpty() && !attached.isEmpty())
        failed += lineEnd;
    return failed + attached;
}

bool AnyFailed(const QList<UnreadableFile> &files)
{
    return std::any_of(files.cbegin(), files.cend(), [](const UnreadableFile &file) {
        return file.reason != UnreadableReason::AttachmentNotRead;
    });
}

QString SummaryMessage(const QList<UnreadableFile> &files, qsizetype unsure)
{
    return withUnreadable(u"Done."_s, files, unsure);
}

QString StoppedMessage(qsizetype done, qsizetype files, const QList<UnreadableFile> &unreadable,
                       qsizetype unsure)
{
    return withUnreadable(u"Stopped after "_s + QString::number(done) + u" of "_s + QString::number(files) +
                              u" files."_s,
                          unreadable, unsure);
}

QString WithProblem(const QString &message, const QString &problem)
{
    if (problem.isEmpty())
        return message;
    return message + kWindowLineEnd + problem.first(1).toUpper() + problem.sliced(1);
}

QString UnsureNote(qsizetype unsure)
{
    return unsure == 1 ? u"1 recognised address was left out: its readings did not agree."_s
                       : QString::number(unsure) +
                             u" recognised addresses were left out: their readings did not agree."_s;
}

QString HiddenNote(qsizetype leftOut, const QString &howToRead)
{
    if (leftOut <= 0)
        return {};
    return (leftOut == 1 ? u"1 hidden file or folder (its name begins with \".\") was left out; "_s
                         : QString::number(leftOut) +
                               u" hidden files or folders (names beginning with \".\") were left out; "_s) +
           howToRead;
}

QString UnsureLine(const UnsureFinding &finding)
{
    QString line =
        Printable(finding.file) + u": page "_s + QString::number(finding.page) + u": "_s + finding.address;
    if (!finding.alternatives.isEmpty())
        line += u" (also read as "_s + finding.alternatives.join(u", "_s) + u')';
    return line;
}

} // namespace pelmora
