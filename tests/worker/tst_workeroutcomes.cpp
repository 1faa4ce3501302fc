// pelmora-convert --serve and its MuPDF twin: what each kind of input answers, requests
// in a row on one worker, mailto: links, broken requests, and a worker never outliving
// its parent.
#include "TestData.h"
#include "WorkerSession.h"
#include "core/DrawnUnderscore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;
using protocol::Outcome;

Q_DECLARE_METATYPE(pelmora::protocol::Outcome)

namespace {

QByteArray dataPath(const char *name)
{
    return QFile::encodeName(test::dataFile(QString::fromUtf8(name)));
}

// True while the process exists and has not ended (a zombie has ended).
bool isAlive(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

} // namespace

class TestWorkerOutcomes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void outcomes_data();
    void outcomes();
    void requestsInARowOnOneWorker_data();
    void requestsInARowOnOneWorker();
    void fontsDescribedAlikeReadAlike_data();
    void fontsDescribedAlikeReadAlike();
    void mailtoLinks_data();
    void mailtoLinks();
    void annotationsShowTheirText_data();
    void annotationsShowTheirText();
    void recognitionLeavesTextPagesAlone_data();
    void recognitionLeavesTextPagesAlone();
    void pagesNotReadWholeAreNamed_data();
    void pagesNotReadWholeAreNamed();
    void smallPrintInBoundedMemory_data();
    void smallPrintInBoundedMemory();
    void brokenRequests_data();
    void brokenRequests();
    void endOfInputEndsTheWorker();
    void writeErrorsEndTheConversion_data();
    void writeErrorsEndTheConversion();
    void workerDiesWithItsParent_data();
    void workerDiesWithItsParent();

private:
    QTemporaryDir m_temp;
    QByteArray m_fifo;
    QByteArray m_oddName; // not valid UTF-8
};

void TestWorkerOutcomes::initTestCase()
{
    QVERIFY(m_temp.isValid());
    m_fifo = QFile::encodeName(m_temp.filePath(u"pipe.pdf"_s));
    QCOMPARE(::mkfifo(m_fifo.constData(), 0600), 0);
    // Latin-1 "é" and a stray continuation byte: no UTF-8 decoder takes this name.
    m_oddName = QFile::encodeName(m_temp.path()) + "/caf\xe9-\x80.pdf";
    QFile source(test::dataFile(u"contacts-2.pdf"_s));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    FILE *raw = std::fopen(m_oddName.constData(), "wb");
    QVERIFY(raw);
    QCOMPARE(std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), raw), std::size_t(bytes.size()));
    std::fclose(raw);
}

void TestWorkerOutcomes::cleanupTestCase()
{
    // QTemporaryDir cannot name what is not UTF-8.
    ::unlink(m_oddName.constData());
}

void TestWorkerOutcomes::outcomes_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QList<QByteArray>>("candidates");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("detail");   // poppler's error code for "damaged"; "*": any
    QTest::addColumn<QByteArray>("contains"); // in the text, for "text"

    const QList<QByteArray> none;
    for (const QString &engine : test::EngineNames()) {
        const bool poppler = engine == u"poppler"_s;
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", qPrintable(engine), name) << engine;
        };
        // poppler's errDamaged (3) and errOpenFile (1); MuPDF says what it could not read.
        const QByteArray damaged = poppler ? "3" : "*";
        const QByteArray notOpened = poppler ? "1" : "*";
        row("contacts") << dataPath("contacts-2.pdf") << none << Outcome::Text << QByteArray()
                        << QByteArray("partners@example.net");
        // MuPDF rebuilds the cross-reference table of the file cut in half and reads the
        // first page, which is whole; poppler gives up.
        if (poppler)
            row("cut in half") << dataPath("damaged.pdf") << none << Outcome::Damaged << damaged
                               << QByteArray();
        else
            row("cut in half") << dataPath("damaged.pdf") << none << Outcome::Text << QByteArray()
                               << QByteArray("intact@example.com");
        row("empty") << dataPath("empty.pdf") << none << Outcome::Damaged << damaged << QByteArray();
        row("not a PDF") << dataPath("notpdf.pdf") << none << Outcome::Damaged << damaged << QByteArray();
        row("missing") << dataPath("no-such-file.pdf") << none << Outcome::Damaged << notOpened
                       << QByteArray();
        row("empty path") << QByteArray() << none << Outcome::Damaged << notOpened << QByteArray();
        row("NUL inside the path") << dataPath("contacts-2.pdf") + QByteArray(1, '\0') + "x" << none
                                   << Outcome::Damaged << notOpened << QByteArray();
        row("FIFO") << m_fifo << none << Outcome::NotRegular << QByteArray() << QByteArray();
        row("folder") << QFile::encodeName(m_temp.path()) << none << Outcome::NotRegular << QByteArray()
                      << QByteArray();
        row("device") << QByteArray("/dev/zero") << none << Outcome::NotRegular << QByteArray()
                      << QByteArray();
        row("encrypted, no candidate")
            << dataPath("encrypted.pdf") << none << Outcome::NeedsPassword << QByteArray() << QByteArray();
        row("encrypted, wrong") << dataPath("encrypted.pdf") << QList<QByteArray>{"wrong"}
                                << Outcome::WrongPassword << QByteArray() << QByteArray();
        row("encrypted, wrong then right")
            << dataPath("encrypted.pdf") << QList<QByteArray>{"wrong", "secret"} << Outcome::Text
            << QByteArray() << QByteArray("vault@example.com");
        row("encrypted, empty candidate") << dataPath("encrypted.pdf") << QList<QByteArray>{""}
                                          << Outcome::WrongPassword << QByteArray() << QByteArray();
        row("restricted, wrong candidate")
            << dataPath("restricted.pdf") << QList<QByteArray>{"wrong"} << Outcome::Text << QByteArray()
            << QByteArray("readonly@example.com");
        row("owner password as candidate")
            << dataPath("identity/protected-aes256.pdf") << QList<QByteArray>{"identity-owner"}
            << Outcome::Text << QByteArray() << QByteArray("guarded@example.com");
        row("45-character user password")
            << dataPath("identity/protected-long.pdf")
            << QList<QByteArray>{"a-user-password-of-forty-five-characters-long"} << Outcome::Text
            << QByteArray() << QByteArray("guarded@example.com");
        // poppler overran a buffer on a candidate of 128 bytes or more and called the file
        // damaged before the right password came.
        row("encrypted, 60,000-byte candidate then right")
            << dataPath("encrypted.pdf") << QList<QByteArray>{QByteArray(60000, 'x'), "secret"}
            << Outcome::Text << QByteArray() << QByteArray("vault@example.com");
        row("RC4 password beyond ASCII")
            << dataPath("identity/protected-rc4.pdf") << QList<QByteArray>{"caf\xc3\xa9"} << Outcome::Text
            << QByteArray() << QByteArray("guarded@example.com");
        // pdftotext fails on both; neither may pass for a file read without an address.
        row("no pages") << dataPath("forged/no-pages.pdf") << none << Outcome::Damaged
                        << QByteArray("the file has no pages") << QByteArray();
        row("a billion pages counted over one") << dataPath("forged/forged-count.pdf") << none
                                                << Outcome::Damaged << QByteArray("*") << QByteArray();
        // Reached through MuPDF's page map, which must give back what it keeps of each page.
        row("one page tree node of 2,500 pages") << dataPath("bombs/flat-tree.pdf") << none << Outcome::Text
                                                 << QByteArray() << QByteArray("flat.tree@example.com");
        // A raised footnote digit is a word of its own, not the address's first letter:
        // poppler sets it on a line of its own, MuPDF's line keeps it with a space between.
        row("superscript digit before an address")
            << dataPath("words/superscripts.pdf") << none << Outcome::Text << QByteArray()
            << QByteArray(poppler ? "1\n\nfirst@example.com" : "1 first@example.com");
        // Letters set one by one out of order read as a reader sees them; a line printed
        // twice a third of a point apart is not read as its letters interleaved.
        row("letters drawn out of order") << dataPath("words/drawing-order.pdf") << none << Outcome::Text
                                          << QByteArray() << QByteArray("shuffled@example.com");
        row("a line drawn twice over itself") << dataPath("words/drawing-order.pdf") << none << Outcome::Text
                                              << QByteArray() << QByteArray("overprinted@example.org");
        // A rule in the gap between two words is an underscore in MuPDF's text, written as
        // U+E05F so that the program can name the repair (poppler's text keeps the space);
        // one that runs under the letters too is an underline.
        row("underscore drawn as a rule")
            << dataPath("words/drawn-underscore.pdf") << none << Outcome::Text << QByteArray()
            << (poppler ? "tobias wahl@example.org"_ba
                        : "tobias" + kDrawnUnderscoreUtf8.toByteArray() + "wahl@example.org");
        row("words underlined as one") << dataPath("words/drawn-underscore.pdf") << none << Outcome::Text
                                       << QByteArray() << QByteArray("under lined@example.net");
        // LaTeX's ulem underlines word by word, with a piece under each space too.
        row("words underlined one by one") << dataPath("words/drawn-underscore.pdf") << none << Outcome::Text
                                           << QByteArray() << QByteArray("Contact me at jane@example.com");
        // A page tree node that lists itself before its page: its page is read all the same.
        row("page tree listing itself before its page")
            << dataPath("forged/self-listing-with-page.pdf") << none << Outcome::Text << QByteArray()
            << QByteArray("listed.page@example.com");
        row("name not UTF-8") << m_oddName << none << Outcome::Text << QByteArray()
                              << QByteArray("partners@example.net");
    }
}

void TestWorkerOutcomes::outcomes()
{
    QFETCH(QString, engine);
    QFETCH(QByteArray, path);
    QFETCH(QList<QByteArray>, candidates);
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, detail);
    QFETCH(QByteArray, contains);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer = worker.ask(test::Request(path, candidates));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, outcome);
    if (detail == "*")
        QVERIFY(!answer->opened.detail.empty());
    else
        QCOMPARE(QByteArray::fromStdString(answer->opened.detail), detail);
    if (outcome == Outcome::Text) {
        QVERIFY(answer->opened.pageCount > 0);
        QVERIFY(answer->text().contains(contains));
    } else {
        QCOMPARE(answer->opened.pageCount, 0);
    }
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::requestsInARowOnOneWorker_data()
{
    test::EngineRows();
}

void TestWorkerOutcomes::requestsInARowOnOneWorker()
{
    // Each answer comes while the worker's input is still open, and the worker is the
    // same process throughout. A stop sent with a request ends its file after that page;
    // one that comes between files is late, and changes nothing of the next.
    QFETCH(QString, engine);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const qint64 pid = worker.pid();
    const auto stop = [](int page) { return QByteArray::fromStdString(protocol::EncodeStopAfter(page)); };
    const struct
    {
        QByteArray request;
        Outcome outcome;
        int pages;
        int delivered = -1; // the pages that come, when fewer than `pages`
    } steps[] = {
        {test::Request(dataPath("contacts-1.pdf")), Outcome::Text, 3},
        {test::Request(m_fifo), Outcome::NotRegular, 0},
        {test::Request(dataPath("long.pdf"), {}, 1, 100), Outcome::Text, 100},
        {test::Request(dataPath("encrypted.pdf")), Outcome::NeedsPassword, 0},
        {test::Request(dataPath("notpdf.pdf")), Outcome::Damaged, 0},
        {test::Request(dataPath("long.pdf"), {}, 149, 0), Outcome::Text, 2},
        {test::Request(dataPath("contacts-1.pdf"), {}, 3, 2), Outcome::Text, 0},
        {test::Request(dataPath("encrypted.pdf"), {"secret"}), Outcome::Text, 1},
        {test::Request(dataPath("long.pdf")) + stop(3), Outcome::Text, 150, 3},
        {test::Request(dataPath("long.pdf"), {}, 10, 0) + stop(12) + stop(20), Outcome::Text, 141, 3},
        {stop(1) + test::Request(dataPath("contacts-1.pdf")), Outcome::Text, 3},
    };
    for (const auto &step : steps) {
        const std::optional<test::WorkerAnswer> answer = worker.ask(step.request);
        QVERIFY(answer);
        QCOMPARE(answer->opened.outcome, step.outcome);
        QCOMPARE(answer->opened.pageCount, step.pages);
        QCOMPARE(int(answer->pages.size()), step.delivered < 0 ? step.pages : step.delivered);
        QCOMPARE(worker.pid(), pid);
    }
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::fontsDescribedAlikeReadAlike_data()
{
    test::EngineRows();
}

void TestWorkerOutcomes::fontsDescribedAlikeReadAlike()
{
    // One worker reads fonts that are not embedded for many files: each file's text is
    // read with its own font's encoding, whatever the files before it described.
    QFETCH(QString, engine);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const QByteArray plain = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const QByteArray shifted = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                               "/Encoding << /Differences [97 /b /c /a] >> >>";
    const QByteArray times =
        "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>";
    // Pairs that a description writing names unescaped, or whole numbers as reals, took
    // for one font: a name holding what the other writes as keys, a real where a code
    // belongs (no code at all to MuPDF).
    const QByteArray codeToQ = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                               "/Encoding << /Differences [98 /q] >> >>";
    const QByteArray nameHoldingIt =
        "<< /Type /Font /Subtype /Type1 /BaseFont "
        "/Helvetica#20#2FEncoding#20#3C#2FDifferences#20#5B98#20#2Fq#20#5D#20#3E >>";
    const QByteArray realCode = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                                "/Encoding << /Differences [98.0 /q] >> >>";
    const struct
    {
        QByteArray font;
        QByteArray text; // empty: as a worker of its own reads it
    } files[] = {{plain, "abc@x.org"},   {shifted, "bca@x.org"},       {plain, "abc@x.org"},
                 {times, "abc@x.org"},   {shifted, "bca@x.org"},       {times, "abc@x.org"},
                 {codeToQ, "aqc@x.org"}, {nameHoldingIt, "abc@x.org"}, {codeToQ, "aqc@x.org"},
                 {realCode, {}}};
    int made = 0;
    for (const auto &file : files) {
        const QByteArray path = QFile::encodeName(m_temp.filePath(u"font-%1.pdf"_s.arg(++made)));
        QVERIFY(test::writeFile(QFile::decodeName(path), test::TextPdf("abc@x.org", file.font)));
        const std::optional<test::WorkerAnswer> answer = worker.ask(test::Request(path));
        QVERIFY(answer);
        QByteArray expected = file.text;
        if (expected.isEmpty()) {
            test::WorkerSession alone(engine);
            QVERIFY(alone.start());
            const std::optional<test::WorkerAnswer> first = alone.ask(test::Request(path));
            QVERIFY(first);
            expected = first->text().trimmed();
        }
        QCOMPARE(answer->text().trimmed(), expected);
    }
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::mailtoLinks_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<QByteArray>>("page1");
    QTest::addColumn<QList<QByteArray>>("page2");
    const QList<QByteArray> page2{"MailTo:hidden.person@example.org?subject=Hello",
                                  "mailto:second@example.net"};
    for (const QString &engine : test::EngineNames()) {
        const QByteArray named = engine.toUtf8();
        const char *name = named.constData();
        QTest::addRow("%s, asked", name) << engine << QByteArray("l") << 0 << QList<QByteArray>() << page2;
        QTest::addRow("%s, asked with recognition", name)
            << engine << QByteArray("ol") << 0 << QList<QByteArray>() << page2;
        QTest::addRow("%s, not asked", name)
            << engine << QByteArray() << 0 << QList<QByteArray>() << QList<QByteArray>();
        QTest::addRow("%s, asked, page 2 only", name)
            << engine << QByteArray("l") << 2 << QList<QByteArray>() << page2;
    }
}

void TestWorkerOutcomes::mailtoLinks()
{
    QFETCH(QString, engine);
    QFETCH(QByteArray, options);
    QFETCH(int, first);
    QFETCH(QList<QByteArray>, page1);
    QFETCH(QList<QByteArray>, page2);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(dataPath("identity/links.pdf"), {}, first, 0, options));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, Outcome::Text);
    // The link targets are in no page's text: only the links tell them.
    QVERIFY(!answer->text().contains("hidden.person"));
    for (const test::PageAnswer &page : answer->pages)
        QCOMPARE(page.links, page.page == 1 ? page1 : page2);
    QCOMPARE(answer->pages.back().page, 2);
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::annotationsShowTheirText_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("note");
    for (const QString &engine : test::EngineNames()) {
        QTest::addRow("%s, a link alone", qPrintable(engine)) << engine << false;
        QTest::addRow("%s, a link and a note", qPrintable(engine)) << engine << true;
    }
}

void TestWorkerOutcomes::annotationsShowTheirText()
{
    // A note drawn over the page shows its text as the page's does; a link adds none.
    QFETCH(QString, engine);
    QFETCH(bool, note);
    const QByteArray content = "BT /F1 10 Tf 20 700 Td (page@x.org) Tj ET";
    const QByteArray drawn = "BT /F1 10 Tf 2 2 Td (note@x.org) Tj ET";
    const QString path = m_temp.filePath(u"annotated.pdf"_s);
    QVERIFY(test::writeFile(
        path,
        test::PdfOfObjects(
            {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
             "/Contents 5 0 R /Annots [6 0 R" +
                 QByteArray(note ? " 7 0 R" : "") + "] >>",
             "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
             "<< /Type /Annot /Subtype /Link /Rect [20 690 100 710] /A << /S /URI /URI (mailto:link@x.org) "
             ">> >>",
             "<< /Type /Annot /Subtype /FreeText /Rect [20 600 200 620] /DA (/Helv 10 Tf 0 g) /AP << /N 8 0 "
             "R >> >>",
             "<< /Type /XObject /Subtype /Form /BBox [0 0 180 20] /Resources << /Font << /F1 3 0 R >> >> "
             "/Length " +
                 QByteArray::number(drawn.size()) + " >>\nstream\n" + drawn + "\nendstream"})));
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(QFile::encodeName(path), {}, 0, 0, "l"));
    QVERIFY(answer);
    QVERIFY(answer->text().contains("page@x.org"));
    QCOMPARE(answer->text().contains("note@x.org"), note);
    QCOMPARE(answer->links(), QList<QByteArray>{"mailto:link@x.org"});
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::recognitionLeavesTextPagesAlone_data()
{
    test::EngineRows();
}

void TestWorkerOutcomes::recognitionLeavesTextPagesAlone()
{
    // Every page of these has text of its own: asking for recognition changes nothing.
    QFETCH(QString, engine);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    for (const char *name : {"contacts-1.pdf", "noaddress.pdf", "identity/rotated.pdf",
                             "identity/scripts.pdf", "identity/cropbox.pdf"}) {
        const std::optional<test::WorkerAnswer> plain = worker.ask(test::Request(dataPath(name)));
        const std::optional<test::WorkerAnswer> asked =
            worker.ask(test::Request(dataPath(name), {}, 0, 0, "o"));
        QVERIFY(plain && asked);
        QCOMPARE(asked->opened, plain->opened);
        QCOMPARE(asked->text(), plain->text());
        for (const test::PageAnswer &page : asked->pages)
            QCOMPARE(page.recognising, 0);
    }
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::pagesNotReadWholeAreNamed_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("reason"); // the start of the first page's named, empty: read whole
    QTest::addColumn<QByteArray>("contains");
    QTest::addColumn<int>("status"); // the worker's, once its input ends
    for (const QString &engine : test::EngineNames()) {
        const bool poppler = engine == u"poppler"_s;
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", qPrintable(engine), name) << engine;
        };
        // A million by a million pixels: poppler leaves the picture out undecoded, MuPDF
        // refuses to draw the page.
        row("huge picture") << "bombs/huge-image.pdf"_ba
                            << "o"_ba
                            << (poppler ? "an image of 1000000 x 1000000 pixels was not recognised"_ba
                                        : "the page could not be drawn for recognition"_ba)
                            << QByteArray() << 0;
        // A JBIG2 page of 2 GB in a picture of 100 by 100: the allocation fails under the
        // limit, and the worker ends after its answer, to be replaced.
        row("JBIG2 page of 2 GB") << "bombs/jbig2-page.pdf"_ba
                                  << "o"_ba
                                  << "needs more memory than the 1024 MB a converter may use"_ba
                                  << QByteArray() << 3;
        // A page tree whose only kid is itself: neither engine can load its page.
        row("page tree that lists itself")
            << "forged/self-listing-tree.pdf"_ba << QByteArray()
            << "it cannot be loaded: the file is damaged there"_ba << QByteArray() << 0;
        // 60,000 characters of 1 point print: poppler keeps 50,000 of them.
        row("small print") << "bombs/dense-page.pdf"_ba << QByteArray()
                           << (poppler
                                   ? "poppler keeps 50000 characters under 3 points of a page and left out"_ba
                                   : QByteArray())
                           << (poppler ? QByteArray() : "last.line@example.com"_ba) << 0;
        // A page tree node counting one page more than it lists: the pages it lists are
        // read (MuPDF without its page map, which would leave that page unset), the
        // missing one is named.
        row("page tree counting a page too many") << "bombs/flat-tree-overcounted.pdf"_ba << QByteArray()
                                                  << "it cannot be loaded: the file is damaged there"_ba
                                                  << "flat.tree@example.com"_ba << 0;
        // Cut short after its first page: MuPDF reads that page and names the next, which
        // is gone (poppler calls the whole file damaged). Cut in the first page's contents:
        // what is left of them is read, and the page named, not taken for a scan.
        if (!poppler) {
            row("cut short") << "damaged.pdf"_ba << QByteArray()
                             << "it cannot be loaded: the file is damaged there"_ba
                             << "intact@example.com"_ba << 0;
            row("cut in the contents") << "forged/contents-cut-off.pdf"_ba << QByteArray()
                                       << "its text stops where the file was cut off"_ba << QByteArray() << 0;
        }
        // Every third page of a node of 2,500 written into its kids rather than referred
        // to: MuPDF reads them all (poppler loads none of that tree's pages, and names them).
        row("page objects written into the page tree")
            << "bombs/flat-tree-direct.pdf"_ba << QByteArray()
            << (poppler ? "it cannot be loaded: the file is damaged there"_ba : QByteArray())
            << (poppler ? QByteArray() : "direct.kid@example.com"_ba) << 0;
    }
}

// A page of which something could not be read ends in time, within bounded memory, and
// says so; what it gave counts.
void TestWorkerOutcomes::pagesNotReadWholeAreNamed()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer's shadow memory does not fit under a limit on data");
#endif
    QFETCH(QString, engine);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, contains);
    QFETCH(int, status);
    test::WorkerSession worker(engine);
    worker.setMemoryLimit(qint64{1024} * 1024 * 1024); // the program's limit
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer =
        worker.ask(test::Request(dataPath(file.constData()), {}, 0, 0, options));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, Outcome::Text);
    QByteArray incomplete;
    for (const test::PageAnswer &page : answer->pages)
        incomplete = incomplete.isEmpty() ? page.incomplete : incomplete;
    QVERIFY2(reason.isEmpty() ? incomplete.isEmpty() : incomplete.startsWith(reason), incomplete.constData());
    QVERIFY(answer->text().contains(contains));
    if (status == 0) { // one that ends on its own has no peak left to read
        const qint64 peak = worker.peakMemory();
        QVERIFY2(peak > 0 && peak < 500 * 1024 * 1024, QByteArray::number(peak).constData());
    }
    QCOMPARE(worker.finish(), status);
}

void TestWorkerOutcomes::smallPrintInBoundedMemory_data()
{
    test::EngineRows();
}

// A page of millions of characters of 1 point print between two addresses, each in a text
// object of its own: both engines keep a bounded share of the print and say how much they
// left out.
void TestWorkerOutcomes::smallPrintInBoundedMemory()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer's shadow memory counts as the worker's own");
#endif
    QFETCH(QString, engine);
    QByteArray content = "BT /F1 10 Tf 20 700 Td (first.writer@example.org) Tj ET\n";
    const QByteArray print = QByteArray(100, 'a');
    for (int line = 0; line < 30000; ++line)
        content += "BT /F1 1 Tf 20 " + QByteArray::number(100 + line % 500) + " Td (" + print + ") Tj ET\n";
    content += "BT /F1 10 Tf 20 80 Td (last.writer@example.org) Tj ET";
    const QString path = m_temp.filePath(u"small-print.pdf"_s);
    QVERIFY(test::writeFile(path, test::ContentPdf(content)));
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const std::optional<test::WorkerAnswer> answer = worker.ask(test::Request(QFile::encodeName(path)));
    QVERIFY(answer);
    QVERIFY(answer->text().contains("first.writer@example.org"));
    // poppler's layout of what it kept loses letters of the last line ("as wr er@examp e org").
    if (engine == u"mupdf"_s)
        QVERIFY(answer->text().contains("last.writer@example.org"));
    QVERIFY2(answer->pages.at(0).incomplete.contains(" characters under 3 points of a page and left out "),
             answer->pages.at(0).incomplete.constData());
    const qint64 peak = worker.peakMemory();
    QVERIFY2(peak > 0 && peak < 150 * 1024 * 1024, QByteArray::number(peak).constData());
    QCOMPARE(worker.finish(), 0);
}

void TestWorkerOutcomes::brokenRequests_data()
{
    QTest::addColumn<QByteArray>("broken");
    const QByteArray whole = test::Request(dataPath("contacts-2.pdf"));
    auto frame = [](protocol::FrameType type, const std::vector<std::string_view> &fields) {
        return QByteArray::fromStdString(protocol::EncodeFrame(type, fields));
    };
    QTest::newRow("cut in the header") << whole.left(3);
    QTest::newRow("cut in the payload") << whole.left(whole.size() - 2);
    QTest::newRow("garbage") << QByteArray("%PDF-1.4 not a frame at all");
    QTest::newRow("unknown type") << QByteArray("Z") + whole.mid(1);
    QTest::newRow("oversized length") << QByteArray("C\xff\xff\xff\x7f", 5) + QByteArray(16, 'x');
    QTest::newRow("fields short of the payload") << QByteArray("C\x06\0\0\0\x09\0\0\0ab", 11);
    QTest::newRow("an answer's frame") << frame(protocol::FrameType::Done, {});
    QTest::newRow("too few fields") << frame(protocol::FrameType::Convert, {"a.pdf", "", ""});
    QTest::newRow("unknown option") << frame(protocol::FrameType::Convert, {"a.pdf", "", "", "x", "", ""});
    QTest::newRow("page not a number")
        << frame(protocol::FrameType::Convert, {"a.pdf", "one", "", "", "", ""});
}

void TestWorkerOutcomes::brokenRequests()
{
    QFETCH(QByteArray, broken);
    // A good request first: it is answered whole before the broken one ends the worker.
    const test::WholeRun run = test::RunWorker(test::Request(dataPath("contacts-2.pdf")) + broken);
    QCOMPARE(run.exitCode, 1);
    const test::ParsedAnswers parsed = test::ParseAnswers(run.output);
    QCOMPARE(parsed.problem, QString());
    QCOMPARE(parsed.rest, 0);
    QCOMPARE(parsed.answers.size(), std::size_t(2));
    QCOMPARE(parsed.answers[0].opened.outcome, Outcome::Text);
    QCOMPARE(parsed.answers[1].opened.outcome, Outcome::Error);
    QVERIFY(!parsed.answers[1].opened.detail.empty());
}

void TestWorkerOutcomes::endOfInputEndsTheWorker()
{
    for (const QByteArray &input : {QByteArray(), test::Request(dataPath("contacts-1.pdf")).repeated(3)}) {
        const test::WholeRun run = test::RunWorker(input);
        QCOMPARE(run.exitCode, 0);
        const test::ParsedAnswers parsed = test::ParseAnswers(run.output);
        QCOMPARE(parsed.problem, QString());
        QCOMPARE(parsed.answers.size(), std::size_t(input.isEmpty() ? 0 : 3));
    }
}

void TestWorkerOutcomes::writeErrorsEndTheConversion_data()
{
    // /dev/full refuses every write, as a full disk or a reader that has gone.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("outputToDevFull");
    QTest::addColumn<int>("status");
    const QString pdf = test::dataFile(u"contacts-1.pdf"_s);
    QTest::newRow("serving") << QStringList{u"--serve"_s} << true << 2;
    // pdftotext would say 0 here; a text cut short must not pass for a whole one.
    QTest::newRow("one-shot to standard output") << QStringList{pdf, u"-"_s} << true << 2;
    QTest::newRow("one-shot to a file") << QStringList{pdf, u"/dev/full"_s} << false << 2;
}

void TestWorkerOutcomes::writeErrorsEndTheConversion()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, outputToDevFull);
    QFETCH(int, status);
    QProcess process;
    if (outputToDevFull)
        process.setStandardOutputFile(u"/dev/full"_s);
    process.start(test::ServiceProgram(), arguments);
    QVERIFY(process.waitForStarted());
    process.write(test::Request(dataPath("contacts-1.pdf")).repeated(2));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
}

void TestWorkerOutcomes::workerDiesWithItsParent_data()
{
    test::EngineRows();
}

void TestWorkerOutcomes::workerDiesWithItsParent()
{
    // A shell starts the worker, its input kept open by us, then the shell is killed.
    QFETCH(QString, engine);
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"exec 3<&0; \"$0\" --serve <&3 3<&- & echo $!; wait"_s,
                               test::ServiceProgram(engine)});
    QVERIFY(shell.waitForStarted());
    QVERIFY(shell.waitForReadyRead(60000));
    const qint64 worker = shell.readLine().trimmed().toLongLong();
    QVERIFY(worker > 0);
    QVERIFY(isAlive(worker));
    QCOMPARE(::kill(pid_t(shell.processId()), SIGKILL), 0);
    QVERIFY(shell.waitForFinished());
    // The kernel kills the worker with its parent; allow it a moment to be scheduled.
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(worker), 10000);
}

QTEST_GUILESS_MAIN(TestWorkerOutcomes)
#include "tst_workeroutcomes.moc"
