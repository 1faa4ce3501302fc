#include "FolderTree.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "inputs/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <climits>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

using Tree = test::FolderTree;

QStringList walk(const Tree &tree, const WalkHooks &hooks = {})
{
    QStringList list{tree.root() + u'/'};
    GetSubDirectories2016(list, true, hooks);
    QStringList relative;
    for (const QString &entry : list)
        relative.append(entry == tree.root() + u'/' ? u"."_s : entry.mid(tree.root().size() + 1).chopped(1));
    return relative;
}

QStringList scan(const Tree &tree, const QString &pattern, const QString &start = {})
{
    FolderScan folderScan(pattern);
    return tree.relative(folderScan.filesIn(tree.path(start)));
}

} // namespace

class TestFolderWalk : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void levelByLevel();
    void listingOrder();
    void hiddenLeftOutUnlessAsked_data();
    void hiddenLeftOutUnlessAsked();
    void scanSkips_data();
    void scanSkips();
    void hiddenStartIsWalked();
    void linksNeverLoop_data();
    void linksNeverLoop();
    void unreadableFolderIsDropped();
    void vanishedFolderIsDropped();
    void swappedFolderIsNotEntered_data();
    void swappedFolderIsNotEntered();
    void otherFailuresAreReported();
    void oddNames();
    void pathsNearTheLimit();
    void progressOncePerFolderAndStop();
    void filesInFolder();
};

void TestFolderWalk::levelByLevel()
{
    Tree tree;
    QVERIFY(tree.dirs({u"A/A1/A11"_s, u"B/B1"_s, u"A/A2"_s}));
    QVERIFY(tree.files(
        {u"r.pdf"_s, u"A/a.pdf"_s, u"B/b.pdf"_s, u"A/A1/a1.pdf"_s, u"B/B1/b1.pdf"_s, u"A/A1/A11/x.pdf"_s}));
    QCOMPARE(walk(tree),
             (QStringList{u"."_s, u"A"_s, u"B"_s, u"A/A1"_s, u"A/A2"_s, u"B/B1"_s, u"A/A1/A11"_s}));
    QCOMPARE(scan(tree, u"*.pdf"_s), (QStringList{u"r.pdf"_s, u"A/a.pdf"_s, u"B/b.pdf"_s, u"A/A1/a1.pdf"_s,
                                                  u"B/B1/b1.pdf"_s, u"A/A1/A11/x.pdf"_s}));

    // Without recursion only the first level is added, unread.
    QStringList oneLevel{tree.root() + u'/'};
    QVERIFY(GetSubDirectories2016(oneLevel, false));
    QCOMPARE(oneLevel, (QStringList{tree.root() + u'/', tree.path(u"A/"_s), tree.path(u"B/"_s)}));
}

void TestFolderWalk::listingOrder()
{
    Tree tree;
    QVERIFY(tree.dirs({u"b"_s, u"A"_s, u"a"_s, u"C"_s}));
    QVERIFY(tree.files({u"b.pdf"_s, u"B.PDF"_s, u"a.pdf"_s, u"c.Pdf"_s, u"A.pdf"_s}));
    QCOMPARE(walk(tree), (QStringList{u"."_s, u"A"_s, u"a"_s, u"b"_s, u"C"_s}));
    QCOMPARE(scan(tree, u"*.pdf"_s),
             (QStringList{u"A.pdf"_s, u"a.pdf"_s, u"B.PDF"_s, u"b.pdf"_s, u"c.Pdf"_s}));
}

void TestFolderWalk::hiddenLeftOutUnlessAsked_data()
{
    // Folders of every name are entered, control characters and "~" included; hidden ones
    // below the start follow ripgrep and fd: left out and counted, read when asked.
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("leftOut");
    const QStringList visible{
        u"~lock.pdf"_s,          u"bad\nname/x.pdf"_s, u"c1\u0085/c.pdf"_s, u"folder.pdf/inside.pdf"_s,
        u"tab\tname/t.pdf"_s,    u"what?/w.pdf"_s,     u"~old/o.pdf"_s,     u"Кириллица/к.pdf"_s,
        u"bad\nname/sub/y.pdf"_s};
    QTest::newRow("hidden left out") << false
                                     << QStringList{u"."_s,          u"bad\nname"_s, u"c1\u0085"_s,
                                                    u"folder.pdf"_s, u"tab\tname"_s, u"what?"_s,
                                                    u"~old"_s,       u"Кириллица"_s, u"bad\nname/sub"_s}
                                     << visible << 3; // .cache, .hidden.pdf and ~old/.~lock.o.pdf#.pdf
    QTest::newRow("hidden read")
        << true << QStringList{u"."_s,          u".cache"_s,      u"bad\nname"_s,    u"c1\u0085"_s,
                               u"folder.pdf"_s, u"tab\tname"_s,   u"what?"_s,        u"~old"_s,
                               u"Кириллица"_s,  u".cache/deep"_s, u"bad\nname/sub"_s}
        << QStringList{u".hidden.pdf"_s,        u"~lock.pdf"_s,       u".cache/in-hidden.pdf"_s,
                       u"bad\nname/x.pdf"_s,    u"c1\u0085/c.pdf"_s,  u"folder.pdf/inside.pdf"_s,
                       u"tab\tname/t.pdf"_s,    u"what?/w.pdf"_s,     u"~old/.~lock.o.pdf#.pdf"_s,
                       u"~old/o.pdf"_s,         u"Кириллица/к.pdf"_s, u".cache/deep/deeper.pdf"_s,
                       u"bad\nname/sub/y.pdf"_s}
        << 0;
}

void TestFolderWalk::hiddenLeftOutUnlessAsked()
{
    QFETCH(bool, hidden);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, rows);
    QFETCH(int, leftOut);
    Tree tree;
    QVERIFY(tree.dirs({u".cache/deep"_s, u"bad\nname/sub"_s, u"tab\tname"_s, u"c1\u0085"_s, u"Кириллица"_s,
                       u"what?"_s, u"folder.pdf"_s, u"~old"_s}));
    QVERIFY(tree.files({u".hidden.pdf"_s, u"~lock.pdf"_s, u".profile"_s, u".cache/in-hidden.pdf"_s,
                        u".cache/deep/deeper.pdf"_s, u"bad\nname/x.pdf"_s, u"bad\nname/sub/y.pdf"_s,
                        u"tab\tname/t.pdf"_s, u"c1\u0085/c.pdf"_s, u"Кириллица/к.pdf"_s, u"what?/w.pdf"_s,
                        u"folder.pdf/inside.pdf"_s, u"~old/o.pdf"_s, u"~old/.~lock.o.pdf#.pdf"_s}));
    WalkHooks hooks;
    hooks.hidden = hidden;
    QCOMPARE(walk(tree, hooks), folders);
    FolderScan folderScan(u"*.pdf"_s, hooks);
    QCOMPARE(tree.relative(folderScan.filesIn(tree.root())), rows);
    QCOMPARE(folderScan.hiddenLeftOut(), leftOut);
    // The count goes on over the scans of one object, as the command's inputs are scanned.
    folderScan.filesIn(tree.path(u"~old"_s));
    QCOMPARE(folderScan.hiddenLeftOut(), hidden ? 0 : leftOut + 1);
}

void TestFolderWalk::scanSkips_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("hiddenLeftOut");
    // The folder button takes PDFs in any letter case; a dropped folder takes every name.
    QTest::newRow("scan") << u"*.pdf"_s
                          << QStringList{u"a.pdf"_s, u"B.PDF"_s, u"~lock.pdf"_s, u"sub/c.pdf"_s,
                                         u"sub/~c.pdf"_s}
                          << 2;
    QTest::newRow("drop") << u"*.*"_s
                          << QStringList{u"a.pdf"_s,        u"a.pdf.part"_s, u"b.docx"_s,    u"B.PDF"_s,
                                         u"no-extension"_s, u"notes.txt"_s,  u"~$b.docx"_s,  u"~lock.pdf"_s,
                                         u"sub/c.pdf"_s,    u"sub/d.txt"_s,  u"sub/~c.pdf"_s}
                          << 3;
}

void TestFolderWalk::scanSkips()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, rows);
    QFETCH(int, hiddenLeftOut);
    Tree tree;
    QVERIFY(tree.dirs({u"sub"_s, u".git"_s}));
    QVERIFY(tree.files({u"a.pdf"_s, u"B.PDF"_s, u"~lock.pdf"_s, u"~$b.docx"_s, u"notes.txt"_s, u"b.docx"_s,
                        u"no-extension"_s, u".hidden.pdf"_s, u".profile"_s, u"sub/c.pdf"_s, u"sub/d.txt"_s,
                        u"sub/~c.pdf"_s, u".git/e.pdf"_s, u"a.pdf.part"_s}));
    QVERIFY(tree.link(u"nowhere.pdf"_s, u"dangling.pdf"_s));
    FolderScan folderScan(pattern);
    QCOMPARE(tree.relative(folderScan.filesIn(tree.root())), rows);
    QCOMPARE(folderScan.hiddenLeftOut(), hiddenLeftOut);
}

void TestFolderWalk::hiddenStartIsWalked()
{
    // A hidden folder given as the start is walked as any other; what is hidden inside it is not.
    Tree tree;
    QVERIFY(tree.dirs({u".config/app"_s}));
    QVERIFY(tree.files({u".config/top.pdf"_s, u".config/.secret.pdf"_s, u".config/app/deep.pdf"_s}));
    QCOMPARE(scan(tree, u"*.pdf"_s, u".config"_s),
             (QStringList{u".config/top.pdf"_s, u".config/app/deep.pdf"_s}));
    QVERIFY(tree.link(u".config"_s, u"visible"_s));
    QCOMPARE(scan(tree, u"*.pdf"_s, u"visible"_s),
             (QStringList{u"visible/top.pdf"_s, u"visible/app/deep.pdf"_s}));
}

void TestFolderWalk::linksNeverLoop_data()
{
    // By default a walk stays inside the folder it started in: no link to a folder is
    // entered (a link to "/" least of all), and a link to a file is taken only when the
    // file lies inside. Asked to follow links, it enters them, each real folder once.
    QTest::addColumn<bool>("follow");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("inside only") << false << QStringList{u"."_s, u"A"_s, u"B"_s, u"A/A1"_s}
                                 << QStringList{u"file-link.pdf"_s, u"A/a.pdf"_s, u"B/b.pdf"_s,
                                                u"A/A1/a1.pdf"_s};
    QTest::newRow("links followed") << true << QStringList{u"."_s, u"A"_s, u"B"_s, u"ext"_s, u"A/A1"_s}
                                    << QStringList{u"file-link.pdf"_s, u"out-link.pdf"_s, u"A/a.pdf"_s,
                                                   u"B/b.pdf"_s,       u"ext/e.pdf"_s,    u"A/A1/a1.pdf"_s};
}

void TestFolderWalk::linksNeverLoop()
{
    QFETCH(bool, follow);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, rows);
    Tree tree;
    Tree outside;
    QVERIFY(tree.dirs({u"A/A1"_s, u"B"_s}));
    QVERIFY(tree.files({u"A/a.pdf"_s, u"A/A1/a1.pdf"_s, u"B/b.pdf"_s}));
    QVERIFY(outside.dirs({u"ext"_s}));
    QVERIFY(outside.files({u"ext/e.pdf"_s}));
    QVERIFY(tree.link(tree.root(), u"A/A1/up"_s));                       // back to the top
    QVERIFY(tree.link(u"."_s, u"A/self"_s));                             // to itself
    QVERIFY(tree.link(u"../A"_s, u"B/alias"_s));                         // a second way into A
    QVERIFY(tree.link(u"A"_s, u".hiddenlink"_s));                        // hidden: never followed
    QVERIFY(tree.link(u"A/a.pdf"_s, u"file-link.pdf"_s));                // a link to a file is a file
    QVERIFY(tree.link(outside.path(u"ext"_s), u"ext"_s));                // a folder elsewhere
    QVERIFY(tree.link(outside.path(u"ext/e.pdf"_s), u"out-link.pdf"_s)); // a file elsewhere
    QVERIFY(tree.link(u"loop2"_s, u"loop1"_s));
    QVERIFY(tree.link(u"loop1"_s, u"loop2"_s));
    if (!follow)
        QVERIFY(tree.link(u"/"_s, u"B/root"_s)); // as an unpacked archive may hold

    WalkHooks hooks;
    hooks.followLinks = follow;
    QCOMPARE(walk(tree, hooks), folders);
    FolderScan folderScan(u"*.pdf"_s, hooks);
    QCOMPARE(tree.relative(folderScan.filesIn(tree.root())), rows);
}

void TestFolderWalk::unreadableFolderIsDropped()
{
    Tree tree;
    QVERIFY(tree.dirs({u"A"_s, u"locked/inner"_s, u"Z"_s}));
    QVERIFY(tree.files({u"A/a.pdf"_s, u"locked/l.pdf"_s, u"locked/inner/i.pdf"_s, u"Z/z.pdf"_s}));
    QVERIFY(QFile::setPermissions(tree.path(u"locked"_s), QFileDevice::Permissions()));
    QVERIFY(QFile::setPermissions(tree.root(), QFileDevice::ReadOther | QFileDevice::ExeOther |
                                                   QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                   QFileDevice::WriteOwner));
    // The folder button drops it without a word; the command is told which and why.
    QStringList failures;
    QStringList unreadable;
    WalkHooks quiet;
    quiet.failed = [&](const QString &description) { failures.append(description); };
    WalkHooks told = quiet;
    told.unreadable = [&](const QString &path, const QString &why) {
        unreadable.append(tree.relative({path}).constFirst() + u": "_s + why);
    };
    QStringList quietRows;
    QStringList toldRows;
    {
        // Permissions do not hold root back: the walk checks them as nobody would.
        const test::AsNobody nobody;
        FolderScan quietScan(u"*.pdf"_s, quiet);
        quietRows = tree.relative(quietScan.filesIn(tree.root()));
        FolderScan toldScan(u"*.pdf"_s, told);
        toldRows = tree.relative(toldScan.filesIn(tree.root()));
    }
    QFile::setPermissions(tree.path(u"locked"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(quietRows, (QStringList{u"A/a.pdf"_s, u"Z/z.pdf"_s}));
    QCOMPARE(toldRows, quietRows);
    QCOMPARE(failures, QStringList());
    QCOMPARE(unreadable, QStringList{u"locked/: Permission denied"_s});
    QCOMPARE(walk(tree).contains(u"locked"_s), true); // readable again
}

void TestFolderWalk::vanishedFolderIsDropped()
{
    Tree tree;
    QVERIFY(tree.dirs({u"A"_s, u"gone/inner"_s, u"replaced"_s}));
    QVERIFY(tree.files({u"A/a.pdf"_s, u"gone/g.pdf"_s, u"replaced/r.pdf"_s}));
    QStringList failures;
    WalkHooks hooks;
    hooks.failed = [&](const QString &description) { failures.append(description); };
    // While the top is read, other programs remove one folder and put a file in another's place.
    hooks.progress = [&](const QString &folder) {
        if (folder == tree.root() + u'/') {
            QDir(tree.path(u"gone"_s)).removeRecursively();
            QDir(tree.path(u"replaced"_s)).removeRecursively();
            return tree.files({u"replaced"_s});
        }
        return true;
    };
    QStringList list{tree.root() + u'/'};
    QVERIFY(GetSubDirectories2016(list, true, hooks));
    QCOMPARE(list, (QStringList{tree.root() + u'/', tree.path(u"A/"_s)}));
    QCOMPARE(failures, QStringList());
}

void TestFolderWalk::swappedFolderIsNotEntered_data()
{
    // Once the top is listed, just before A is read, another program puts something else
    // where folder A was.
    QTest::addColumn<bool>("follow");
    QTest::addColumn<bool>("byLink"); // a link to a folder outside; else that folder moved in
    QTest::newRow("a link") << false << true;
    QTest::newRow("a link, links followed") << true << true;
    QTest::newRow("another folder") << false << false;
}

void TestFolderWalk::swappedFolderIsNotEntered()
{
    QFETCH(bool, follow);
    QFETCH(bool, byLink);
    Tree tree;
    Tree outside;
    QVERIFY(tree.dirs({u"A"_s, u"B"_s}));
    QVERIFY(tree.files({u"A/a.pdf"_s, u"B/b.pdf"_s}));
    QVERIFY(outside.dirs({u"ext"_s}));
    QVERIFY(outside.files({u"ext/secret.pdf"_s}));
    QStringList named;
    WalkHooks hooks;
    hooks.followLinks = follow;
    hooks.unreadable = [&](const QString &path, const QString &why) {
        named.append(tree.relative({path}).constFirst() + u": "_s + why);
    };
    hooks.progress = [&](const QString &folder) {
        if (folder != tree.path(u"A/"_s))
            return true;
        const QString a = tree.path(u"A"_s);
        QDir(a).removeRecursively();
        return byLink ? tree.link(outside.path(u"ext"_s), u"A"_s) : QDir().rename(outside.path(u"ext"_s), a);
    };
    FolderScan folderScan(u"*.pdf"_s, hooks);
    QCOMPARE(tree.relative(folderScan.filesIn(tree.root())), QStringList{u"B/b.pdf"_s});
    QCOMPARE(named, QStringList{u"A/: it was replaced while the folder walk ran, so it was not entered"_s});
}

void TestFolderWalk::otherFailuresAreReported()
{
    Tree tree;
    QVERIFY(tree.dirs({u"A"_s, u"B"_s}));
    QVERIFY(tree.files({u"r.pdf"_s, u"A/a.pdf"_s}));
    QStringList failures;
    WalkHooks hooks;
    hooks.failed = [&](const QString &description) { failures.append(description); };
    // Once the top has been read, the process runs out of file handles.
    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
    QList<int> held;
    hooks.progress = [&](const QString &folder) {
        if (folder == tree.path(u"A/"_s)) {
            const int lowest = ::dup(0);
            ::close(lowest);
            rlimit low = saved;
            low.rlim_cur = rlim_t(lowest) + 16;
            ::setrlimit(RLIMIT_NOFILE, &low);
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
                held.append(fd);
        }
        return true;
    };
    FolderScan folderScan(u"*.pdf"_s, hooks);
    const QStringList rows = tree.relative(folderScan.filesIn(tree.root()));
    for (int fd : std::as_const(held))
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    QVERIFY(!held.isEmpty());
    QCOMPARE(rows, QStringList{u"r.pdf"_s});
    QCOMPARE(failures.size(), 2); // A and B, each reported, and the walk went on
    QVERIFY2(failures[0].startsWith(u"The folder "_s + tree.path(u"A/"_s) + u" cannot be read: "_s),
             qPrintable(failures[0]));
}

void TestFolderWalk::oddNames()
{
    Tree tree;
    QVERIFY(tree.dirs({u"-rf"_s}));
    const QStringList odd{u"line\nbreak.pdf"_s, u"quote\"s'.pdf"_s,   u"-leading.pdf"_s,
                          u"--help.pdf"_s,      u"Ünïcødé.pdf"_s,     u"文档.pdf"_s,
                          u"emoji 😀.pdf"_s,     u"back\\slash.pdf"_s, u" leading space.pdf"_s,
                          u"-rf/x.pdf"_s};
    QVERIFY(tree.files(odd));
    QVERIFY(tree.rawFile("latin1-\xe9.pdf"));
    QVERIFY(tree.rawDir("latin1-\xe9-folder"));
    QVERIFY(tree.rawFile("latin1-\xe9-folder/inside.pdf"));
    const QStringList rows = scan(tree, u"*.pdf"_s);
    // A byte that is no UTF-8 stays in the row's text as U+DC00 + byte.
    const QString latin1 = u"latin1-"_s + QChar(char16_t(0xDCE9));
    QCOMPARE(rows, (QStringList{u" leading space.pdf"_s, u"--help.pdf"_s, u"-leading.pdf"_s,
                                u"back\\slash.pdf"_s, u"emoji 😀.pdf"_s, latin1 + u".pdf"_s,
                                u"line\nbreak.pdf"_s, u"quote\"s'.pdf"_s, u"Ünïcødé.pdf"_s, u"文档.pdf"_s,
                                u"-rf/x.pdf"_s, latin1 + u"-folder/inside.pdf"_s}));
    // Every row names its file exactly.
    FolderScan folderScan(u"*.pdf"_s);
    for (const QString &row : folderScan.filesIn(tree.root()))
        QVERIFY2(IsOpenableFile(row), qPrintable(row));
}

void TestFolderWalk::pathsNearTheLimit()
{
    // A chain of folders whose paths pass the system's limit part-way down: every file a
    // path can name is a row, and the first file or folder past the limit is named with
    // why (below it no name is known).
    Tree tree;
    const int reachable = tree.deepChain({}, "f.pdf");
    QStringList tooLong;
    WalkHooks hooks;
    hooks.unreadable = [&](const QString &path, const QString &why) {
        QVERIFY2(why.startsWith(u"the path is longer than the system opens"_s), qPrintable(why));
        QVERIFY(NativePath(path).size() >= PATH_MAX - 1);
        tooLong.append(path);
    };
    FolderScan folderScan(u"*.pdf"_s, hooks);
    const QStringList rows = folderScan.filesIn(tree.root());
    bool allOpenable = true;
    for (const QString &row : rows)
        allOpenable = allOpenable && IsOpenableFile(row);
    QVERIFY(reachable > 10);
    QCOMPARE(rows.size(), reachable);
    QVERIFY(allOpenable);
    QVERIFY(!tooLong.isEmpty() && tooLong.size() <= 2);
    QVERIFY2(tooLong.constLast().endsWith(u'/'), qPrintable(tooLong.constLast())); // the folder not entered
}

void TestFolderWalk::progressOncePerFolderAndStop()
{
    Tree tree;
    QVERIFY(tree.dirs({u"A/A1"_s, u"B"_s, u"C"_s}));
    QVERIFY(tree.files({u"r.pdf"_s, u"A/a.pdf"_s, u"B/b.pdf"_s, u"C/c.pdf"_s}));
    QStringList seen;
    WalkHooks hooks;
    hooks.progress = [&](const QString &folder) {
        seen.append(folder.mid(tree.root().size()));
        return true;
    };
    FolderScan whole(u"*.pdf"_s, hooks);
    QCOMPARE(whole.filesIn(tree.root()).size(), 4);
    QVERIFY(!whole.stopped());
    QCOMPARE(seen, (QStringList{u"/"_s, u"/A/"_s, u"/B/"_s, u"/C/"_s, u"/A/A1/"_s}));

    seen.clear();
    hooks.progress = [&](const QString &folder) {
        seen.append(folder);
        return seen.size() < 3;
    };
    FolderScan stopped(u"*.pdf"_s, hooks);
    stopped.filesIn(tree.root());
    QVERIFY(stopped.stopped());
    QCOMPARE(seen.size(), 3); // nothing is opened after the stop
    QStringList list{tree.root() + u'/'};
    QVERIFY(!GetSubDirectories2016(list, true, hooks));
}

void TestFolderWalk::filesInFolder()
{
    Tree tree;
    QVERIFY(tree.dirs({u"sub.pdf"_s}));
    QVERIFY(tree.files({u"b.PDF"_s, u"a.pdf"_s, u"~lock.pdf"_s, u".hidden.pdf"_s, u"x.txt"_s, u"pdf"_s}));
    QVERIFY(tree.link(u"a.pdf"_s, u"z-link.pdf"_s));
    // The listing keeps hidden and "~" names; the callers decide about them.
    const QStringList expected{u".hidden.pdf"_s, u"a.pdf"_s, u"b.PDF"_s, u"z-link.pdf"_s, u"~lock.pdf"_s};
    QCOMPARE(GetFilesInFolder(tree.root(), u"*.pdf"_s), expected);
    QCOMPARE(GetFilesInFolder(tree.root() + u'/', u"*.pdf"_s), expected);
    QCOMPARE(GetFilesInFolder(tree.root(), u"*.*"_s).size(), 7);
    QCOMPARE(GetFilesInFolder(tree.root(), u"?.pdf"_s), (QStringList{u"a.pdf"_s, u"b.PDF"_s}));
    QCOMPARE(GetFilesInFolder(tree.path(u"missing"_s), u"*.*"_s), QStringList());
    QCOMPARE(GetFilesInFolder(tree.path(u"x.txt"_s), u"*.*"_s), QStringList());
}

QTEST_GUILESS_MAIN(TestFolderWalk)
#include "tst_folderwalk.moc"
