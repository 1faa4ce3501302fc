#include "FakeConverter.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestConverterWorkspace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsTheConverterWhereItIsInstalled_data();
    void findsTheConverterWhereItIsInstalled();
};

void TestConverterWorkspace::findsTheConverterWhereItIsInstalled_data()
{
    QTest::addColumn<QString>("installed"); // "<bin>" stands for a folder first on PATH
    QTest::addColumn<bool>("onPath");
    QTest::addColumn<QString>("expected"); // empty: reported missing
    const QString worker = test::FakeConverter::workerProgram();
    QTest::newRow("where the installation put it") << worker << false << worker;
    QTest::newRow("by its name on PATH") << QString() << true << u"<bin>/pelmora-convert"_s;
    QTest::newRow("installed path wins over PATH") << worker << true << worker;
    QTest::newRow("not on PATH") << QString() << false << QString();
    QTest::newRow("installed path gone") << u"<bin>/gone"_s << true << QString();
}

void TestConverterWorkspace::findsTheConverterWhereItIsInstalled()
{
    QFETCH(QString, installed);
    QFETCH(bool, onPath);
    QFETCH(QString, expected);
    QTemporaryDir bin;
    QVERIFY(QFile::copy(u"/bin/true"_s, bin.filePath(u"pelmora-convert"_s)));
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    qputenv("PATH", onPath ? QFile::encodeName(bin.path()) : QByteArray("/nonexistent"));
    installed.replace(u"<bin>"_s, bin.path());
    expected.replace(u"<bin>"_s, bin.path());

    ConverterWorkspace workspace({u"pelmora-convert"_s, installed, u"install it again"_s});
    QCOMPARE(workspace.converterPath(), QString()); // nothing is looked for before it is asked
    try {
        workspace.ensureConverter();
        QVERIFY2(!expected.isEmpty(), qPrintable(workspace.converterPath()));
        QCOMPARE(QFileInfo(workspace.converterPath()).canonicalFilePath(),
                 QFileInfo(expected).canonicalFilePath());
    } catch (const AppError &error) {
        QVERIFY(expected.isEmpty());
        QCOMPARE(error.description(), u"install it again"_s);
        QCOMPARE(workspace.converterPath(), QString());
    }
}

QTEST_GUILESS_MAIN(TestConverterWorkspace)
#include "tst_converterworkspace.moc"
