#pragma once

#include <QList>
#include <QStringList>
#include <QTemporaryDir>

namespace pelmora::test {

// A real folder tree in a fresh temporary folder; paths are given relative to its root.
// A failed creation is recorded as a test failure.
class FolderTree
{
public:
    FolderTree();
    ~FolderTree();
    FolderTree(const FolderTree &) = delete;
    FolderTree &operator=(const FolderTree &) = delete;

    QString root() const { return m_temp.path(); }
    QString path(const QString &relative) const;

    void dirs(const QStringList &relatives) const;
    // Empty files.
    void files(const QStringList &relatives) const;
    void link(const QString &target, const QString &relative) const;
    // Names given as raw bytes, such as ones that are not UTF-8; removed by the tree,
    // as the temporary folder cannot name them.
    void rawFile(const QByteArray &relative);
    void rawDir(const QByteArray &relative);

    // Paths below the root made relative to it; others marked "<outside>".
    QStringList relative(const QStringList &paths) const;

private:
    QTemporaryDir m_temp;
    QList<QByteArray> m_raw;
};

} // namespace pelmora::test
