// Passwords stay private: while pelmora-extract converts with them, no process of the
// program shows one in its command line or its environment, no file of its own holds
// one, its results cache included, and no process could leave one in a core dump, the
// command and the window included. A 45-character AES-256 password opens its file whole.
#include "RunInvariants.h"
#include "TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

const QByteArray kLongPassword = "a-user-password-of-forty-five-characters-long";

QByteArray procFile(qint64 pid, const char *name)
{
    QFile file(u"/proc/"_s + QString::number(pid) + u'/' + QLatin1StringView(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool coreDumpsOff(qint64 pid)
{
    static const QRegularExpression noCore(uR"(^Max core file size\s+0\s+0\s)"_s,
                                           QRegularExpression::MultilineOption);
    return noCore.match(QString::fromLatin1(procFile(pid, "limits"))).hasMatch();
}

} // namespace

class TestPrivacy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void passwordsShowNowhere_data();
    void passwordsShowNowhere();
    void windowWritesNoCore();
};

void TestPrivacy::passwordsShowNowhere_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("fromFile");
    for (const QString &engine : test::EngineNames()) {
        QTest::addRow("%s, --password-file", qPrintable(engine)) << engine << true;
        QTest::addRow("%s, --password", qPrintable(engine)) << engine << false;
    }
}

void TestPrivacy::passwordsShowNowhere()
{
    QFETCH(QString, engine);
    QFETCH(bool, fromFile);
    QTemporaryDir temp;
    QTemporaryDir input;
    const QString busy = input.filePath(u"busy.pdf"_s);
    QVERIFY(test::WriteBusyPdf(busy, 60000));
    const QString locked = input.filePath(u"locked.pdf"_s);
    QVERIFY(QFile::copy(test::dataFile(u"identity/protected-long.pdf"_s), locked));
    const QString passwordFile = temp.filePath(u"pw.txt"_s);
    QVERIFY(test::writeFile(passwordFile, "wrong-first\n" + kLongPassword + '\n'));

    QProcess command;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temp.path());
    environment.insert(u"XDG_CACHE_HOME"_s, temp.filePath(u"cache"_s));
    command.setProcessEnvironment(environment);
    // The password on this command line is the user's own doing; none of the
    // processes the program starts may show it.
    QStringList arguments{u"--engine"_s, engine, u"--jobs"_s, u"2"_s, u"--timeout"_s, u"2"_s, locked, busy};
    if (fromFile)
        arguments << u"--password-file"_s << passwordFile;
    else
        arguments << u"--password"_s << QString::fromLatin1(kLongPassword);
    command.start(QStringLiteral(PELMORA_EXTRACT_COMMAND), arguments);
    QVERIFY(command.waitForStarted());

    // While the busy file keeps a worker converting, look at every process of the program.
    QList<qint64> tree;
    QTRY_VERIFY((tree = test::ProcessTree(command.processId())).size() >= 3); // the command and two workers
    for (const qint64 pid : tree) {
        if (pid == command.processId() && !fromFile)
            continue;
        QVERIFY2(!procFile(pid, "cmdline").contains(kLongPassword), qPrintable(QString::number(pid)));
        QVERIFY2(!procFile(pid, "environ").contains(kLongPassword), qPrintable(QString::number(pid)));
        // A worker that crashes on a hostile file, or the command ended with Ctrl+\, writes no
        // core with the candidates in it.
        QTRY_VERIFY2(coreDumpsOff(pid), qPrintable(QString::number(pid)));
    }
    // Nor in any file of the program's own.
    QDirIterator files(temp.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (file != passwordFile)
            QVERIFY2(!test::readFile(file).contains(kLongPassword), qPrintable(file));
    }

    QVERIFY(command.waitForFinished(30000));
    QCOMPARE(command.exitCode(), 1); // the busy file ran out of time
    QCOMPARE(command.readAllStandardOutput(), "guarded@example.com\n"_ba);
    // The results cache keeps nothing of a file that was tried with a password.
    QDirIterator cached(temp.filePath(u"cache/pelmora"_s), QDir::Files);
    QVERIFY(cached.hasNext());
    while (cached.hasNext()) {
        const QByteArray kept = test::readFile(cached.next());
        QVERIFY(!kept.contains(kLongPassword) && !kept.contains("guarded@example.com"));
    }
    QCOMPARE(QString::fromUtf8(command.readAllStandardError()),
             u"The following files could not be read:\n"_s + busy +
                 u"  - took too long and was stopped: page 1 was not read within 2 s.\n"_s);
}

void TestPrivacy::windowWritesNoCore()
{
    // The window holds the passwords typed into it.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    environment.insert(u"XDG_CACHE_HOME"_s, home.filePath(u"cache"_s));
    QProcess window;
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(PELMORA_WINDOW_PROGRAM), {});
    QVERIFY(window.waitForStarted());
    QTRY_VERIFY(coreDumpsOff(window.processId()));
    window.kill();
    QVERIFY(window.waitForFinished());
}

QTEST_GUILESS_MAIN(TestPrivacy)
#include "tst_privacy.moc"
