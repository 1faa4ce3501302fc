#include "FakeConverter.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestConverterWorkspace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void privateFolderIsOwnedAndClosed();
    void refusesFoldersOthersCouldPlant();
    void linksTheInstalledConverterOnce();
    void keepsAConverterAlreadyThere();
    void reportsAMissingConverter();
    void outputPathsAreFreshAndGoWithTheWorkspace();
    void removesWorkFoldersOfEndedProcesses();
};

void TestConverterWorkspace::privateFolderIsOwnedAndClosed()
{
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path());
    workspace.prepare();
    QVERIFY(workspace.isUsable());
    const QFileInfo info(workspace.privateFolder());
    QVERIFY(info.isDir());
    QCOMPARE(info.permissions() & (QFile::WriteGroup | QFile::WriteOther | QFile::ReadOther),
             QFile::Permissions());
    QVERIFY(workspace.ConverterPath().startsWith(workspace.privateFolder() + u'/'));
}

void TestConverterWorkspace::refusesFoldersOthersCouldPlant()
{
    QTemporaryDir temp;
    ConverterWorkspace open(temp.path());
    QVERIFY(QDir().mkpath(open.privateFolder()));
    QFile::setPermissions(open.privateFolder(), QFile::Permissions(0x7777));
    QVERIFY_THROWS_EXCEPTION(AppError, open.prepare());
    QVERIFY(!open.isUsable());
    QVERIFY(open.newOutputPath().isEmpty());

    // A link to somebody else's folder is refused too.
    QDir(open.privateFolder()).removeRecursively();
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), open.privateFolder()));
    QVERIFY_THROWS_EXCEPTION(AppError, open.prepare());
}

void TestConverterWorkspace::linksTheInstalledConverterOnce()
{
    test::FakeConverter fake;
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path());
    workspace.EnsureConverter();
    QVERIFY(QFileInfo(workspace.ConverterPath()).isExecutable());
    QCOMPARE(QFileInfo(workspace.ConverterPath()).canonicalFilePath(),
             QFileInfo(fake.folder() + u"/bin/pdftotext"_s).canonicalFilePath());
    workspace.RemoveConverter();
    QVERIFY(!QFileInfo::exists(workspace.ConverterPath()));
    workspace.RemoveConverter(); // a second removal is silent
}

void TestConverterWorkspace::keepsAConverterAlreadyThere()
{
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path());
    workspace.prepare();
    QFile own(workspace.ConverterPath());
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("left by an earlier start");
    own.close();
    workspace.EnsureConverter();
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("left by an earlier start"));
}

void TestConverterWorkspace::reportsAMissingConverter()
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QTemporaryDir temp;
    ConverterWorkspace workspace(temp.path());
    try {
        workspace.EnsureConverter();
        QFAIL("no error for a missing converter");
    } catch (const AppError &error) {
        QVERIFY2(error.description().contains(u"poppler-utils"_s), qPrintable(error.description()));
    }
    qputenv("PATH", path);
    QVERIFY(workspace.isUsable()); // the work folder is there; conversions simply find no converter
}

void TestConverterWorkspace::outputPathsAreFreshAndGoWithTheWorkspace()
{
    QTemporaryDir temp;
    QString work;
    {
        ConverterWorkspace workspace(temp.path());
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
    ConverterWorkspace workspace(temp.path());
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
