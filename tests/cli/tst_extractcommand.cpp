#include "TestData.h"
#include "WindowTest.h"
#include "app/TextListModel.h"
#include "run/RunReport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

struct CommandResult
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

CommandResult runCommand(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(PELMORA_EXTRACT_COMMAND), arguments);
    CommandResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString data(const char *name)
{
    return test::dataFile(QString::fromLatin1(name));
}

} // namespace

class TestExtractCommand : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void sameOutcomeAsTheWindow_data();
    void sameOutcomeAsTheWindow();
    void passwordsAndFormats();
    void foldersAreScanned();
    void usageErrors();
    void fullDiskCutsNoText();

private:
    QTemporaryDir m_temp;
};

void TestExtractCommand::sameOutcomeAsTheWindow_data()
{
    QTest::addColumn<QStringList>("pdfs");
    QTest::addColumn<QString>("password");
    QTest::newRow("mixed list") << QStringList{data("contacts-2.pdf"), data("scanned.pdf"),
                                               data("contacts-1.pdf"), data("damaged.pdf"),
                                               data("edge-cases.pdf"), data("contacts-2.pdf")}
                                << QString();
    QTest::newRow("one password for all")
        << QStringList{data("encrypted.pdf"), data("restricted.pdf"), data("notpdf.pdf"), data("long.pdf")}
        << u"secret"_s;
}

void TestExtractCommand::sameOutcomeAsTheWindow()
{
    QFETCH(QStringList, pdfs);
    QFETCH(QString, password);

    // The window's run.
    QVERIFY(setUpParts(false));
    const auto cleanup = qScopeGuard([this] { tearDownParts(); });
    createWindow();
    m_window->Form_Load();
    m_window->appendPaths(pdfs);
    if (!password.isEmpty()) {
        control<QCheckBox>("Check1")->setChecked(true);
        control<QRadioButton>("Option6")->setChecked(true);
        m_modal->textAnswers.enqueue(password);
    }
    press("PushButton2");
    QTRY_COMPARE_WITH_TIMEOUT(m_modal->shownOf(u"message"_s).size(), 1, 60000);
    const QString summary = m_modal->shownOf(u"message"_s).last().text;

    // The command's run over the same list.
    QStringList arguments = pdfs;
    if (!password.isEmpty())
        arguments << u"--password"_s << password;
    const CommandResult command = runCommand(arguments);

    QString expectedOut;
    for (const QString &address : m_window->resultsList().texts())
        expectedOut += address + u'\n';
    QCOMPARE(QString::fromUtf8(command.out), expectedOut);
    // The report lists the same files with the same reasons, one per line.
    QString report = summary;
    report.replace(u"Done.\r\n"_s, QString()).replace(u"\r\n"_s, u"\n"_s);
    QCOMPARE(QString::fromUtf8(command.err), report + u'\n');
    QCOMPARE(command.status, 1);
}

void TestExtractCommand::passwordsAndFormats()
{
    const QString passwordFile = m_temp.filePath(u"pw.txt"_s);
    QFile file(passwordFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("guess\r\n\nsecret\n");
    file.close();

    // Every password is tried in turn, from the file and from the command line.
    for (const QStringList &passwords : {QStringList{u"--password-file"_s, passwordFile},
                                         QStringList{u"--password"_s, u"guess"_s, u"--password=secret"_s}}) {
        const CommandResult opened = runCommand(QStringList{data("encrypted.pdf")} + passwords);
        QCOMPARE(opened.status, 0);
        QCOMPARE(opened.out, "vault@example.com\n"_ba);
        QCOMPARE(opened.err, QByteArray());
    }

    const CommandResult wrong = runCommand({data("encrypted.pdf"), u"--password=guess"_s});
    QCOMPARE(wrong.status, 1);
    QVERIFY(wrong.err.contains("invalid password or no password protected."));

    const CommandResult quiet =
        runCommand({u"-q"_s, data("scanned.pdf"), data("contacts-2.pdf"), u"--comma"_s});
    QCOMPARE(quiet.status, 1);
    QCOMPARE(quiet.err, QByteArray());
    QCOMPARE(quiet.out, "sales@example.com,accounts@example.org,audit@example.org,support@acme.com,"
                        "escalate@example.org,logistics@example.net,partners@example.net,\n"_ba);

    // -o writes the window's file formats, replaced whole.
    const QString output = m_temp.filePath(u"list.txt"_s);
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older and much longer file that must not survive in part\n");
    old.close();
    const CommandResult toFile = runCommand({data("contacts-2.pdf"), u"-o"_s, output, u"--comma"_s});
    QCOMPARE(toFile.status, 0);
    QCOMPARE(toFile.out, QByteArray());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), "sales@example.com,accounts@example.org,audit@example.org,support@acme.com,"
                            "escalate@example.org,logistics@example.net,partners@example.net,\r\n"_ba);
    // An output that cannot be written stops the command before it converts anything.
    for (const QString &unwritable : {m_temp.filePath(u"no/such/x"_s), u"/proc/x"_s, m_temp.path()}) {
        const CommandResult nowhere = runCommand({data("contacts-2.pdf"), u"-o"_s, unwritable});
        QCOMPARE(nowhere.status, 2);
        QVERIFY2(nowhere.err.startsWith("pelmora-extract: The results cannot be saved to "),
                 nowhere.err.constData());
    }

    const CommandResult serial =
        runCommand({u"--jobs"_s, u"1"_s, data("contacts-1.pdf"), data("contacts-2.pdf")});
    const CommandResult parallel =
        runCommand({u"-j"_s, u"4"_s, data("contacts-1.pdf"), data("contacts-2.pdf")});
    QCOMPARE(serial.status, 0);
    QCOMPARE(parallel.out, serial.out);
    QCOMPARE(serial.out.count('\n'), 19);
}

void TestExtractCommand::foldersAreScanned()
{
    // R holds b.PDF, a.pdf, ~lock.pdf, notes.txt and the folder A with c.pdf.
    QTemporaryDir tree;
    const QString root = tree.path();
    QVERIFY(QDir(root).mkpath(u"A"_s));
    QVERIFY(QFile::copy(data("contacts-1.pdf"), root + u"/b.PDF"_s));
    QVERIFY(QFile::copy(data("contacts-2.pdf"), root + u"/a.pdf"_s));
    QVERIFY(QFile::copy(data("restricted.pdf"), root + u"/~lock.pdf"_s));
    QVERIFY(QFile::copy(data("restricted.pdf"), root + u"/notes.txt"_s));
    QVERIFY(QFile::copy(data("encrypted.pdf"), root + u"/A/c.pdf"_s));

    const CommandResult pdfsOnly = runCommand({root, u"--password"_s, u"secret"_s});
    QCOMPARE(pdfsOnly.status, 0);
    const QList<QByteArray> lines = pdfsOnly.out.split('\n');
    QCOMPARE(lines.first(), "sales@example.com"_ba); // a.pdf before b.PDF, then A/c.pdf
    QVERIFY(pdfsOnly.out.contains("vault@example.com"));
    QVERIFY(!pdfsOnly.out.contains("readonly@example.com"));

    const CommandResult everything = runCommand({u"--all-files"_s, root});
    QVERIFY(everything.out.contains("readonly@example.com")); // notes.txt is a PDF in disguise
    QVERIFY(everything.err.contains(QString(root + u"/A/c.pdf  - password protected"_s).toUtf8()));
}

void TestExtractCommand::usageErrors()
{
    QCOMPARE(runCommand({}).status, 2);
    QCOMPARE(runCommand({u"--jobs"_s, u"none"_s, data("contacts-1.pdf")}).status, 2);
    QCOMPARE(runCommand({u"--no-such-option"_s, data("contacts-1.pdf")}).status, 2);
    QCOMPARE(runCommand({u"--converter"_s, u"xpdf"_s, data("contacts-1.pdf")}).status, 2);
    // pdftotext would show a password to every user in its command line.
    const CommandResult exposed =
        runCommand({u"--converter"_s, u"pdftotext"_s, u"--password"_s, u"a"_s, data("contacts-1.pdf")});
    QCOMPARE(exposed.status, 2);
    QVERIFY(exposed.err.contains("takes no passwords"));
    const CommandResult missingFile =
        runCommand({u"--password-file"_s, m_temp.filePath(u"none"_s), data("x.pdf")});
    QCOMPARE(missingFile.status, 2);
    QVERIFY(missingFile.err.contains("cannot be read"));
    const CommandResult help = runCommand({u"--help"_s});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.contains("--password-file"));
    QCOMPARE(runCommand({u"--version"_s}).out, "pelmora-extract " PELMORA_VERSION "\n"_ba);
}

void TestExtractCommand::fullDiskCutsNoText()
{
    // No file may grow past one block, as on a full disk: the text never touches one.
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$1\""_s,
                               QStringLiteral(PELMORA_EXTRACT_COMMAND), data("long.pdf")});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 0);
    const QByteArray out = shell.readAllStandardOutput();
    QCOMPARE(out.count('\n'), 150);
    QVERIFY(out.endsWith("page150@example.com\n"));
    QCOMPARE(shell.readAllStandardError(), QByteArray());
}

QTEST_MAIN(TestExtractCommand)
#include "tst_extractcommand.moc"
