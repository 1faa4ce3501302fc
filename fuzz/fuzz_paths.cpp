// Checks the path helpers and the path normalisation against their documented
// properties, for paths read from the input both as UTF-8 and as raw UTF-16 (lone
// surrogates included).

#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "inputs/PathText.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

[[noreturn]] void fail(const char *what, const QString &path, const QString &result)
{
    std::fprintf(stderr, "PROPERTY BROKEN: %s\n  path   [%s]\n  result [%s]\n", what, qUtf8Printable(path),
                 qUtf8Printable(result));
    std::abort();
}

void check(bool holds, const char *what, const QString &path, const QString &result)
{
    if (!holds)
        fail(what, path, result);
}

// Everything before the last "." of the whole path; the whole path without one.
void checkStripExtension(const QString &path)
{
    const QString stem = pelmora::StripExtension(path);
    check(path.startsWith(stem), "StripExtension gives a prefix", path, stem);
    if (!path.contains(u'.')) {
        check(stem == path, "StripExtension keeps a path without a full stop", path, stem);
        return;
    }
    check(stem.size() < path.size() && path[stem.size()] == u'.', "StripExtension ends before a full stop",
          path, stem);
    check(!path.sliced(stem.size() + 1).contains(u'.'), "StripExtension cuts at the last full stop", path,
          stem);
}

// Everything after the last "/"; the whole path without one.
void checkFileNameOfPath(const QString &path)
{
    const QString name = pelmora::FileNameOfPath(path);
    check(path.endsWith(name), "FileNameOfPath gives a suffix", path, name);
    check(!name.contains(u'/'), "FileNameOfPath holds no separator", path, name);
    if (!path.contains(u'/'))
        check(name == path, "FileNameOfPath keeps a path without a separator", path, name);
    else
        check(path[path.size() - name.size() - 1] == u'/', "FileNameOfPath starts after a separator", path,
              name);
}

// "/": every run of separators becomes one; nothing else changes.
void checkCollapseSlashes(const QString &path)
{
    const QString collapsed = pelmora::CollapseBackslashes(path, u'/');
    check(!collapsed.contains(u"//"), "CollapseBackslashes leaves no run of \"/\"", path, collapsed);
    check(collapsed.split(u'/', Qt::SkipEmptyParts) == path.split(u'/', Qt::SkipEmptyParts),
          "CollapseBackslashes keeps what lies between the separators", path, collapsed);
    check(collapsed.startsWith(u'/') == path.startsWith(u'/') &&
              collapsed.endsWith(u'/') == path.endsWith(u'/'),
          "CollapseBackslashes keeps a leading and a trailing separator", path, collapsed);
}

// One left-to-right pass: each "\\" not yet consumed becomes "\".
QString halvedPairs(const QString &text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'\\') {
            out += u'\\';
            i += 2;
        } else {
            out += text[i];
            ++i;
        }
    }
    return out;
}

// "\": the documented steps, written out plainly.
void checkCollapseBackslashes(const QString &path)
{
    QString expected;
    if (!path.startsWith(u'\\')) {
        expected = halvedPairs(path);
    } else {
        qsizetype from = 1;
        while (from < path.size() && path[from] == u'\\')
            ++from;
        expected = u"\\\\"_s + halvedPairs(path.sliced(from));
    }
    const QString collapsed = pelmora::CollapseBackslashes(path, u'\\');
    check(collapsed == expected, "CollapseBackslashes follows the steps for \"\\\"", path, collapsed);
}

void checkAll(const QString &path)
{
    checkStripExtension(path);
    checkFileNameOfPath(path);
    checkCollapseSlashes(path);
    checkCollapseBackslashes(path);
}

} // namespace

// Every name the system can hold comes back byte for byte from its text.
void checkNativeRoundTrip(QByteArrayView bytes)
{
    const QString path = pelmora::PathFromNative(bytes);
    if (pelmora::NativePath(path) != bytes || pelmora::HasRawBytes(path) == bytes.isValidUtf8()) {
        std::fprintf(stderr, "MISMATCH in PathFromNative/NativePath for %lld bytes\n",
                     static_cast<long long>(bytes.size()));
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkNativeRoundTrip(QByteArrayView(data, static_cast<qsizetype>(size)));
    checkAll(QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    checkAll(units);
    return 0;
}
