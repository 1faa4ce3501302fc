// Checks the unreadable-text test and the line reader over arbitrary bytes against the
// documented rule: read the lines (ends LF, CR LF or CR, not part of any line), then walk
// the characters; an unreadable one (0..31, 127..159) marks the text, and the sixth
// readable one (32..126, 160..255) makes it readable at once.

#include "extract/ConvertedText.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> referenceLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

bool referenceUnreadable(const std::vector<std::string> &lines)
{
    bool answer = false;
    int readable = 0;
    for (const std::string &line : lines) {
        for (const char byte : line) {
            const int code = static_cast<unsigned char>(byte);
            if (code <= 31 || (code >= 127 && code <= 159)) {
                answer = true;
            } else if (++readable > 5) {
                return false;
            }
        }
    }
    return answer;
}

[[noreturn]] void mismatch(const char *what, const std::string &bytes, bool engine, bool reference)
{
    std::fprintf(stderr, "MISMATCH in %s for %zu bytes: engine %d, reference %d\n", what, bytes.size(),
                 engine, reference);
    std::abort();
}

const QString &scratchFile()
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("converted.txt"));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> lines = referenceLines(bytes);
    const bool expected = referenceUnreadable(lines);

    const bool inMemory =
        pelmora::IsUnreadableText(QByteArrayView(bytes.data(), static_cast<qsizetype>(size)));
    if (inMemory != expected)
        mismatch("IsUnreadableText", bytes, inMemory, expected);

    QFile file(scratchFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), static_cast<qint64>(size)) != static_cast<qint64>(size))
        std::abort();
    file.close();

    const bool fromFile = pelmora::NoTextPDF(scratchFile());
    if (fromFile != expected)
        mismatch("NoTextPDF", bytes, fromFile, expected);

    const QList<QByteArray> read = pelmora::ReadFileToStringFSOLine(scratchFile());
    bool same = static_cast<std::size_t>(read.size()) == lines.size();
    for (qsizetype i = 0; same && i < read.size(); ++i)
        same = read[i].toStdString() == lines[static_cast<std::size_t>(i)];
    if (!same) {
        std::fprintf(stderr, "MISMATCH in ReadFileToStringFSOLine: %lld lines, reference %zu\n",
                     static_cast<long long>(read.size()), lines.size());
        std::abort();
    }

    // The preview's reader takes any bytes; plain ASCII reads back unchanged.
    const QString whole = pelmora::ReadWholeFile(scratchFile());
    if (whole.size() > static_cast<qsizetype>(size))
        std::abort();
    bool ascii = true;
    for (const char byte : bytes)
        ascii = ascii && static_cast<unsigned char>(byte) < 0x80;
    if (ascii && whole != QLatin1StringView(bytes.data(), static_cast<qsizetype>(size)))
        std::abort();
    return 0;
}
