// pelmora-convert --serve recognising pages without text (both engines render them):
// which pages, what text, the 'R' frames, addresses voted on and the unsure ones ('U'),
// languages that are not installed, one tesseract instance for many requests,
// --ocr-languages, and OMP_THREAD_LIMIT. Tesseract reads a language folder made here, so
// the results do not depend on the languages a machine has installed.
#include "TestData.h"
#include "WorkerSession.h"
#include "extract/AddressExtraction.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;
using protocol::Outcome;

namespace {

const QString kScanAndText = u"ocr/scan-and-text.pdf"_s;
// The last behind a footnote's raised dagger, which no reading may take for a letter.
const QStringList kScanAddresses{u"orders@scanned-example.com"_s, u"help.desk@example.org"_s,
                                 u"ledger@example.net"_s, u"ada.lund@footnotes.example.org"_s};

QByteArray dataPath(const QString &name)
{
    return QFile::encodeName(test::dataFile(name));
}

QStringList addressesOf(const QByteArray &text)
{
    SeenAddresses seen;
    return ExtractEmailToArray(text, seen, {});
}

QByteArray pdftotextPage(const QString &name, int page)
{
    const QString number = QString::number(page);
    return test::RunConverter(u"pdftotext"_s,
                              {u"-f"_s, number, u"-l"_s, number, test::dataFile(name), u"-"_s})
        .text;
}

// The folder Debian's tesseract reads, unless TESSDATA_PREFIX names another.
bool makeFile(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).path()) && test::writeFile(path, {});
}

// One page of 125 x 125 inches with a black square and no text: at 300 dpi its grey
// picture alone would take 1.4 GB. (poppler refuses pictures past 2 GB by itself.)
QByteArray hugePagePdf()
{
    const QList<QByteArray> objects{"<</Type/Catalog/Pages 2 0 R>>", "<</Type/Pages/Count 1/Kids[3 0 R]>>",
                                    "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9000 9000]/Contents 4 0 R>>",
                                    "<</Length 29>>\nstream\n0 0 0 rg 100 100 200 200 re f\nendstream"};
    return test::PdfOfObjects(objects);
}

// A value from /proc/PID/status, in kB; -1 when absent.
qint64 statusKb(qint64 pid, const QByteArray &key)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(key + ':')))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QList<QByteArray> procList(qint64 pid, const char *what)
{
    QFile file(u"/proc/%1/%2"_s.arg(pid).arg(QLatin1StringView(what)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> items = file.readAll().split('\0');
    if (!items.isEmpty() && items.back().isEmpty())
        items.removeLast();
    return items;
}

} // namespace

class TestWorkerOcr : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void recognisesPagesWithoutText_data();
    void recognisesPagesWithoutText();
    void addressesVotedOn_data();
    void addressesVotedOn();
    void languagesNotInstalled_data();
    void languagesNotInstalled();
    void brokenLanguageDataLeavesThePage();
    void oneTesseractForManyRequests();
    void hugePageStaysBounded_data();
    void hugePageStaysBounded();
    void outputHoldsFramesOnly_data();
    void outputHoldsFramesOnly();
    void librariesCannotWriteToTheFrames_data();
    void librariesCannotWriteToTheFrames();
    void listsInstalledLanguages_data();
    void listsInstalledLanguages();
    void listsTheSystemsEnglish();
    void workerRunsWithOneOpenMpThread_data();
    void workerRunsWithOneOpenMpThread();

private:
    QProcessEnvironment environment(const QString &tessdata) const;

    QTemporaryDir m_dir;
    QString m_tessdata; // eng, eng2 (the same data under another name), osd, broken
    test::WorkerSession m_worker;
    test::WorkerSession m_mupdfWorker{u"mupdf"_s};
};

QProcessEnvironment TestWorkerOcr::environment(const QString &tessdata) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TESSDATA_PREFIX"_s, tessdata);
    return environment;
}

void TestWorkerOcr::initTestCase()
{
    const QString eng = test::SystemTessdata() + u"/eng.traineddata"_s;
    if (!QFile::exists(eng))
        QFAIL(qPrintable(eng + u" is missing (package tesseract-ocr-eng)"_s));
    QVERIFY(m_dir.isValid());
    m_tessdata = m_dir.filePath(u"tessdata/"_s);
    QVERIFY(QDir().mkpath(m_tessdata));
    QVERIFY(QFile::link(eng, m_tessdata + u"eng.traineddata"_s));
    QVERIFY(QFile::link(eng, m_tessdata + u"eng2.traineddata"_s));
    QVERIFY(makeFile(m_tessdata + u"osd.traineddata"_s));
    QVERIFY(makeFile(m_tessdata + u"broken.traineddata"_s));
    for (test::WorkerSession *worker : {&m_worker, &m_mupdfWorker}) {
        worker->setEnvironment(environment(m_tessdata));
        QVERIFY(worker->start());
    }
}

void TestWorkerOcr::cleanupTestCase()
{
    QCOMPARE(m_worker.finish(), 0);
    QCOMPARE(m_mupdfWorker.finish(), 0);
}

void TestWorkerOcr::recognisesPagesWithoutText_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("languages");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<int>>("recognised");
    QTest::addColumn<QStringList>("addresses"); // of each recognised page
    const QList<int> none;
    for (const QString &engine : test::EngineNames()) {
        QTest::addRow("%s, scan page, default language", qPrintable(engine))
            << engine << kScanAndText << QByteArray("o") << QByteArray() << 0 << 0 << QList<int>{1}
            << kScanAddresses;
        QTest::addRow("%s, eng named", qPrintable(engine))
            << engine << kScanAndText << QByteArray("o") << QByteArray("eng") << 0 << 0 << QList<int>{1}
            << kScanAddresses;
        QTest::addRow("%s, with links", qPrintable(engine))
            << engine << kScanAndText << QByteArray("lo") << QByteArray("eng+") << 0 << 0 << QList<int>{1}
            << kScanAddresses;
        QTest::addRow("%s, scan page alone", qPrintable(engine))
            << engine << kScanAndText << QByteArray("o") << QByteArray() << 1 << 1 << QList<int>{1}
            << kScanAddresses;
        QTest::addRow("%s, text page alone", qPrintable(engine))
            << engine << kScanAndText << QByteArray("o") << QByteArray() << 2 << 2 << none << QStringList();
        QTest::addRow("%s, not asked", qPrintable(engine))
            << engine << kScanAndText << QByteArray() << QByteArray() << 0 << 0 << none << QStringList();
        QTest::addRow("%s, not asked, languages ignored", qPrintable(engine))
            << engine << kScanAndText << QByteArray("l") << QByteArray("deu") << 0 << 0 << none
            << QStringList();
        QTest::addRow("%s, 100 dpi scan", qPrintable(engine))
            << engine << u"scanned.pdf"_s << QByteArray("o") << QByteArray() << 0 << 0 << QList<int>{1}
            << QStringList{u"scan@example.com"_s};
        QTest::addRow("%s, text file", qPrintable(engine)) << engine << u"contacts-1.pdf"_s << QByteArray("o")
                                                           << QByteArray() << 0 << 0 << none << QStringList();
    }
}

void TestWorkerOcr::recognisesPagesWithoutText()
{
    QFETCH(QString, engine);
    QFETCH(QString, name);
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, languages);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QList<int>, recognised);
    QFETCH(QStringList, addresses);
    test::WorkerSession &worker = engine == u"mupdf"_s ? m_mupdfWorker : m_worker;
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(dataPath(name), {}, first, last, options, languages));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, Outcome::Text);
    QVERIFY(answer->opened.pageCount > 0);
    QList<int> seen;
    for (const test::PageAnswer &page : answer->pages) {
        const QString where = u"page %1"_s.arg(page.page);
        if (recognised.contains(page.page)) {
            seen << page.page;
            QCOMPARE(page.recognising, 1);
            QCOMPARE(page.recognisingOf, answer->opened.pageCount);
            QCOMPARE(addressesOf(page.text), addresses);
            // The shape of converted text: LF line ends, one form feed, at the end.
            QCOMPARE(page.text.count('\f'), 1);
            QVERIFY2(page.text.endsWith("\n\f"), qPrintable(where));
            QVERIFY2(!page.text.endsWith("\n\n\f"), qPrintable(where));
            QVERIFY2(!page.text.contains('\r'), qPrintable(where));
        } else {
            QCOMPARE(page.recognising, 0);
            // MuPDF's text may come in another order, but with the same addresses.
            if (engine == u"poppler"_s)
                QCOMPARE(page.text, pdftotextPage(name, page.page));
            else
                QCOMPARE(addressesOf(page.text), addressesOf(pdftotextPage(name, page.page)));
        }
    }
    QCOMPARE(seen, recognised);
}

void TestWorkerOcr::addressesVotedOn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("addresses"); // in the page's text, in order
    QTest::addColumn<QStringList>("unsure");    // the domains of the unsure ones, in order
    QTest::newRow("a clean letter, read exactly")
        << u"scanned-letter.pdf"_s
        << QStringList{u"sales2024@acme-co.net"_s, u"john.smith45@mail24.example.com"_s,
                       u"o.lindqvist@ex4mple.org"_s, u"support7@k2-systems.example.com"_s}
        << QStringList();
    // The readings differ on the second line: a space inside "onovak1049", a "1" that
    // only some see in "okafor51".
    QTest::newRow("readings that disagree")
        << u"ocr/disputed.pdf"_s << QStringList{u"milo.f10ri50@mx6.isola-group.com"_s}
        << QStringList{u"goldl3af.ch"_s, u"stonebridge.co.uk"_s};
}

void TestWorkerOcr::addressesVotedOn()
{
    QFETCH(QString, name);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, unsure);
    const std::optional<test::WorkerAnswer> answer =
        m_worker.ask(test::Request(dataPath(name), {}, 0, 0, "o"));
    QVERIFY(answer);
    QCOMPARE(answer->pages.size(), std::size_t(1));
    const test::PageAnswer &page = answer->pages.front();
    QCOMPARE(addressesOf(page.text), addresses);
    QStringList domains;
    for (const QByteArray &address : page.unsure) {
        // Left out of the text, not merely listed beside it.
        QVERIFY2(!page.text.contains(address), address.constData());
        domains << QString::fromUtf8(address.sliced(address.indexOf('@') + 1));
    }
    QCOMPARE(domains, unsure);
}

void TestWorkerOcr::languagesNotInstalled_data()
{
    QTest::addColumn<QByteArray>("languages");
    QTest::addColumn<QStringList>("named"); // in the message
    QTest::addColumn<QStringList>("notNamed");
    QTest::newRow("deu") << QByteArray("deu") << QStringList{u"deu"_s, u"tesseract-ocr-deu"_s}
                         << QStringList{u"tesseract-ocr-eng"_s};
    QTest::newRow("eng+deu") << QByteArray("eng+deu") << QStringList{u"tesseract-ocr-deu"_s}
                             << QStringList{u"tesseract-ocr-eng"_s};
    QTest::newRow("two missing") << QByteArray("fra+eng+chi_sim")
                                 << QStringList{u"tesseract-ocr-fra"_s, u"tesseract-ocr-chi-sim"_s}
                                 << QStringList{u"tesseract-ocr-eng"_s};
    QTest::newRow("a folder's language")
        << QByteArray("script/Latin") << QStringList{u"script/Latin"_s, u"tesseract-ocr-script-latn"_s}
        << QStringList();
    QTest::newRow("a path") << QByteArray("eng+../tessdata/eng") << QStringList{u"../tessdata/eng"_s}
                            << QStringList{u"tesseract-ocr-eng"_s};
}

void TestWorkerOcr::languagesNotInstalled()
{
    QFETCH(QByteArray, languages);
    QFETCH(QStringList, named);
    QFETCH(QStringList, notNamed);
    const std::optional<test::WorkerAnswer> answer =
        m_worker.ask(test::Request(dataPath(kScanAndText), {}, 0, 0, "o", languages));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, Outcome::Error);
    QCOMPARE(answer->opened.pageCount, 0);
    const QString message = QString::fromStdString(answer->opened.detail);
    for (const QString &part : named)
        QVERIFY2(message.contains(part), qPrintable(message));
    for (const QString &part : notNamed)
        QVERIFY2(!message.contains(part), qPrintable(message));
    // The worker goes on serving.
    const std::optional<test::WorkerAnswer> next = m_worker.ask(test::Request(dataPath(kScanAndText)));
    QVERIFY(next);
    QCOMPARE(next->opened.pageCount, 2);
}

void TestWorkerOcr::brokenLanguageDataLeavesThePage()
{
    // Installed but unreadable: tesseract cannot start, so the page keeps its own text.
    test::WorkerSession worker;
    worker.setEnvironment(environment(m_tessdata));
    QVERIFY(worker.start());
    for (int round = 0; round < 2; ++round) {
        const std::optional<test::WorkerAnswer> answer =
            worker.ask(test::Request(dataPath(kScanAndText), {}, 0, 0, "o", "broken"));
        QVERIFY(answer);
        QCOMPARE(answer->opened.outcome, Outcome::Text);
        QCOMPARE(answer->pages.size(), std::size_t(2));
        QCOMPARE(answer->pages[0].recognising, 1);
        QCOMPARE(answer->pages[0].text, QByteArray("\f"));
        QCOMPARE(answer->pages[1].text, pdftotextPage(kScanAndText, 2));
    }
    const std::optional<test::WorkerAnswer> english =
        worker.ask(test::Request(dataPath(kScanAndText), {}, 1, 1, "o", "eng"));
    QVERIFY(english);
    QCOMPARE(addressesOf(english->text()), kScanAddresses);
    QCOMPARE(worker.finish(), 0);
    // Tried once for the broken data, not again for the second file.
    const QByteArray errors = worker.standardError();
    QCOMPARE(errors.count("could not start with broken"), 1);
    QCOMPARE(errors.count("started with eng (instance 1)"), 1);
}

void TestWorkerOcr::oneTesseractForManyRequests()
{
    test::WorkerSession worker;
    worker.setEnvironment(environment(m_tessdata));
    QVERIFY(worker.start());
    struct Step
    {
        QByteArray options;
        QByteArray languages;
        Outcome outcome;
    };
    const QList<Step> steps{
        {"o", "", Outcome::Text},     {"o", "eng", Outcome::Text},  {"", "", Outcome::Text},
        {"o", "deu", Outcome::Error}, {"o", "eng+", Outcome::Text}, {"o", "eng2", Outcome::Text},
        {"o", "eng2", Outcome::Text}, {"o", "eng", Outcome::Text},
    };
    for (const Step &step : steps) {
        const std::optional<test::WorkerAnswer> answer =
            worker.ask(test::Request(dataPath(kScanAndText), {}, 1, 1, step.options, step.languages));
        QVERIFY(answer);
        QCOMPARE(answer->opened.outcome, step.outcome);
        if (step.outcome == Outcome::Text)
            QCOMPARE(addressesOf(answer->text()), step.options.isEmpty() ? QStringList() : kScanAddresses);
    }
    QCOMPARE(worker.finish(), 0);
    // One instance for eng, one when eng2 is asked, one more when eng comes back; and
    // nothing of tesseract's own on standard error.
    const QList<QByteArray> lines = worker.standardError().trimmed().split('\n');
    const QRegularExpression started(
        u"^pelmora-convert: tesseract \\S+ started with (\\S+) \\(instance (\\d+)\\)$"_s);
    QStringList made;
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch match = started.match(QString::fromUtf8(line));
        QVERIFY2(match.hasMatch(), line.constData());
        made << match.captured(1) + u' ' + match.captured(2);
    }
    QCOMPARE(made, (QStringList{u"eng 1"_s, u"eng2 2"_s, u"eng 3"_s}));
}

void TestWorkerOcr::hugePageStaysBounded_data()
{
    test::EngineRows();
}

void TestWorkerOcr::hugePageStaysBounded()
{
    QFETCH(QString, engine);
    const QString pdf = m_dir.filePath(u"huge.pdf"_s);
    QVERIFY(test::writeFile(pdf, hugePagePdf()));
    test::WorkerSession worker(engine);
    worker.setEnvironment(environment(m_tessdata));
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(QFile::encodeName(pdf), {}, 0, 0, "o"));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, Outcome::Text);
    QCOMPARE(answer->pages.size(), std::size_t(1));
    QCOMPARE(answer->pages[0].recognising, 1);
    QCOMPARE(answer->pages[0].text, QByteArray("\f"));
    // Rendered at 300 dpi the page alone would take 1.4 GB.
    const qint64 peakKb = statusKb(worker.pid(), "VmHWM");
    QVERIFY(peakKb > 0);
    QVERIFY2(peakKb < 1024 * 1024, qPrintable(u"peak %1 kB"_s.arg(peakKb)));
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOcr::outputHoldsFramesOnly_data()
{
    test::EngineRows();
}

void TestWorkerOcr::outputHoldsFramesOnly()
{
    QFETCH(QString, engine);
    // Whatever tesseract, leptonica, poppler or MuPDF print, standard output carries frames
    // alone.
    const QByteArray input = test::Request(dataPath(kScanAndText), {}, 0, 0, "o") +
                             test::Request(dataPath(kScanAndText), {}, 0, 0, "o", "../x") +
                             test::Request(dataPath(u"scanned.pdf"_s), {}, 0, 0, "o", "eng");
    const test::WholeRun run = test::RunWorker(input, engine);
    QCOMPARE(run.exitCode, 0);
    const test::ParsedAnswers parsed = test::ParseAnswers(run.output);
    QCOMPARE(parsed.problem, QString());
    QCOMPARE(parsed.rest, 0);
    QCOMPARE(parsed.answers.size(), std::size_t(3));
    QCOMPARE(addressesOf(parsed.answers[0].text()), kScanAddresses + QStringList{u"typed@example.com"_s});
    QCOMPARE(parsed.answers[1].opened.outcome, Outcome::Error);
    QCOMPARE(addressesOf(parsed.answers[2].text()), QStringList{u"scan@example.com"_s});
}

void TestWorkerOcr::librariesCannotWriteToTheFrames_data()
{
    test::EngineRows();
}

void TestWorkerOcr::librariesCannotWriteToTheFrames()
{
    QFETCH(QString, engine);
    // Descriptor 1, where tesseract, leptonica or MuPDF might print, is standard error's
    // pipe; the frames travel on a copy of the pipe the worker was given as standard output.
    test::WorkerSession worker(engine);
    worker.setEnvironment(environment(m_tessdata));
    QVERIFY(worker.start());
    QVERIFY(worker.ask(test::Request(dataPath(kScanAndText), {}, 1, 1, "o")));
    const QString fds = u"/proc/%1/fd/"_s.arg(worker.pid());
    const QString one = QFileInfo(fds + u"1"_s).symLinkTarget();
    QVERIFY(one.contains(u"pipe:"_s));
    QCOMPARE(one, QFileInfo(fds + u"2"_s).symLinkTarget());
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOcr::listsInstalledLanguages_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QStringList>("files"); // made empty in the folder
    QTest::addColumn<QByteArray>("listed");
    QTest::addColumn<int>("status");
    QTest::newRow("eng, osd left out")
        << true << QStringList{u"osd.traineddata"_s, u"eng.traineddata"_s} << QByteArray("eng\n") << 0;
    QTest::newRow("sorted, subfolders, other files ignored")
        << true
        << QStringList{u"zul.traineddata"_s,
                       u"eng.traineddata"_s,
                       u"script/Latin.traineddata"_s,
                       u"deu.traineddata.bak"_s,
                       u"configs/digits"_s,
                       u".traineddata"_s,
                       u"pdf.ttf"_s,
                       u"osd.traineddata"_s,
                       u"chi_sim.traineddata"_s}
        << QByteArray("chi_sim\neng\nscript/Latin\nzul\n") << 0;
    QTest::newRow("only osd") << true << QStringList{u"osd.traineddata"_s} << QByteArray() << 1;
    QTest::newRow("empty folder") << true << QStringList() << QByteArray() << 1;
    QTest::newRow("no folder") << false << QStringList() << QByteArray() << 1;
}

void TestWorkerOcr::listsInstalledLanguages()
{
    QFETCH(bool, folder);
    QFETCH(QStringList, files);
    QFETCH(QByteArray, listed);
    QFETCH(int, status);
    const QString path = m_dir.filePath(u"list-%1/"_s.arg(QString::fromLatin1(QTest::currentDataTag())));
    if (folder) {
        QVERIFY(QDir().mkpath(path));
        for (const QString &file : files)
            QVERIFY(makeFile(path + file));
    }
    const test::Conversion run =
        test::RunConverter(test::ServiceProgram(), {u"--ocr-languages"_s}, environment(path));
    QCOMPARE(run.exitCode, status);
    QCOMPARE(run.text, listed);
    if (status != 0) {
        QVERIFY2(run.errors.contains("tesseract-ocr-eng"), run.errors.constData());
        QVERIFY2(run.errors.contains(QFile::encodeName(path)), run.errors.constData());
    }
}

void TestWorkerOcr::listsTheSystemsEnglish()
{
    const test::Conversion run = test::RunConverter(test::ServiceProgram(), {u"--ocr-languages"_s});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> languages = run.text.split('\n');
    QVERIFY2(languages.contains("eng"), run.text.constData());
    QVERIFY2(!languages.contains("osd"), run.text.constData());
    QVERIFY(run.text.endsWith('\n'));
}

void TestWorkerOcr::workerRunsWithOneOpenMpThread_data()
{
    QTest::addColumn<QString>("given"); // null: not set
    QTest::addColumn<QByteArray>("running");
    QTest::newRow("not set") << QString() << QByteArray("1");
    QTest::newRow("set empty") << u""_s << QByteArray("1");
    QTest::newRow("set by the program") << u"1"_s << QByteArray("1");
    QTest::newRow("set otherwise, kept") << u"2"_s << QByteArray("2");
}

void TestWorkerOcr::workerRunsWithOneOpenMpThread()
{
    QFETCH(QString, given);
    QFETCH(QByteArray, running);
    QProcessEnvironment environment = this->environment(m_tessdata);
    environment.remove(u"OMP_THREAD_LIMIT"_s);
    if (!given.isNull())
        environment.insert(u"OMP_THREAD_LIMIT"_s, given);
    test::WorkerSession worker;
    worker.setEnvironment(environment);
    QVERIFY(worker.start());
    // An answer means the worker serves: any restart is behind it.
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(dataPath(kScanAndText), {}, 1, 1, "o"));
    QVERIFY(answer);
    QCOMPARE(addressesOf(answer->text()), kScanAddresses);
    const QList<QByteArray> variables = procList(worker.pid(), "environ");
    QCOMPARE(variables.count("OMP_THREAD_LIMIT=" + running), 1);
    QCOMPARE(std::count_if(variables.begin(), variables.end(),
                           [](const QByteArray &v) { return v.startsWith("OMP_THREAD_LIMIT="); }),
             1);
    QCOMPARE(procList(worker.pid(), "cmdline"),
             (QList<QByteArray>{QFile::encodeName(test::ServiceProgram()), "--serve"}));
    QCOMPARE(worker.finish(), 0);
}

QTEST_GUILESS_MAIN(TestWorkerOcr)
#include "tst_workerocr.moc"
