#include "inputs/SampleFiles.h"

#include "inputs/FolderWalk.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr int kCodes = 255;

template <typename Shift> QByteArray shiftBytes(const QByteArray &bytes, const QByteArray &key, Shift shift)
{
    if (key.isEmpty())
        return bytes;
    QByteArray result(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int a = static_cast<uchar>(bytes[i]);
        const int b = static_cast<uchar>(key[i % key.size()]);
        result[i] = static_cast<char>(shift(a, b));
    }
    return result;
}

} // namespace

QString SampleKey()
{
    return u"tuvaleku"_s;
}

QByteArray ScrambleBytes(const QByteArray &bytes, const QByteArray &key)
{
    return shiftBytes(bytes, key, [](int a, int b) {
        const int c = a + b;
        return c > kCodes ? c - kCodes : c;
    });
}

QByteArray UnscrambleBytes(const QByteArray &bytes, const QByteArray &key)
{
    return shiftBytes(bytes, key, [](int a, int b) {
        const int c = a - b;
        return c < 1 ? c + kCodes : c;
    });
}

QString ScrambleText(const QString &text, const QString &key)
{
    return QString::fromLatin1(ScrambleBytes(text.toUtf8(), key.toUtf8()));
}

QString UnscrambleText(const QString &scrambled, const QString &key)
{
    return QString::fromUtf8(UnscrambleBytes(scrambled.toLatin1(), key.toUtf8()));
}

QString SampleFolder(const QString &programFolder)
{
    return programFolder + u"/Samples"_s;
}

QString SampleListText(const QString &programFolder)
{
    const QString folder = SampleFolder(programFolder);
    QStringList paths;
    for (const QString &name : GetFilesInFolder(folder, u"*"_s))
        paths.append(folder + u'/' + name);
    return paths.join(u'|');
}

QStringList RecordedSamples(const QString &snapshot)
{
    const QString list = UnscrambleText(snapshot, SampleKey());
    if (list.isEmpty())
        return {};
    return list.split(u'|');
}

} // namespace pelmora
