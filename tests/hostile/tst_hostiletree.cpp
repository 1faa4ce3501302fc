// A folder scan and a run over a tree of 10,000 entries with link loops, a link that
// aliases a folder and a dangling link: the scan ends and lists each PDF once, the run
// reads them all, and the tree is left exactly as it was.
#include "EngineFixture.h"
#include "RunInvariants.h"
#include "RunToEnd.h"
#include "TestData.h"
#include "inputs/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

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
    test::EngineFixture engine(test::EngineFixture::Kind::Service);
    QVERIFY(engine.isValid());
    const QTemporaryDir &input = engine.input;
    const QByteArray bytes = test::readFile(test::dataFile(u"contacts-2.pdf"_s));

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
            QFile file(
                u"%1/f%2.%3"_s.arg(folder).arg(i, 3, 10, QChar(u'0')).arg(isPdf ? u"pdf"_s : u"txt"_s));
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

    const test::RunInvariants invariants(input.path());

    FolderScan scan(u"*.pdf"_s);
    QStringList found = scan.filesIn(input.path());
    QVERIFY(!scan.stopped());
    QCOMPARE(found.size(), expected.size()); // each PDF once, however many ways lead to it
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);

    test::ScriptedRunHost host;
    const test::RunOutcome outcome = test::runToEnd(engine, found, host, 2);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses.size(), 7);
    QCOMPARE(outcome.unreadable, QList<UnreadableFile>());
    const QString broken = engine.leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestHostileTree)
#include "tst_hostiletree.moc"
