#pragma once

#include <QList>
#include <QStringList>
#include <QTemporaryDir>

namespace pelmora::test {

// A real folder tree in a fresh temporary folder; paths are given relative to its root.
// Every builder says whether it worked and warns with the name that failed, so a test
// stops at once with QVERIFY(tree.files(...)).
class FolderTree
{
public:
    FolderTree();
    ~FolderTree();
    FolderTree(const FolderTree &) = delete;
    FolderTree &operator=(const FolderTree &) = delete;

    QString root() const { return m_temp.path(); }
    QString path(const QString &relative) const;

    bool isValid() const { return m_temp.isValid(); }
    [[nodiscard]] bool dirs(const QStringList &relatives) const;
    // Empty files.
    [[nodiscard]] bool files(const QStringList &relatives) const;
    [[nodiscard]] bool link(const QString &target, const QString &relative) const;
    // Names given as raw bytes, such as ones that are not UTF-8; removed by the tree,
    // as the temporary folder cannot name them.
    [[nodiscard]] bool rawFile(const QByteArray &relative);
    [[nodiscard]] bool rawDir(const QByteArray &relative);

    // Paths below the root made relative to it; others marked "<outside>".
    QStringList relative(const QStringList &paths) const;

private:
    QTemporaryDir m_temp;
    QList<QByteArray> m_raw;
};

} // namespace pelmora::test
