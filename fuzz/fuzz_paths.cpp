// Checks the path helpers against their documented properties, for paths read from the
// input both as UTF-8 and as raw UTF-16 (lone surrogates included).

#include "convert/FileHelpers.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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
    check(stem.size() < path.size() && path[stem.size()] == u'.', "StripExtension ends before a full stop", path,
          stem);
    check(!path.sliced(stem.size() + 1).contains(u'.'), "StripExtension cuts at the last full stop", path, stem);
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
        check(path[path.size() - name.size() - 1] == u'/', "FileNameOfPath starts after a separator", path, name);
}

void checkAll(const QString &path)
{
    checkStripExtension(path);
    checkFileNameOfPath(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkAll(QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    checkAll(units);
    return 0;
}
