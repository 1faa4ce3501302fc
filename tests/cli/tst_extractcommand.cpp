#include "FolderTree.h"
#include "TestData.h"
#include "WindowTest.h"
#include "app/TextListModel.h"
#include "cache/ResultsCache.h"
#include "cli/ExtractOptions.h"
#include "cli/VersionReport.h"
#include "core/AppError.h"
#include "extract/AddressRepairs.h"
#include "results/ResultsFile.h"
#include "run/RunReport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

struct CommandResult
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// `output`: a file for standard output, as a shell's redirection gives it (/dev/full: every
// write fails); none: it is read into the result.
CommandResult runProgram(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                         const QString &folder = {}, const QString &output = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    CommandResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

CommandResult runCommand(const QStringList &arguments, const QByteArray &input = {},
                         const QString &folder = {}, const QString &output = {})
{
    return runProgram(QStringLiteral(PELMORA_EXTRACT_COMMAND), arguments, input, folder, output);
}

// The cells of each record of a CSV file, unquoted as RFC 4180 says, as a spreadsheet reads them.
QList<QStringList> csvRecords(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records{{}};
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if (c == u'"' && quoted && doubled) {
            cell += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted &&
                   (c == u',' || c == u'\n' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n'))) {
            records.last().append(std::exchange(cell, {}));
            if (c != u',')
                records.append(QStringList());
            i += c == u'\r';
        } else {
            cell += c;
        }
    }
    records.removeLast(); // after the last line end
    return records;
}

// OWASP's list: a spreadsheet may run a cell that starts so.
bool startsLikeFormula(const QString &cell)
{
    return !cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front());
}

QStringList lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

// The rows of --format jsonl; none, with a warning, when the output is something else.
QList<AddressSource> jsonRows(const CommandResult &result)
{
    try {
        return ParseJsonLines(result.out);
    } catch (const AppError &error) {
        qWarning("%s", qPrintable(error.description()));
        return {};
    }
}

// The pages of a PDF as pdftotext writes them, split at its form feeds.
QList<QByteArray> pdftotextPages(const QString &pdf, const QString &password = {})
{
    QStringList arguments;
    if (!password.isEmpty())
        arguments << u"-upw"_s << password;
    return runProgram(QStandardPaths::findExecutable(u"pdftotext"_s), arguments << pdf << u"-"_s)
        .out.split('\f');
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
    void initTestCase();
    void sameOutcomeAsTheWindow_data();
    void sameOutcomeAsTheWindow();
    void passwordsAndFormats();
    void foldersAreScanned();
    void eachAddressNamesItsFileAndPage();
    void linkAddressesUnlessTurnedOff();
    void trapCorpusGivesTheExpectedLists();
    void sourcesCorpusGivesTheExpectedRows_data();
    void sourcesCorpusGivesTheExpectedRows();
    void domainFilters();
    void csvCellsAreNeverFormulas();
    void shardedRunsMergeToOneRun();
    void scansAreReadOnRequest();
    void usageErrors();
    void timeoutHasADefault_data();
    void timeoutHasADefault();
    void clearCacheRemovesOnlyTheCache();
    void versionsComeFromTheConverter();
    void fullDiskCutsNoText();
    void cachedRunsGiveTheSameBytes_data();
    void cachedRunsGiveTheSameBytes();
    void eachEngineHasResultsOfItsOwn();
    void cacheFaultsLeaveTheResultsWhole();
    void outputIsNeverAnInputOrAPdf_data();
    void outputIsNeverAnInputOrAPdf();
    void failedWritesToStandardOutputEndWithStatus2_data();
    void failedWritesToStandardOutputEndWithStatus2();
    void walksStayInsideAndNameWhatTheyCannotRead();
    void mergeRefusesForgedParts_data();
    void mergeRefusesForgedParts();
    void mergeTakesWhatRunsWrite();
    void hiddenAreLeftOutAndCounted();
    void listsReadAreBounded_data();
    void listsReadAreBounded();

private:
    QTemporaryDir m_temp;
};

void TestExtractCommand::initTestCase()
{
    // The commands' default cache is this test's own, new for every run of it.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_temp.filePath(u"xdg-cache"_s)));
}

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
    m_window->startUp();
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

    // The window's CSV with sources holds the command's rows, with CR LF.
    const QString saved = m_temp.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".csv"_s);
    m_modal->textAnswers.enqueue(saved);
    m_modal->filterAnswers.enqueue(u"CSV with sources (*.csv)"_s);
    press("PushButton3");
    const CommandResult csv = runCommand(arguments + QStringList{u"--format"_s, u"csv"_s});
    QCOMPARE(test::readFile(saved), QByteArray(csv.out).replace('\n', "\r\n"));
    const QList<AddressSource> rows =
        jsonRows(runCommand(arguments + QStringList{u"--format"_s, u"jsonl"_s}));
    QCOMPARE(rows.size(), m_window->resultsList().rowCount());
    // A repair is named in the tool tip as in the command's "repaired" ("route" of a mail route).
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(
            m_window->resultsList().index(i).data(Qt::ToolTipRole).toString(),
            u"First found in "_s + rows[i].file + u", page "_s + QString::number(rows[i].page) +
                (rows[i].repaired ? u"; repaired ("_s + RepairNames(rows[i].repaired) + u')' : QString()));
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

    // Latin-1 bytes, from a file or a terminal of that encoding, open what "café" in UTF-8 opens.
    QVERIFY(test::writeFile(m_temp.filePath(u"latin1.txt"_s), "caf\xe9\n"));
    for (const QString &given : {u"--password-file \"$1\""_s, u"--password \"$(printf 'caf\\351')\""_s}) {
        const CommandResult latin1 =
            runProgram(u"/bin/sh"_s, {u"-c"_s, u"exec \"$0\" --no-cache "_s + given + u" \"$2\""_s,
                                      QStringLiteral(PELMORA_EXTRACT_COMMAND),
                                      m_temp.filePath(u"latin1.txt"_s), data("identity/protected-rc4.pdf")});
        QCOMPARE(latin1.status, 0);
        QCOMPARE(latin1.out, "guarded@example.com\n"_ba);
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
    QCOMPARE(serial.out.count('\n'), 20);
}

void TestExtractCommand::foldersAreScanned()
{
    // R holds b.PDF, a.pdf, ~lock.pdf (a name like an editor's lock file, read all the
    // same), notes.txt and the folder A with c.pdf.
    QTemporaryDir tree;
    const QString root = tree.path();
    QVERIFY(QDir(root).mkpath(u"A"_s));
    QVERIFY(QFile::copy(data("contacts-1.pdf"), root + u"/b.PDF"_s));
    QVERIFY(QFile::copy(data("contacts-2.pdf"), root + u"/a.pdf"_s));
    QVERIFY(QFile::copy(data("long.pdf"), root + u"/~lock.pdf"_s));
    QVERIFY(QFile::copy(data("restricted.pdf"), root + u"/notes.txt"_s));
    QVERIFY(QFile::copy(data("encrypted.pdf"), root + u"/A/c.pdf"_s));

    const CommandResult pdfsOnly = runCommand({root, u"--password"_s, u"secret"_s});
    QCOMPARE(pdfsOnly.status, 0);
    const QList<QByteArray> lines = pdfsOnly.out.split('\n');
    QCOMPARE(lines.first(), "sales@example.com"_ba); // a.pdf before b.PDF, then A/c.pdf
    QVERIFY(pdfsOnly.out.contains("vault@example.com"));
    QVERIFY(pdfsOnly.out.contains("page150@example.com"));
    QVERIFY(!pdfsOnly.out.contains("readonly@example.com"));

    const CommandResult everything = runCommand({u"--all-files"_s, root});
    QVERIFY(everything.out.contains("readonly@example.com")); // notes.txt is a PDF in disguise
    QVERIFY(everything.err.contains(QString(root + u"/A/c.pdf  - password protected"_s).toUtf8()));
}

void TestExtractCommand::eachAddressNamesItsFileAndPage()
{
    const QStringList pdfs{data("contacts-1.pdf"),        data("long.pdf"),
                           data("contacts-2.pdf"),        data("encrypted.pdf"),
                           data("identity/columns.pdf"),  data("edge-cases.pdf"),
                           data("identity/pages-200.pdf")};
    const QStringList arguments = pdfs + QStringList{u"--password"_s, u"secret"_s};
    const CommandResult jsonl = runCommand(arguments + QStringList{u"--format"_s, u"jsonl"_s});
    QCOMPARE(jsonl.status, 0);
    const QList<AddressSource> rows = jsonRows(jsonl);

    QByteArray addresses;
    for (const AddressSource &row : rows)
        addresses += row.address.toLatin1() + '\n';
    QCOMPARE(addresses, runCommand(arguments).out); // results order
    QCOMPARE(rows.size(), 15 + 150 + 5 + 1 + 8 + 8 + 200);

    QHash<QString, QList<QByteArray>> pages;
    qsizetype lastFile = 0;
    int lastPage = 0;
    for (const AddressSource &row : rows) {
        if (!pages.contains(row.file))
            pages.insert(row.file, pdftotextPages(row.file, u"secret"_s));
        const QList<QByteArray> &text = pages[row.file];
        const QByteArray address = row.address.toLatin1();
        QVERIFY2(row.page >= 1 && row.page <= text.size() && text[row.page - 1].contains(address),
                 qPrintable(row.address + u" is not on page "_s + QString::number(row.page)));
        for (int earlier = 0; earlier < row.page - 1; ++earlier)
            QVERIFY2(!text[earlier].toLower().contains(address.toLower()), qPrintable(row.address));
        // Rows follow the list and the pages.
        const qsizetype file = pdfs.indexOf(row.file);
        QVERIFY(file > lastFile || (file == lastFile && row.page >= lastPage));
        lastFile = file;
        lastPage = row.page;
    }

    const auto row = [&rows](const QString &address) {
        return *std::find_if(rows.begin(), rows.end(),
                             [&](const AddressSource &each) { return each.address == address; });
    };
    // The first spelling, where it stood, and every sighting in any letter case.
    QCOMPARE(row(u"Sales@Example.com"_s).count, 3);
    QCOMPARE(row(u"Sales@Example.com"_s).file, data("contacts-1.pdf"));
    QCOMPARE(row(u"support@acme.com"_s).count, 3);
    QCOMPARE(row(u"dispatch@acme.com"_s).count, 2);
    QCOMPARE(row(u"dispatch@acme.com"_s).page, 2);
    QCOMPARE(row(u"page150@example.com"_s).page, 150);
    QCOMPARE(row(u"vault@example.com"_s).count, 1);

    // The same rows as CSV, quoted where a path needs it.
    const CommandResult csv = runCommand(arguments + QStringList{u"--format"_s, u"csv"_s});
    QCOMPARE(csv.out, CsvBytes(rows, "\n"));
    QVERIFY(csv.out.startsWith("address,file,page,count,via,repaired,inside\nSales@Example.com,"));
}

void TestExtractCommand::linkAddressesUnlessTurnedOff()
{
    const QString pdf = data("identity/links.pdf");
    QCOMPARE(runCommand({pdf, u"--no-links"_s}).out, QByteArray());
    // --links, the default now, is still taken.
    QCOMPARE(runCommand({pdf, u"--links"_s}).out, runCommand({pdf}).out);
    const CommandResult linked = runCommand({pdf, u"--format"_s, u"jsonl"_s});
    QCOMPARE(linked.status, 0);
    const QList<AddressSource> rows = jsonRows(linked);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].address, u"hidden.person@example.org"_s); // the part before "?subject="
    QCOMPARE(rows[1].address, u"second@example.net"_s);
    QCOMPARE(rows[0].page, 2);
    QCOMPARE(rows[1].page, 2);
    QCOMPARE(rows[0].via, FoundVia::Link);
    for (const QByteArray &page : pdftotextPages(pdf))
        QVERIFY(!page.contains("@example."));
}

void TestExtractCommand::trapCorpusGivesTheExpectedLists()
{
    // The lists are checked by hand against tests/data/addresses/truth.txt (see its README),
    // as poppler reads the corpus. MuPDF gives the same but where its text differs: it reads
    // the angle brackets of the TeX-made page and keeps a hyphen at a line's end.
    const QStringList corpus{data("addresses/typeset.pdf"), data("addresses/traps.pdf"),
                             u"--engine=poppler"_s};
    const QList<std::pair<QStringList, const char *>> runs{
        {{}, "addresses/expected.txt"},
        {{u"--disguised"_s}, "addresses/expected-disguised.txt"},
        {{u"--any-domain"_s}, "addresses/expected-any-domain.txt"}};
    for (const auto &[options, expected] : runs) {
        const CommandResult result = runCommand(options + corpus);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, test::readFile(data(expected)));
        QCOMPARE(result.err, QByteArray());
        if (options.contains(u"--any-domain"_s))
            continue; // the bracket artefacts there are poppler's alone
        QByteArray mupdf = test::readFile(data(expected));
        mupdf.replace("\nhx@host.moi\n", "\nx@host.mo\n")
            .replace("latchman@texnicaldesigns.com", "latchman@texnical-designs.com");
        QCOMPARE(runCommand(options + corpus.first(2) + QStringList{u"--engine=mupdf"_s}).out, mupdf);
    }
    QStringList disguised;
    for (const AddressSource &row :
         jsonRows(runCommand(corpus + QStringList{u"--disguised"_s, u"--format=jsonl"_s}))) {
        if (row.via == FoundVia::Disguised)
            disguised.append(row.address);
        else
            QCOMPARE(row.via, row.address == u"linked.only@example.org"_s ? FoundVia::Link : FoundVia::Text);
    }
    QCOMPARE(disguised,
             (QStringList{u"jane@example.org"_s, u"john@example.org"_s, u"kate@example.de"_s,
                          u"liam@example.org"_s, u"mia@example.org"_s, u"christoph.minz@gmail.com"_s,
                          u"adrien.vion3@gmail.com"_s, u"michel.fruchart@ens-lyon.org"_s, u"ischo@ktug.org"_s,
                          u"ann@example.org"_s, u"bo@example.com"_s, u"carl@example.net"_s,
                          u"dora@example.org"_s, u"nora@example.org"_s, u"otto@tug.org"_s,
                          u"pia@example.net"_s, u"Quinn.Roe@example.it"_s, u"rita@example.org"_s}));
    // The link-only address is the one that --no-links leaves out.
    QByteArray unlinked = test::readFile(data("addresses/expected.txt"));
    unlinked.replace("linked.only@example.org\n", "");
    QCOMPARE(runCommand(corpus + QStringList{u"--no-links"_s}).out, unlinked);
}

void TestExtractCommand::sourcesCorpusGivesTheExpectedRows_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("notRead"); // standard error
    const QString notRead = QString::fromUtf8(test::readFile(data("sources/expected-all-not-read.txt")));
    for (const QString &engine : {u"mupdf"_s, u"poppler"_s}) {
        QTest::addRow("notes by default, %s", qPrintable(engine))
            << engine << QStringList() << u"expected.csv"_s << QString();
        QTest::addRow("no notes, %s", qPrintable(engine))
            << engine << QStringList{u"--no-notes"_s} << u"expected-no-notes.csv"_s << QString();
        QTest::addRow("metadata and attachments, %s", qPrintable(engine))
            << engine << QStringList{u"--metadata"_s, u"--attachments"_s} << u"expected-all.csv"_s << notRead;
    }
}

// Each place a reader can open holds an address (see pdfgen.py's sources corpus): both
// engines give the same rows, with their way, page and path inside the file.
void TestExtractCommand::sourcesCorpusGivesTheExpectedRows()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    QFETCH(QString, notRead);
    const QStringList files{u"notes.pdf"_s, u"metadata.pdf"_s, u"attachments.pdf"_s, u"portfolio.pdf"_s};
    // Converted, then into and out of a cache that each engine's rows share: a result kept
    // for other choices must not be taken for these.
    const QString folder = m_temp.filePath(u"sources-cache-"_s + engine);
    for (const QStringList &cache : {QStringList{u"--no-cache"_s}, QStringList{u"--cache-dir"_s, folder},
                                     QStringList{u"--cache-dir"_s, folder}}) {
        const CommandResult result =
            runCommand(options + cache + QStringList{u"--format=csv"_s, u"--engine"_s, engine} + files, {},
                       data("sources"));
        QCOMPARE(result.status, 0); // an attached file not read is no failure of the file
        QCOMPARE(result.out, test::readFile(data("sources/") + expected));
        QCOMPARE(QString::fromUtf8(result.err), notRead);
    }
}

void TestExtractCommand::domainFilters()
{
    const QStringList corpus{data("addresses/typeset.pdf"), data("addresses/traps.pdf"),
                             u"--engine=poppler"_s};
    const QString patterns = m_temp.filePath(u"papers.txt"_s);
    QVERIFY(test::writeFile(patterns, "# universities\n*.edu\n\n  UCL.ac.uk  \n"));
    QStringList papers, rest;
    for (const QString &address : lines(test::readFile(data("addresses/expected.txt")))) {
        const QString domain = address.sliced(address.indexOf(u'@') + 1).toLower();
        (domain.endsWith(u".edu"_s) || domain == u"ucl.ac.uk"_s ? papers : rest).append(address);
    }
    QVERIFY(papers.size() >= 5 && rest.size() > papers.size());
    QCOMPARE(lines(runCommand(corpus + QStringList{u"--only-domain"_s, u"@"_s + patterns}).out), papers);
    const CommandResult excluded =
        runCommand(corpus + QStringList{u"--exclude-domain=*.edu"_s, u"--exclude-domain"_s, u"ucl.ac.uk"_s,
                                        u"--format=jsonl"_s, u"-o"_s, m_temp.filePath(u"rest.jsonl"_s)});
    QCOMPARE(excluded.status, 0);
    QStringList kept;
    for (const AddressSource &row : ParseJsonLines(test::readFile(m_temp.filePath(u"rest.jsonl"_s)))) {
        kept.append(row.address);
        // An address left out is no first sighting: kb@cs.umb.edu, met in both files, counts once.
        QCOMPARE(row.count, 1);
    }
    QCOMPARE(kept, rest);
    // The filters apply to a merge too.
    QCOMPARE(
        lines(runCommand({u"--merge"_s, m_temp.filePath(u"rest.jsonl"_s), u"--only-domain=*.org"_s}).out),
        lines(runCommand(corpus + QStringList{u"--exclude-domain=*.edu"_s, u"--exclude-domain=ucl.ac.uk"_s,
                                              u"--only-domain=*.org"_s})
                  .out));
}

void TestExtractCommand::csvCellsAreNeverFormulas()
{
    QVERIFY(setUpParts());
    const auto cleanup = qScopeGuard([this] { tearDownParts(); });
    QVERIFY(openWindow());
    const QStringList names{u"=HYPERLINK(\"x\",\"y\").pdf"_s, u"+1.pdf"_s, u"-2.pdf"_s, u"@SUM(1).pdf"_s};
    QStringList paths;
    const QString real = m_temp.filePath(u"real"_s); // the same text in PDFs for the command
    QVERIFY(QDir().mkpath(real));
    for (const QString &name : names) {
        const QByteArray text = "Write to -lead@hyphen.org or " + name.toUtf8().toHex() + "@x.org";
        paths.append(m_engine->writePdf(name, u"TEXT"_s, text + '\f'));
        QVERIFY(test::writeFile(QDir(real).filePath(name), test::TextPdf(text)));
    }

    m_window->appendPaths(paths);
    press("PushButton2");
    QTRY_COMPARE_WITH_TIMEOUT(m_modal->shownOf(u"message"_s).size(), 1, 60000);
    const QString saved = m_temp.filePath(u"formulas.csv"_s);
    m_modal->textAnswers.enqueue(saved);
    m_modal->filterAnswers.enqueue(u"CSV with sources (*.csv)"_s);
    press("PushButton3");
    // The command, given the names as they are: its file cells begin like formulas too.
    const CommandResult command = runCommand(QStringList{u"--format=csv"_s, u"--"_s} + names, {}, real);
    QCOMPARE(command.status, 0);

    for (const QList<QStringList> &records : {csvRecords(test::readFile(saved)), csvRecords(command.out)}) {
        QCOMPARE(records.size(), 1 + 1 + names.size());
        QCOMPARE(records[1][0], u"'-lead@hyphen.org"_s);
        for (const QStringList &record : records) {
            QCOMPARE(record.size(), 7);
            for (const QString &cell : record)
                QVERIFY2(!startsLikeFormula(cell), qPrintable(cell));
        }
    }
    QStringList files, quotedNames;
    for (const QStringList &record : csvRecords(command.out).sliced(1)) {
        if (!files.contains(record[1]))
            files.append(record[1]);
    }
    for (const QString &name : names)
        quotedNames.append(u"'"_s + name);
    QCOMPARE(files, quotedNames);
}

void TestExtractCommand::shardedRunsMergeToOneRun()
{
    const QString parallel = QStandardPaths::findExecutable(u"parallel"_s);
    QVERIFY2(!parallel.isEmpty(), "GNU parallel is missing; scripts/setup-debian.sh --test installs it");
    // Folders, repeats and addresses met again in the second half: the merge must
    // keep first sightings and add counts across the cut.
    const QStringList list{data("identity"),       data("contacts-2.pdf"), data("long.pdf"),
                           data("noaddress.pdf"),  data("contacts-1.pdf"), data("long.pdf"),
                           data("contacts-2.pdf"), data("edge-cases.pdf")};
    const auto listFile = [this](const QString &name, const QStringList &paths, char end) {
        QByteArray bytes;
        for (const QString &path : paths)
            bytes += path.toUtf8() + end;
        return test::writeFile(m_temp.filePath(name), bytes) ? m_temp.filePath(name) : QString();
    };
    const QString whole = listFile(u"whole.list"_s, list, '\n');
    const QString first = listFile(u"part1.list"_s, list.mid(0, 4), '\n');
    const QString second = listFile(u"part2.list"_s, list.mid(4), '\n');

    const CommandResult shards =
        runProgram(parallel, {u"--will-cite"_s, u"-j2"_s,
                              QStringLiteral(PELMORA_EXTRACT_COMMAND) +
                                  u" -q --format jsonl --files-from {} -o {}.jsonl"_s,
                              u":::"_s, first, second});
    QCOMPARE(shards.status, 1); // the protected files of the identity folder, no password given
    // A part with nothing to search still leaves its (empty) results for the merge.
    const QString none = listFile(u"none.list"_s, {}, '\n');
    QCOMPARE(
        runCommand({u"--format"_s, u"jsonl"_s, u"--files-from"_s, none, u"-o"_s, none + u".jsonl"_s}).status,
        1);
    for (const QString &format : {u"jsonl"_s, u"csv"_s, u"lines"_s}) {
        const CommandResult merged = runCommand({u"--merge"_s, u"--format"_s, format, first + u".jsonl"_s,
                                                 none + u".jsonl"_s, second + u".jsonl"_s});
        QCOMPARE(merged.status, 0);
        const CommandResult single = runCommand({u"-q"_s, u"--format"_s, format, u"--files-from"_s, whole});
        QCOMPARE(merged.out, single.out);
        QVERIFY(merged.out.count('\n') > 150);
    }

    // The same list from standard input, NUL-separated.
    QByteArray nulList;
    for (const QString &path : list)
        nulList += path.toUtf8() + '\0';
    QCOMPARE(runCommand({u"-q"_s, u"--files-from"_s, u"-"_s, u"--null"_s}, nulList).out,
             runCommand({u"-q"_s, u"--files-from"_s, whole}).out);
}

void TestExtractCommand::scansAreReadOnRequest()
{
    const QStringList scanFirst{data("scanned.pdf"), data("contacts-2.pdf")};
    const CommandResult unread = runCommand(scanFirst);
    QCOMPARE(unread.status, 1);
    QVERIFY(unread.err.contains("scanned.pdf  - text unreadable."));
    const CommandResult read = runCommand(scanFirst + QStringList{u"--ocr"_s});
    QCOMPARE(read.status, 0);
    QCOMPARE(read.out, "scan@example.com\n" + unread.out);
    const QList<AddressSource> recognised =
        jsonRows(runCommand(scanFirst + QStringList{u"--ocr"_s, u"--format=jsonl"_s}));
    QCOMPARE(recognised.first().via, FoundVia::Recognised);
    QCOMPARE(recognised.last().via, FoundVia::Text);
    QCOMPARE(read.err, QByteArray());

    // Addresses whose readings disagree are left out and counted; --ocr-unsure lists them.
    const CommandResult disputed = runCommand({data("ocr/disputed.pdf"), u"--ocr"_s});
    QCOMPARE(disputed.out, "milo.f10ri50@mx6.isola-group.com\n"_ba);
    QCOMPARE(disputed.err, "pelmora-extract: 2 recognised addresses were left out: their readings did not "
                           "agree. --ocr-unsure lists them.\n"_ba);
    const CommandResult listed = runCommand({data("ocr/disputed.pdf"), u"--ocr-unsure"_s});
    QCOMPARE(listed.out, disputed.out);
    // Most readings put a space inside "onovak1049": what one read whole is listed beside it.
    QVERIFY2(listed.err.startsWith(QByteArray(QFile::encodeName(data("ocr/disputed.pdf")) +
                                              ": page 1: 1049@goldl3af.ch (also read as onovak1049@")),
             listed.err.constData());
    QCOMPARE(listed.err.count('\n'), 3);
    // The vote reads by the run's rules: a domain left out is no address left out either.
    const CommandResult filtered =
        runCommand({data("ocr/disputed.pdf"), u"--ocr-unsure"_s, u"--exclude-domain"_s, u"goldl3af.ch"_s});
    QCOMPARE(filtered.out, disputed.out);
    QVERIFY2(!filtered.err.contains("goldl3af.ch") &&
                 filtered.err.contains("1 recognised address was left out"),
             filtered.err.constData());

    // A grey scan stored at 16 bits a sample.
    QCOMPARE(runCommand({data("ocr/grey16.pdf"), u"--ocr"_s}).out,
             "orders@scanned-example.com\nhelp.desk@example.org\nledger@example.net\n"
             "ada.lund@footnotes.example.org\n"_ba);

    // Bands of real manuals, scanned: a typewriter's spaced dots, an at-sign read as "Q", a
    // footnote's dagger before a name and a typewriter's dot read with a space after it are
    // read right by either engine. A typewriter's mail route whose "%" most readings take for
    // "/" or "{" gives no tail ("node@gateway.net"): its readings are listed as unsure.
    for (const QString &engine : {u"mupdf"_s, u"poppler"_s}) {
        const CommandResult real =
            runCommand({data("ocr/real-lines.pdf"), u"--ocr-unsure"_s, u"--engine"_s, engine});
        QCOMPARE(real.out, "rdt@cs.queensu.ca\nkrisrose@tug.org\njan.hajer@tecnico.ulisboa.pt\n"
                           "saravanan.murugaiah@gmail.com\n"_ba);
        for (const QByteArray &line : real.err.trimmed().split('\n')) {
            QVERIFY2(line.contains(": page 5: ") || line.contains(" left out: "), real.err.constData());
        }
        QVERIFY2(real.err.contains("myself%node@gateway.net"), real.err.constData());
    }

    // Pages with text of their own are never recognised: the same rows, sources and all.
    const QStringList texts{data("contacts-1.pdf"), data("long.pdf"), data("edge-cases.pdf"),
                            data("identity/rotated.pdf"), data("identity/scripts.pdf")};
    const QStringList jsonl{u"--format"_s, u"jsonl"_s};
    QCOMPARE(runCommand(texts + jsonl + QStringList{u"--ocr"_s}).out, runCommand(texts + jsonl).out);

    // A language whose data is missing stops the command before anything is converted.
    QTemporaryDir tessdata;
    QVERIFY(
        QFile::link(test::SystemTessdata() + u"/eng.traineddata"_s, tessdata.filePath(u"eng.traineddata"_s)));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TESSDATA_PREFIX"_s, tessdata.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                  {u"--ocr-lang"_s, u"eng+deu"_s, data("scanned.pdf")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QByteArray complaint = process.readAllStandardError();
    QVERIFY2(complaint.contains("sudo apt-get install tesseract-ocr-deu") && !complaint.contains("ocr-eng"),
             complaint.constData());
}

void TestExtractCommand::usageErrors()
{
    QCOMPARE(runCommand({}).status, 2);
    QCOMPARE(runCommand({u"--jobs"_s, u"none"_s, data("contacts-1.pdf")}).status, 2);
    QCOMPARE(runCommand({u"--no-such-option"_s, data("contacts-1.pdf")}).status, 2);
    // Scripts of older versions may name the one converter; pdftotext is gone.
    QCOMPARE(runCommand({u"--converter"_s, u"service"_s, data("contacts-1.pdf")}).status, 0);
    for (const QString &gone : {u"pdftotext"_s, u"xpdf"_s}) {
        const CommandResult refused = runCommand({u"--converter"_s, gone, data("contacts-1.pdf")});
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.contains("Leave out --converter"), refused.err.constData());
    }
    const CommandResult missingFile =
        runCommand({u"--password-file"_s, m_temp.filePath(u"none"_s), data("x.pdf")});
    QCOMPARE(missingFile.status, 2);
    QVERIFY(missingFile.err.contains("cannot be read"));
    for (const QStringList &misuse :
         {QStringList{u"--format"_s, u"xml"_s, data("contacts-1.pdf")},
          QStringList{u"--comma"_s, u"--format"_s, u"csv"_s, data("contacts-1.pdf")},
          QStringList{u"--links"_s, u"--no-links"_s, data("contacts-1.pdf")},
          QStringList{u"--null"_s, data("contacts-1.pdf")}, QStringList{u"--merge"_s},
          QStringList{u"--merge"_s, data("notpdf.pdf")}, QStringList{u"--files-from"_s, data("none.list")},
          QStringList{u"--exclude-domain"_s, u"exa mple.com"_s, data("contacts-1.pdf")},
          QStringList{u"--only-domain"_s, u"@"_s + data("none.list"), data("contacts-1.pdf")},
          QStringList{u"--only-domain=@"_s + data("empty.pdf"), data("contacts-1.pdf")}})
        QCOMPARE(runCommand(misuse).status, 2);
    const CommandResult notResults = runCommand({u"--merge"_s, data("contacts-1.pdf")});
    QVERIFY2(notResults.err.contains("contacts-1.pdf cannot be merged: line 1 is not an address"),
             notResults.err.constData());
    const CommandResult help = runCommand({u"--help"_s});
    QCOMPARE(help.status, 0);
    for (const char *option : {"--password-file", "--no-cache", "--clear-cache", "--any-domain",
                               "--disguised", "--exclude-domain", "--only-domain"})
        QVERIFY2(help.out.contains(option), option);
}

void TestExtractCommand::timeoutHasADefault_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<int>("seconds"); // -1: a usage error
    QTest::newRow("not given") << QStringList() << 60;
    QTest::newRow("given") << QStringList{u"--timeout"_s, u"5"_s} << 5;
    QTest::newRow("none") << QStringList{u"--timeout=0"_s} << 0;
    QTest::newRow("negative") << QStringList{u"--timeout=-1"_s} << -1;
    QTest::newRow("not a number") << QStringList{u"--timeout"_s, u"soon"_s} << -1;
}

void TestExtractCommand::timeoutHasADefault()
{
    QFETCH(QStringList, given);
    QFETCH(int, seconds);
    const ParsedCommandLine parsed =
        ParseExtractCommandLine(QStringList{u"pelmora-extract"_s} + given + QStringList{u"a.pdf"_s});
    QCOMPARE(parsed.error.isEmpty(), seconds >= 0);
    if (seconds >= 0)
        QCOMPARE(parsed.options.run.timeoutMs, seconds * 1000);
}

void TestExtractCommand::versionsComeFromTheConverter()
{
    const CommandResult shown = runCommand({u"--version"_s});
    QCOMPARE(shown.status, 0);
    const QList<QByteArray> lines = shown.out.split('\n');
    QCOMPARE(lines.value(0), "pelmora-extract " PELMORA_VERSION ""_ba);
    QVERIFY2(lines.value(1).startsWith("default PDF library: mupdf ("), lines.value(1).constData());
    QCOMPARE(lines.value(2), "pelmora-convert-mupdf " PELMORA_VERSION ""_ba);
    QVERIFY2(lines.value(3).startsWith("mupdf 1."), lines.value(3).constData());
    QVERIFY(shown.out.endsWith("\npelmora-convert " PELMORA_VERSION "\npoppler " PELMORA_TEST_POPPLER_VERSION
                               "\ntesseract " PELMORA_TEST_TESSERACT_VERSION
                               "\nleptonica " PELMORA_TEST_LEPTONICA_VERSION "\n"_ba));
    // A converter that is missing or answers something else is reported, not passed over.
    for (const QString &converter : {QString(), u"/bin/echo"_s}) {
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        const auto closeBoth = qScopeGuard([&] {
            std::fclose(out);
            std::fclose(err);
        });
        QCOMPARE(PrintVersions(out, err, {InstalledConverters().first(), {PdfEngine::Poppler, converter}}),
                 2);
        std::rewind(err);
        char message[512] = {};
        QVERIFY(std::fread(message, 1, sizeof message - 1, err) > 0);
        QVERIFY2(QByteArray(message).contains("Please install Pelmora again."), message);
    }
}

void TestExtractCommand::clearCacheRemovesOnlyTheCache()
{
    // Alone it clears and ends; with inputs, the run follows.
    const QString folder = m_temp.filePath(u"cache"_s);
    const QStringList cacheFiles{u"pelmora-cache.db"_s, u"pelmora-cache.db-wal"_s,
                                 u"pelmora-cache.db.corrupt"_s};
    QVERIFY(QDir().mkpath(folder));
    for (const QString &name : cacheFiles + QStringList{u"notes.txt"_s})
        QVERIFY(test::writeFile(folder + u'/' + name, "x"));
    const CommandResult alone = runCommand({u"--clear-cache"_s, u"--cache-dir"_s, folder});
    QCOMPARE(alone.status, 0);
    QCOMPARE(alone.out + alone.err, QByteArray());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{u"notes.txt"_s});
    const CommandResult run = runCommand({u"--clear-cache"_s, u"--no-cache"_s, data("contacts-1.pdf")});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains('@'));
    QCOMPARE(runCommand({u"--cache-dir"_s, QString(), data("contacts-1.pdf")}).status, 2);
}

void TestExtractCommand::fullDiskCutsNoText()
{
    // No file may grow past one block, as on a full disk: the text never touches one, and
    // the results cache, which cannot grow either, is set aside in one line.
    QProcess shell;
    shell.start(u"/bin/sh"_s,
                {u"-c"_s, u"ulimit -f 1; trap '' XFSZ; exec \"$0\" --cache-dir \"$1\" \"$2\""_s,
                 QStringLiteral(PELMORA_EXTRACT_COMMAND), m_temp.filePath(u"full"_s), data("long.pdf")});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 0);
    const QByteArray out = shell.readAllStandardOutput();
    QCOMPARE(out.count('\n'), 150);
    QVERIFY(out.endsWith("page150@example.com\n"));
    const QByteArray err = shell.readAllStandardError();
    QVERIFY2(err.startsWith("pelmora-extract: the results cache ") && err.count('\n') == 1, err.constData());
}

void TestExtractCommand::cachedRunsGiveTheSameBytes_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("engine");
    for (const QString &engine : {u"poppler"_s, u"mupdf"_s}) {
        QTest::addRow("one at a time, %s", qPrintable(engine)) << 1 << engine;
        QTest::addRow("three at once, %s", qPrintable(engine)) << 3 << engine;
    }
}

void TestExtractCommand::cachedRunsGiveTheSameBytes()
{
    QFETCH(int, jobs);
    QFETCH(QString, engine);
    const QStringList list{data("contacts-1.pdf"), data("identity/pages-200.pdf"),
                           data("scanned.pdf"),    data("damaged.pdf"),
                           data("encrypted.pdf"),  data("identity/links.pdf"),
                           data("contacts-1.pdf"), u"--links"_s,
                           u"--engine"_s,          engine};
    const QString folder = m_temp.filePath(u"cache-%1-%2"_s.arg(jobs).arg(engine));
    const QStringList cached{u"-j"_s, QString::number(jobs), u"--cache-dir"_s, folder};
    // Filling the cache, the long file shared over the workers, and then taking from it.
    for (const QString &format : {u"lines"_s, u"lines"_s, u"comma"_s, u"csv"_s, u"jsonl"_s}) {
        const QStringList formatted{u"--format"_s, format};
        const CommandResult converted =
            runCommand(list + formatted + QStringList{u"--no-cache"_s, u"-j"_s, u"1"_s});
        QVERIFY(converted.out.contains('@'));
        const CommandResult taken = runCommand(list + formatted + cached);
        QCOMPARE(taken.out, converted.out);
        QCOMPARE(taken.err, converted.err);
        QCOMPARE(taken.status, converted.status);
    }
}

void TestExtractCommand::eachEngineHasResultsOfItsOwn()
{
    // Files whose text the two engines lay out differently: a cache filled by one gives
    // the other nothing of it.
    const QStringList list{data("identity/columns.pdf"), data("addresses/typeset.pdf"), u"--format=csv"_s};
    const QString folder = m_temp.filePath(u"engines"_s);
    for (const QString &engine : {u"poppler"_s, u"mupdf"_s, u"poppler"_s}) {
        const QStringList chosen = list + QStringList{u"--engine"_s, engine};
        const CommandResult taken = runCommand(chosen + QStringList{u"--cache-dir"_s, folder});
        QCOMPARE(taken.out, runCommand(chosen + QStringList{u"--no-cache"_s}).out);
    }
    QVERIFY(runCommand(list + QStringList{u"--no-cache"_s, u"--engine"_s, u"poppler"_s}).out !=
            runCommand(list + QStringList{u"--no-cache"_s, u"--engine"_s, u"mupdf"_s}).out);
}

void TestExtractCommand::cacheFaultsLeaveTheResultsWhole()
{
    const QStringList list{data("contacts-2.pdf"), data("scanned.pdf"), data("long.pdf")};
    const CommandResult converted = runCommand(list + QStringList{u"--no-cache"_s, u"--format=csv"_s});
    const auto runWith = [&](const QString &folder) {
        return runCommand(list + QStringList{u"--cache-dir"_s, folder, u"--format=csv"_s});
    };
    // A cache that cannot be used costs one line on standard error, and nothing else.
    const QString damaged = m_temp.filePath(u"damaged"_s);
    QVERIFY(QDir().mkpath(damaged) &&
            test::writeFile(ResultsCache::databasePath(damaged), QByteArray(9000, '\x5a')));
    for (const QString &folder : {damaged, u"/proc"_s}) {
        const CommandResult result = runWith(folder);
        QCOMPARE(result.out, converted.out);
        const qsizetype line = result.err.indexOf('\n') + 1;
        QVERIFY2(result.err.startsWith("pelmora-extract: the results cache ") &&
                     result.err.sliced(line) == converted.err,
                 result.err.constData());
    }
    // Two runs at once share one cache, both while they fill it and when they take from it.
    const QString shared = m_temp.filePath(u"shared"_s);
    for (int round = 0; round < 2; ++round) {
        QList<std::shared_ptr<QProcess>> runs;
        for (int run = 0; run < 2; ++run) {
            runs.append(std::make_shared<QProcess>());
            runs.last()->start(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                               list + QStringList{u"--cache-dir"_s, shared, u"--format=csv"_s});
        }
        for (const std::shared_ptr<QProcess> &run : std::as_const(runs)) {
            QVERIFY(run->waitForFinished(60000));
            QCOMPARE(run->readAllStandardOutput(), converted.out);
            QCOMPARE(run->readAllStandardError(), converted.err);
        }
    }
}

void TestExtractCommand::outputIsNeverAnInputOrAPdf_data()
{
    // Run in a folder of its own holding a.pdf and b.pdf, a file named "-o", list.txt (an
    // older result), a hard link of it, part.jsonl and three lists (names.txt, pw.txt,
    // domains.txt): nothing there may change but the file the row allows -o to write.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QString>("written");
    QTest::newRow("the input itself")
        << QStringList{u"-o"_s, u"a.pdf"_s, u"a.pdf"_s} << 2 << "a.pdf: it holds a PDF"_ba << QString();
    // What `pelmora-extract *` becomes with a file named "-o" there.
    QTest::newRow("a glob over a file named -o")
        << QStringList{u"-o"_s, u"a.pdf"_s, u"b.pdf"_s, u"list.txt"_s} << 2 << "Put \"--\" before them"_ba
        << QString();
    QTest::newRow("a new PDF's name")
        << QStringList{u"-o"_s, u"new.PDF"_s, u"a.pdf"_s} << 2 << "its name ends in .pdf"_ba << QString();
    QTest::newRow("forced: a new PDF's name")
        << QStringList{u"--force-output"_s, u"-o"_s, u"new.pdf"_s, u"a.pdf"_s} << 0 << ""_ba << u"new.pdf"_s;
    QTest::newRow("forced, yet an input")
        << QStringList{u"--force-output"_s, u"-o"_s, u"b.pdf"_s, u"a.pdf"_s, u"b.pdf"_s} << 2
        << "b.pdf: that file is the input b.pdf"_ba << QString();
    QTest::newRow("an input found in a folder")
        << QStringList{u"--all-files"_s, u"-o"_s, u"list.txt"_s, u"."_s} << 2
        << "that file is the input ./list.txt"_ba << QString();
    QTest::newRow("a hard link of an input")
        << QStringList{u"-o"_s, u"old.txt"_s, u"a.pdf"_s, u"list.txt"_s} << 2
        << "old.txt: that file is the input list.txt"_ba << QString();
    QTest::newRow("a part to merge") << QStringList{u"--merge"_s, u"-o"_s, u"part.jsonl"_s, u"part.jsonl"_s}
                                     << 2 << "that file is the input part.jsonl"_ba << QString();
    QTest::newRow("the list of files")
        << QStringList{u"-o"_s, u"names.txt"_s, u"--files-from"_s, u"names.txt"_s} << 2
        << "names.txt: that file is the input names.txt"_ba << QString();
    QTest::newRow("the password file")
        << QStringList{u"-o"_s, u"pw.txt"_s, u"--password-file"_s, u"pw.txt"_s, u"a.pdf"_s} << 2
        << "pw.txt: that file is the input pw.txt"_ba << QString();
    QTest::newRow("a list of domains")
        << QStringList{u"-o"_s, u"domains.txt"_s, u"--exclude-domain"_s, u"@domains.txt"_s, u"a.pdf"_s} << 2
        << "domains.txt: that file is the input domains.txt"_ba << QString();
    QTest::newRow("a list of domains, merging")
        << QStringList{u"--merge"_s, u"-o"_s, u"domains.txt"_s, u"--only-domain=@domains.txt"_s,
                       u"part.jsonl"_s}
        << 2 << "domains.txt: that file is the input domains.txt"_ba << QString();
    QTest::newRow("-- before the names") << QStringList{u"-o"_s, u"list.txt"_s, u"--"_s, u"-o"_s, u"a.pdf"_s}
                                         << 1 << "\n-o  - damaged or not a PDF file.\n"_ba << u"list.txt"_s;
}

void TestExtractCommand::outputIsNeverAnInputOrAPdf()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, said);
    QFETCH(QString, written);
    QTemporaryDir folder;
    const QByteArray pdf = test::readFile(data("contacts-1.pdf"));
    const QMap<QString, QByteArray> before{{u"a.pdf"_s, pdf},
                                           {u"b.pdf"_s, pdf},
                                           {u"-o"_s, ""},
                                           {u"list.txt"_s, "old@example.com\n"},
                                           {u"names.txt"_s, "a.pdf\n"},
                                           {u"pw.txt"_s, "secret\n"},
                                           {u"domains.txt"_s, "example.org\n"},
                                           {u"part.jsonl"_s,
                                            R"({"address":"a@b.cd","file":"x.pdf","page":1,"count":1})"
                                            "\n"}};
    for (auto each = before.cbegin(); each != before.cend(); ++each)
        QVERIFY(test::writeFile(folder.filePath(each.key()), each.value()));
    QCOMPARE(::link(QFile::encodeName(folder.filePath(u"list.txt"_s)).constData(),
                    QFile::encodeName(folder.filePath(u"old.txt"_s)).constData()),
             0);

    const CommandResult result = runCommand(arguments, {}, folder.path());
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains(said), result.err.constData());
    for (auto each = before.cbegin(); each != before.cend(); ++each) {
        if (each.key() != written)
            QCOMPARE(test::readFile(folder.filePath(each.key())), each.value());
    }
    if (!written.isEmpty())
        QVERIFY(test::readFile(folder.filePath(written)).contains("support@acme.com"));
    else
        QVERIFY(!QFile::exists(folder.filePath(u"new.pdf"_s)) &&
                !QFile::exists(folder.filePath(u"new.PDF"_s)));
}

void TestExtractCommand::failedWritesToStandardOutputEndWithStatus2_data()
{
    // Into /dev/full every write fails, as on a full disk: each format, streamed or
    // written at the end, and the merge say so and end with 2.
    QTest::addColumn<QStringList>("arguments");
    for (const QString &format : {u"lines"_s, u"comma"_s, u"csv"_s, u"jsonl"_s})
        QTest::addRow("%s", qPrintable(format)) << QStringList{u"--format"_s, format, data("contacts-1.pdf")};
    const QString part = m_temp.filePath(u"full-part.jsonl"_s);
    QVERIFY(test::writeFile(part, R"({"address":"a@b.cd","file":"x.pdf","page":1,"count":1,"via":"text"})"
                                  "\n"));
    QTest::newRow("merge") << QStringList{u"--merge"_s, part};
}

void TestExtractCommand::failedWritesToStandardOutputEndWithStatus2()
{
    QFETCH(QStringList, arguments);
    const CommandResult result = runCommand(arguments, {}, {}, u"/dev/full"_s);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.contains("pelmora-extract: the results cannot be written to standard output: "),
             result.err.constData());
    // With somewhere to write, the same run succeeds.
    QCOMPARE(runCommand(arguments).status, 0);
}

void TestExtractCommand::walksStayInsideAndNameWhatTheyCannotRead()
{
    // A tree with a link to "/" (as an unpacked archive may hold), a link to a PDF outside
    // it, a link to a PDF inside, a name with a line break and a terminal escape, and
    // files past the system's path limit: nothing outside is read, every file the run
    // could not read is named on one line of its own, and the status says so.
    test::FolderTree tree;
    test::FolderTree outside;
    QVERIFY(tree.dirs({u"in/deep"_s}));
    QVERIFY(test::writeFile(tree.path(u"in/a.pdf"_s), test::readFile(data("contacts-1.pdf"))));
    QVERIFY(test::writeFile(tree.path(u"in/odd\n\x1b[31mname.pdf"_s), "not a PDF"));
    QVERIFY(test::writeFile(outside.path(u"secret.pdf"_s), test::readFile(data("long.pdf"))));
    QVERIFY(tree.link(u"/"_s, u"in/root"_s));
    QVERIFY(tree.link(outside.path(u"secret.pdf"_s), u"in/secret.pdf"_s));
    QVERIFY(tree.link(u"a.pdf"_s, u"in/again.pdf"_s));
    QVERIFY(tree.deepChain(u"in/deep"_s, "f.pdf") > 0);

    const CommandResult inside = runCommand({u"--no-cache"_s, u"--format"_s, u"csv"_s, tree.path(u"in"_s)});
    QCOMPARE(inside.status, 1);
    QVERIFY(!inside.out.contains("@example.com,")); // none of secret.pdf's page@example.com
    const QList<QStringList> rows = csvRecords(inside.out);
    QVERIFY(rows.size() > 1);
    for (const QStringList &row : rows.mid(1))
        QVERIFY2(row[1] == tree.path(u"in/a.pdf"_s), qPrintable(row[1]));
    const QList<QByteArray> said = inside.err.split('\n');
    QVERIFY2(said.contains(
                 QFile::encodeName(tree.path(u"in/odd\\n\\x1b[31mname.pdf  - damaged or not a PDF file."_s))),
             inside.err.constData());
    QVERIFY(!inside.err.contains('\x1b'));
    const QByteArray tooLong = "  - cannot be read: the path is longer than the system opens (" +
                               QByteArray::number(PATH_MAX - 1) + " bytes).";
    QVERIFY2(inside.err.contains(tooLong), inside.err.constData());

    // Asked to follow links, it takes the PDF outside too (the link to "/" gone first).
    QVERIFY(QFile::remove(tree.path(u"in/root"_s)));
    const CommandResult followed = runCommand({u"--no-cache"_s, u"--follow-links"_s, tree.path(u"in"_s)});
    QCOMPARE(followed.status, 1);
    QVERIFY(followed.out.contains("page150@example.com\n"));
}

void TestExtractCommand::mergeRefusesForgedParts_data()
{
    // Parts, each its lines; what the merge says, with status 2 and nothing on standard
    // output. No run writes such rows, so they are refused, not printed.
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<QByteArray>("said");
    const auto row = [](const QByteArray &address, const QByteArray &page, const QByteArray &count,
                        const QByteArray &file = "/d/a.pdf") -> QByteArray {
        return "{\"address\":\"" + address + "\",\"file\":\"" + file + "\",\"page\":" + page +
               ",\"count\":" + count + ",\"via\":\"text\"}\n";
    };
    const QByteArray good = row("a@b.cd", "1", "1");
    QTest::newRow("a line break in the address")
        << QList<QByteArray>{row("a\\nb@b.cd", "1", "1")} << "line 1 holds no address: \"a\\nb@b.cd\""_ba;
    QTest::newRow("no at-sign") << QList<QByteArray>{good + row("nobody", "1", "1")}
                                << "line 2 holds no address"_ba;
    QTest::newRow("empty address") << QList<QByteArray>{good + "\n" + row("", "1", "1")}
                                   << "line 3 holds no address"_ba;
    QTest::newRow("negative page") << QList<QByteArray>{row("a@b.cd", "-1", "1")}
                                   << "line 1 has a page or count no run gives (-1, 1)"_ba;
    QTest::newRow("no count") << QList<QByteArray>{row("a@b.cd", "1", "0")} << "(1, 0)"_ba;
    QTest::newRow("a page past any run's")
        << QList<QByteArray>{row("a@b.cd", "2147483647", "1")} << "(2147483647, 1)"_ba;
    QTest::newRow("a fraction") << QList<QByteArray>{row("a@b.cd", "1.5", "1")}
                                << "is not an address written"_ba;
    QTest::newRow("a NUL in the name") << QList<QByteArray>{row("a@b.cd", "1", "1", "/d/\\u0000.pdf")}
                                       << "line 1 names no file a run could read"_ba;
    QTest::newRow("counts that overflow")
        << QList<QByteArray>{row("a@b.cd", "1", "1073741824"), row("A@b.cd", "1", "1073741824"),
                             row("a@B.cd", "1", "1073741824")}
        << "line 1 adds a count past 2147483647 to A@b.cd"_ba;
    QTest::newRow("a line without end")
        << QList<QByteArray>{QByteArray(100 * 1024, 'x')} << "line 1 is longer than any row of results"_ba;
}

void TestExtractCommand::mergeRefusesForgedParts()
{
    QFETCH(QList<QByteArray>, parts);
    QFETCH(QByteArray, said);
    QTemporaryDir folder;
    QStringList arguments{u"--merge"_s};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        arguments.append(folder.filePath(u"part%1.jsonl"_s.arg(i)));
        QVERIFY(test::writeFile(arguments.last(), parts[i]));
    }
    const CommandResult merged = runCommand(arguments);
    QCOMPARE(merged.status, 2);
    QVERIFY2(merged.err.contains(said), merged.err.constData());
    QCOMPARE(merged.err.count('\n'), 1);
    QCOMPARE(merged.out, QByteArray());
    // A part given twice, under any name, would count twice.
    const QString good = folder.filePath(u"good.jsonl"_s);
    QVERIFY(test::writeFile(good, R"({"address":"a@b.cd","file":"x.pdf","page":1,"count":1,"via":"text"})"
                                  "\n"));
    const CommandResult twice = runCommand({u"--merge"_s, good, folder.path() + u"/./good.jsonl"_s});
    QCOMPARE(twice.status, 2);
    QVERIFY2(twice.err.contains("are given twice"), twice.err.constData());
}

void TestExtractCommand::mergeTakesWhatRunsWrite()
{
    // Any name a run reads is one its parts may hold: a TAB or an escape among them.
    QTemporaryDir folder;
    const QString pdf = folder.filePath(u"tab\there \x1b[2J.pdf"_s);
    QVERIFY(QFile::copy(data("contacts-1.pdf"), pdf));
    const QString part = folder.filePath(u"part.jsonl"_s);
    QCOMPARE(runCommand({u"--format"_s, u"jsonl"_s, u"-o"_s, part, pdf}).status, 0);
    const CommandResult merged = runCommand({u"--merge"_s, u"--format"_s, u"jsonl"_s, part});
    QCOMPARE(merged.status, 0);
    QCOMPARE(merged.out, test::readFile(part));
}

void TestExtractCommand::hiddenAreLeftOutAndCounted()
{
    // Every name is read but hidden ones, as ripgrep and fd leave them: counted, and read on request.
    test::FolderTree tree;
    QVERIFY(tree.dirs({u"in/tab\tdir"_s, u"in/.hidden"_s}));
    QVERIFY(tree.files(
        {u"in/a.pdf"_s, u"in/~x.pdf"_s, u"in/tab\tdir/t.pdf"_s, u"in/.h.pdf"_s, u"in/.hidden/h.pdf"_s}));
    const auto named = [&](const CommandResult &result) {
        QStringList files;
        for (const QByteArray &line : result.err.split('\n')) {
            if (line.endsWith("  - damaged or not a PDF file."))
                files += tree.relative({QString::fromUtf8(line.chopped(30))});
        }
        return files;
    };
    const CommandResult usual = runCommand({u"--no-cache"_s, tree.path(u"in"_s)});
    QCOMPARE(usual.status, 1);
    QCOMPARE(named(usual), (QStringList{u"in/a.pdf"_s, u"in/~x.pdf"_s, u"in/tab\\tdir/t.pdf"_s}));
    QVERIFY2(
        usual.err.endsWith("pelmora-extract: 2 hidden files or folders (names beginning with \".\") were "
                           "left out; --hidden reads them.\n"),
        usual.err.constData());
    QVERIFY(!runCommand({u"-q"_s, u"--no-cache"_s, tree.path(u"in"_s)}).err.contains("hidden files"));
    const CommandResult all = runCommand({u"--hidden"_s, u"--no-cache"_s, tree.path(u"in"_s)});
    QCOMPARE(named(all), (QStringList{u"in/.h.pdf"_s, u"in/a.pdf"_s, u"in/~x.pdf"_s, u"in/.hidden/h.pdf"_s,
                                      u"in/tab\\tdir/t.pdf"_s}));
    QVERIFY(!all.err.contains("hidden files"));
}

void TestExtractCommand::listsReadAreBounded_data()
{
    // Lists that never end, or are longer than a run takes: a message and status 2, never
    // all memory taken.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("said");
    const QString pdf = data("contacts-1.pdf");
    QTest::newRow("passwords of /dev/zero")
        << QStringList{u"--password-file"_s, u"/dev/zero"_s, pdf}
        << "The password file /dev/zero has an entry longer than 4096 bytes (entry 1)"_ba;
    QTest::newRow("files of /dev/zero") << QStringList{u"--files-from"_s, u"/dev/zero"_s}
                                        << "The list of files /dev/zero has an entry longer than"_ba;
    QTest::newRow("files of /dev/zero, --null")
        << QStringList{u"--files-from"_s, u"/dev/zero"_s, u"--null"_s}
        << "The list of files /dev/zero holds more than 10000000 names"_ba;
    QTest::newRow("patterns of /dev/zero") << QStringList{u"--exclude-domain"_s, u"@/dev/zero"_s, pdf}
                                           << "The list of domains /dev/zero has an entry longer than"_ba;
    QByteArray many;
    for (int i = 0; i <= 100000; ++i)
        many += QByteArray::number(i) + '\n';
    QVERIFY(test::writeFile(m_temp.filePath(u"many.txt"_s), many));
    QTest::newRow("a hundred thousand passwords and one")
        << QStringList{u"--password-file"_s, m_temp.filePath(u"many.txt"_s), pdf}
        << "many.txt holds more than 100000 lines, the most one run takes"_ba;
}

void TestExtractCommand::listsReadAreBounded()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, said);
    const CommandResult result = runCommand(arguments);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.contains(said), result.err.constData());
    QCOMPARE(result.err.count('\n'), 1);
    QCOMPARE(result.out, QByteArray());
}

QTEST_MAIN(TestExtractCommand)
#include "tst_extractcommand.moc"
