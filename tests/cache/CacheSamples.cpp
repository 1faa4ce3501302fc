#include "CacheSamples.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

FileStamp sampleStamp(quint64 number)
{
    FileStamp stamp;
    stamp.device = 2049;
    stamp.inode = 1000 + number;
    stamp.size = qint64(4096 + number);
    stamp.modifiedNs = 1700000000123456789 + qint64(number);
    stamp.changedNs = 1700000000987654321 + qint64(number);
    stamp.digest = QByteArray::number(number).rightJustified(16, '#');
    return stamp;
}

bool changeClockPassed(const QString &folder, qint64 changedNs)
{
    const QString probe = folder + u"/.clock-probe"_s;
    for (;;) {
        QFile::remove(probe); // a new file is stamped with the time now
        QFile file(probe);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.close();
        const std::optional<FileStamp> now = FileStamp::of(probe);
        if (!now)
            return false;
        if (now->changedNs > changedNs)
            return QFile::remove(probe);
    }
}

FileResult sampleResult(int count, int first)
{
    FileResult result;
    for (int i = first; i < first + count; ++i)
        result.addresses.append({u"person.%1@example-domain.org"_s.arg(i), 1 + (i - first) / 10, 1 + i % 3,
                                 i % 2 == 0 ? FoundVia::Text : FoundVia::Link});
    return result;
}

} // namespace pelmora::test
