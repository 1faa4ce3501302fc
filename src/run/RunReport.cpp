#include "run/RunReport.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString ReasonText(UnreadableReason reason)
{
    switch (reason) {
    case UnreadableReason::InvalidPassword:
        return u"  - invalid password or no password protected."_s;
    case UnreadableReason::Protected:
        return u"  - password protected or text is protected."_s;
    case UnreadableReason::TextUnreadable:
        return u"  - text unreadable. Please view the file yourself to see if it is really a scanned image "
               u"of text and not proper PDF text."_s;
    case UnreadableReason::Damaged:
        return u"  - damaged or not a PDF file."_s;
    case UnreadableReason::TimedOut:
        return u"  - conversion took too long and was stopped."_s;
    }
    return {};
}

QString UnreadableReport(const QList<UnreadableFile> &files)
{
    QString report;
    for (const UnreadableFile &file : files)
        report += u"\r\n"_s + file.path + ReasonText(file.reason);
    return report;
}

QString SummaryMessage(const QList<UnreadableFile> &files)
{
    if (files.isEmpty())
        return u"Done."_s;
    return u"Done.\r\nThe following files could not be read:"_s + UnreadableReport(files);
}

} // namespace pelmora
