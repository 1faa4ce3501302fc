#include "FakeConverter.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// The distribution's pdftotext, as the workspace of that converter places it.
ConverterProgram pdftotext()
{
    return {u"pdftotext"_s, QString(), u"install poppler-utils"_s};
}

} // namespace

class TestConverterWorkspace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void privateFolderIsOwnedAndClosed();
    void movesAwayFromFoldersOthersCouldPlant_data();
    void movesAwayFromFoldersOthersCouldPlant();
    void runsTheConverterWhereItIsInstalled();
    void reportsAMissingConverter();
    void outputPathsAreFreshAndGoWithTheWorkspace();
    void removesWorkFoldersOfEndedProcesses();
};

void TestConverterWorkspace::privateFolderIsOwnedAndClosed()
{
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path(), pdftotext());
    workspace.prepare();
    QVERIFY(workspace.isUsable());
    const QFileInfo info(workspace.privateFolder());
    QVERIFY(info.isDir());
    QCOMPARE(info.permissions() & (QFile::WriteGroup | QFile::WriteOther | QFile::ReadOther),
             QFile::Permissions());
}

void TestConverterWorkspace::movesAwayFromFoldersOthersCouldPlant_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<bool>("runtimeFolder");
    QTest::newRow("folder open to all, runtime folder") << u"open"_s << true;
    QTest::newRow("folder open to all, no runtime folder") << u"open"_s << false;
    QTest::newRow("link to a folder elsewhere") << u"link"_s << true;
    QTest::newRow("a file by that name") << u"file"_s << false;
}

void TestConverterWorkspace::movesAwayFromFoldersOthersCouldPlant()
{
    QFETCH(QString, planted);
    QFETCH(bool, runtimeFolder);
    QTemporaryDir temp;
    QTemporaryDir runtime;
    QTemporaryDir elsewhere;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", savedRuntime); });
    if (runtimeFolder)
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    else
        qunsetenv("XDG_RUNTIME_DIR");

    test::FakeConverter fake;
    ConverterWorkspace workspace(temp.path(), pdftotext());
    const QString usual = workspace.privateFolder();
    if (planted == u"open"_s) {
        QVERIFY(QDir().mkpath(usual));
        QVERIFY(QFile::setPermissions(usual, QFile::Permissions(0x7777)));
        // What someone planted there is never run.
        QVERIFY(QFile::copy(u"/bin/true"_s, usual + u"/pdftotext"_s));
    } else if (planted == u"link"_s) {
        QVERIFY(QFile::link(elsewhere.path(), usual));
    } else {
        QFile file(usual);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    workspace.EnsureConverter();
    QVERIFY(workspace.isUsable());
    QVERIFY(workspace.privateFolder() != usual);
    if (runtimeFolder)
        QCOMPARE(workspace.privateFolder(), runtime.path() + u"/pelmora"_s);
    else
        QVERIFY(workspace.privateFolder().startsWith(usual + u'-'));
    const QFileInfo own(workspace.privateFolder());
    QCOMPARE(own.permissions() & (QFile::WriteGroup | QFile::WriteOther | QFile::ReadOther),
             QFile::Permissions());
    QCOMPARE(QFileInfo(workspace.ConverterPath()).canonicalFilePath(),
             QFileInfo(fake.folder() + u"/bin/pdftotext"_s).canonicalFilePath());
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestConverterWorkspace::runsTheConverterWhereItIsInstalled()
{
    // Found on PATH, or where the program's own installation puts it; nothing is placed
    // in the shared private folder, where another window could remove it.
    test::FakeConverter fake;
    const QString worker = test::FakeConverter::workerProgram();
    const QList<std::pair<ConverterProgram, QString>> cases{
        {pdftotext(), fake.folder() + u"/bin/pdftotext"_s},
        {{u"pelmora-convert"_s, worker, u"reinstall"_s}, worker},
    };
    for (const auto &[program, expected] : cases) {
        QTemporaryDir temp;
        ConverterWorkspace workspace(temp.path(), program);
        workspace.EnsureConverter();
        QCOMPARE(QFileInfo(workspace.ConverterPath()).canonicalFilePath(),
                 QFileInfo(expected).canonicalFilePath());
        const QStringList placed =
            QDir(workspace.privateFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(placed.size(), 1);
        QVERIFY2(placed.first().startsWith(u"work-"_s), qPrintable(placed.first()));
    }
}

void TestConverterWorkspace::reportsAMissingConverter()
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path(), pdftotext());
    try {
        workspace.EnsureConverter();
        QFAIL("no error for a missing converter");
    } catch (const AppError &error) {
        QCOMPARE(error.description(), u"install poppler-utils"_s);
    }
    qputenv("PATH", path);
    QVERIFY(workspace.isUsable()); // the work folder is there; conversions simply find no converter
}

void TestConverterWorkspace::outputPathsAreFreshAndGoWithTheWorkspace()
{
    QTemporaryDir temp;
    QString work;
    {
        ConverterWorkspace workspace(temp.path(), pdftotext());
        workspace.prepare();
        const QString first = workspace.newOutputPath();
        QVERIFY(first != workspace.newOutputPath());
        QVERIFY(first.startsWith(workspace.workFolder() + u'/'));
        QVERIFY(!QFileInfo::exists(first));
        work = workspace.workFolder();
        QFile(first).open(QIODevice::WriteOnly);
    }
    QVERIFY(!QFileInfo::exists(work));
}

void TestConverterWorkspace::removesWorkFoldersOfEndedProcesses()
{
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path(), pdftotext());
    QVERIFY(QDir().mkpath(workspace.privateFolder()));
    QFile::setPermissions(workspace.privateFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // No process has pid 2^22 + 1 on Linux (pid_max is at most 2^22).
    const QString stale = workspace.privateFolder() + u"/work-4194305-abcdef"_s;
    const QString living = workspace.privateFolder() + u"/work-1-abcdef"_s;
    QVERIFY(QDir().mkpath(stale));
    QVERIFY(QDir().mkpath(living));
    workspace.prepare();
    QVERIFY(!QFileInfo::exists(stale));
    QVERIFY(QFileInfo::exists(living));
}

QTEST_GUILESS_MAIN(TestConverterWorkspace)
#include "tst_converterworkspace.moc"
