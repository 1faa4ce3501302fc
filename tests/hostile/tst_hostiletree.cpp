// A folder scan and a run over a tree of 10,000 entries with link loops, a link that
// aliases a folder and a dangling link: the scan ends and lists each PDF once, the run
// reads them all, and the tree is left exactly as it was.
#include "RunInvariants.h"
#include "TestData.h"
#include "convert/ConverterWorkspace.h"
#include "inputs/FolderWalk.h"
#include "run/BatchRun.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

class Host : public BatchRunHost
{
public:
    PasswordMode passwordMode() override { return PasswordMode::None; }
    QString askPassword(PasswordPrompt, const QString &) override { return QString(); }
};

constexpr int kFolders = 50;
constexpr int kEntriesPerFolder = 199; // with the folders themselves: 10,000 entries
constexpr int kPdfsPerFolder = 4;

} // namespace

class TestHostileTree : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scanAndRunOverALargeTreeWithLoops();
};

void TestHostileTree::scanAndRunOverALargeTreeWithLoops()
{
    QTemporaryDir input;
    QFile pdf(test::dataFile(u"contacts-2.pdf"_s));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();

    // Folders ten deep in five chains: d0/d1/.../d9, e0/..., so the walk goes level by level.
    QStringList folders;
    for (int chain = 0; chain < 5; ++chain) {
        QString folder = input.path();
        for (int depth = 0; depth < kFolders / 5; ++depth) {
            folder += u"/%1%2"_s.arg(QChar(u'a' + chain)).arg(depth);
            folders << folder;
        }
    }
    QStringList expected;
    for (const QString &folder : folders) {
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < kEntriesPerFolder; ++i) {
            const bool isPdf = i < kPdfsPerFolder;
            QFile file(u"%1/f%2.%3"_s.arg(folder).arg(i, 3, 10, QChar(u'0')).arg(isPdf ? u"pdf"_s : u"txt"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (isPdf) {
                file.write(bytes);
                expected << file.fileName();
            }
        }
    }
    // Loops back to the top and to a parent, an alias of a folder listed elsewhere, and
    // a link to nothing.
    QVERIFY(QFile::link(input.path(), folders[3] + u"/to top"_s));
    QVERIFY(QFile::link(folders[11], folders[12] + u"/to parent"_s));
    QVERIFY(QFile::link(folders[20], folders[40] + u"/alias"_s));
    QVERIFY(QFile::link(input.filePath(u"nowhere"_s), folders[0] + u"/dangling.pdf"_s));

    ConverterWorkspace workspace(QDir::tempPath());
    workspace.EnsureConverter();
    const test::RunInvariants invariants(input.path(), workspace.workFolder());

    FolderScan scan(u"*.pdf"_s);
    QStringList found = scan.filesIn(input.path());
    QVERIFY(!scan.stopped());
    QCOMPARE(found.size(), expected.size()); // each PDF once, however many ways lead to it
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);

    Host host;
    BatchRun batch(workspace, host, found);
    QStringList addresses;
    connect(&batch, &BatchRun::addressesFound, this, [&](const QStringList &f) { addresses += f; });
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start();
    QVERIFY(finished.wait(120000));
    QCOMPARE(addresses.size(), 7);
    QCOMPARE(batch.unreadableFiles(), QList<UnreadableFile>());
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestHostileTree)
#include "tst_hostiletree.moc"
