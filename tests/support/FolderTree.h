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
    // Folders of 200 "d"s, one in the other under `relative`, until the path passes the
    // system's limit (PATH_MAX) by 600 bytes, each holding an empty `file`. Made one
    // level at a time, as no path reaches the deep end, and removed by the tree the same
    // way. Returns how many of those files a path can still name; -1 when it failed.
    [[nodiscard]] int deepChain(const QString &relative, const QByteArray &file);

    // Paths below the root made relative to it; others marked "<outside>".
    QStringList relative(const QStringList &paths) const;

private:
    QTemporaryDir m_temp;
    QList<QByteArray> m_raw;
    struct Chain
    {
        QList<int> levels; // the folder it starts in, then each folder of the chain
        QByteArray file;
    };
    QList<Chain> m_chains;
};

// While it lives, this thread's file access is checked as for the user nobody, so a folder
// closed with chmod is closed to a test run as root too (root's file capabilities return
// with it). Does nothing when the tests do not run as root.
class AsNobody
{
public:
    AsNobody();
    ~AsNobody();
    AsNobody(const AsNobody &) = delete;
    AsNobody &operator=(const AsNobody &) = delete;

private:
    bool m_root;
};

} // namespace pelmora::test
