#include "EngineFixture.h"
#include "RunInvariants.h"
#include "TestData.h"
#include "run/Preview.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

struct Outcome
{
    QString text;
    QString error;
    int prompts = 0;
    QStringList captions;
    QList<int> values;
};

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void fileNameRule_data();
    void fileNameRule();
    void convertsTheFirstHundredPages();
    void showsWhyThereIsNoText_data();
    void showsWhyThereIsNoText();
    void cancelEndsTheConverter();
    void longWaitShowsOnTheBar();
    void realPdfs_data();
    void realPdfs();
    void realSourcesUnderHeadings();

private:
    // `whileConverting` runs once the converter has started.
    Outcome preview(const QString &pdf, const QString &password,
                    const std::function<void()> &whileConverting = {}, const SourceChoices &sources = {});
    std::unique_ptr<test::EngineFixture> m_engine;
};

void TestPreview::init()
{
    // The real converter for the committed PDFs, the scripted one for the rest.
    using Kind = test::EngineFixture::Kind;
    const bool real = QByteArray(QTest::currentTestFunction()).startsWith("real");
    m_engine = std::make_unique<test::EngineFixture>(real ? Kind::Service : Kind::Scripted);
    QVERIFY(m_engine->isValid());
}

void TestPreview::cleanup()
{
    m_engine.reset();
}

Outcome TestPreview::preview(const QString &pdf, const QString &password,
                             const std::function<void()> &whileConverting, const SourceChoices &sources)
{
    Outcome outcome;
    Preview job(*m_engine->converter, pdf, [] { return true; });
    job.setSources(sources);
    // The prompt, when the file needs a password, answers `password`.
    connect(&job, &Preview::passwordNeeded, this, [&](PasswordPrompt) {
        ++outcome.prompts;
        job.answer(password);
    });
    connect(&job, &Preview::captionChanged, this,
            [&](const QString &caption) { outcome.captions << caption; });
    connect(&job, &Preview::valueChanged, this, [&](int value) { outcome.values << value; });
    QSignalSpy finished(&job, &Preview::finished);
    job.start();
    if (whileConverting)
        whileConverting();
    if (finished.isEmpty() && !finished.wait(30000))
        return {u"<no end>"_s, {}, 0, {}, {}};
    outcome.text = finished.first().at(0).toString();
    if (job.isRunning())
        outcome.error = u"still running"_s;
    return outcome;
}

void TestPreview::fileNameRule_data()
{
    QTest::addColumn<QString>("pdf");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"/docs/report.pdf"_s << u"report"_s;
    QTest::newRow("several dots") << u"/docs/a.b.pdf"_s << u"a.b"_s;
    QTest::newRow("dotted folder") << u"/my.docs/report"_s << u"report"_s;
    QTest::newRow("upper case") << u"/docs/Scan 01.PDF"_s << u"Scan 01"_s;
}

void TestPreview::fileNameRule()
{
    QFETCH(QString, pdf);
    QFETCH(QString, name);
    QCOMPARE(PreviewFileName(pdf), name);
    QCOMPARE(ProtectedPreviewText(pdf),
             u"The file "_s + name + u" can not be read by this software - password protected."_s);
    QCOMPARE(UnreadablePreviewText(pdf), u"The file "_s + name +
                                             u" can not be read by this software - text unreadable. Please "
                                             u"view the file yourself to see if it is "
                                             u"really a scanned image of text and not proper PDF text."_s);
    QCOMPARE(DamagedPreviewText(pdf),
             u"The file "_s + name + u" can not be read by this software - damaged or not a PDF file."_s);
}

void TestPreview::convertsTheFirstHundredPages()
{
    const QByteArray text = "First line\r\n\fpage two x@y.com\n";
    const QString pdf = m_engine->writePdf(u"doc.pdf"_s, u"TEXT"_s, text);
    const Outcome plain = preview(pdf, QString());
    QCOMPARE(plain.text, QString::fromUtf8(text)); // exactly as converted, line ends and page breaks kept
    QCOMPARE(plain.captions, QStringList{u"Progress Bar"_s});
    QVERIFY(plain.values.isEmpty()); // a short wait leaves the bar's value alone

    QCOMPARE(plain.prompts, 0); // asked only when the file needs a password

    const QString locked = m_engine->writePdf(u"locked.pdf"_s, u"NEEDS pw 1"_s, "unlocked\n");
    const Outcome unlocked = preview(locked, u"pw 1"_s);
    QCOMPARE(unlocked.text, u"unlocked\n"_s);
    QCOMPARE(unlocked.prompts, 1);

    const QStringList calls = m_engine->fake->loggedCalls();
    QCOMPARE(calls.size(), 3);
    QVERIFY2(calls[0].contains(pdf + u" passwords=0 pages=1-100"_s), qPrintable(calls[0]));
    QVERIFY2(calls[1].contains(locked + u" passwords=0 pages=1-100"_s), qPrintable(calls[1]));
    QVERIFY2(calls[2].contains(locked + u" passwords=1 pages=1-100"_s), qPrintable(calls[2]));
    // Nothing beside the PDF.
    QCOMPARE(QDir(m_engine->input.path()).entryList({u"*.txt"_s}, QDir::Files), QStringList());
}

void TestPreview::showsWhyThereIsNoText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("why"); // protected, unreadable or damaged
    QTest::newRow("protected, no password")
        << u"a.b.pdf"_s << u"NEEDS s"_s << QByteArray("x") << QString() << u"protected"_s;
    QTest::newRow("wrong password") << u"locked.pdf"_s << u"NEEDS s"_s << QByteArray("x") << u"t"_s
                                    << u"protected"_s;
    QTest::newRow("damaged") << u"bad.file.pdf"_s << u"NOTHING"_s << QByteArray() << QString()
                             << u"damaged"_s;
    QTest::newRow("scanned") << u"scan.2021.pdf"_s << u"TEXT"_s << QByteArray("\f\f") << QString()
                             << u"unreadable"_s;
    QTest::newRow("scanned, few characters")
        << u"s.pdf"_s << u"TEXT"_s << QByteArray("\fab\f12\f") << QString() << u"unreadable"_s;
}

void TestPreview::showsWhyThereIsNoText()
{
    QFETCH(QString, name);
    QFETCH(QString, directive);
    QFETCH(QByteArray, text);
    QFETCH(QString, password);
    QFETCH(QString, why);
    const QString pdf = m_engine->writePdf(name, directive, text);
    const Outcome outcome = preview(pdf, password);
    const QString expected = why == u"protected"_s    ? ProtectedPreviewText(pdf)
                             : why == u"unreadable"_s ? UnreadablePreviewText(pdf)
                                                      : DamagedPreviewText(pdf);
    QCOMPARE(outcome.text, expected);
    // A password typed for it is tried once more; a blank answer gives up. A scan is read
    // again by recognition, its first five pages.
    const QStringList calls = m_engine->fake->loggedCalls();
    QCOMPARE(calls.size(), password.isEmpty() && why != u"unreadable"_s ? 1 : 2);
    if (why == u"unreadable"_s)
        QVERIFY2(calls.last().contains(u"pages=1-5 ocr=1 "_s), qPrintable(calls.last()));
}

void TestPreview::cancelEndsTheConverter()
{
    const QString pdf = m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 60"_s, "late\n");
    Preview job(*m_engine->converter, pdf, {});
    QSignalSpy finished(&job, &Preview::finished);
    QSignalSpy captions(&job, &Preview::captionChanged);
    job.start();
    QTRY_VERIFY(!m_engine->fake->loggedCalls().isEmpty());
    QVERIFY(job.isRunning());
    job.cancel();
    QVERIFY(!job.isRunning());
    QTRY_VERIFY(m_engine->converterGone(pdf));
    QCOMPARE(captions.size(), 1); // the bar comes to rest
    QCOMPARE(captions.first().first().toString(), u"Progress Bar"_s);
    QCoreApplication::processEvents(); // whatever was queued before the end
    QVERIFY(finished.isEmpty());
}

void TestPreview::longWaitShowsOnTheBar()
{
    // Past the 50th poll the caption counts and the value creeps from 0.
    const QString pdf = m_engine->writePdf(u"slow.pdf"_s, u"WAIT"_s, "slow text\n");
    const Outcome outcome = preview(pdf, QString(), [&] {
        QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
        m_engine->clock.advance(5600);
        QVERIFY(m_engine->release(pdf));
    });
    QCOMPARE(outcome.text, u"slow text\n"_s);
    QVERIFY2(outcome.captions.size() >= 2, qPrintable(outcome.captions.join(u'|')));
    QCOMPARE(outcome.captions.first(), u"Please wait.. 0"_s);
    QCOMPARE(outcome.captions.last(), u"Progress Bar"_s);
    for (qsizetype i = 0; i + 1 < outcome.captions.size(); ++i)
        QCOMPARE(outcome.captions[i], u"Please wait.. %1"_s.arg(i));
    QCOMPARE(outcome.values, QList<int>{0});
}

void TestPreview::realPdfs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("copyAs");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // "protected", "unreadable" or text the preview holds
    QTest::addColumn<QString>("absent");   // text the preview must not hold
    QTest::newRow("150 pages") << u"long.pdf"_s << QString() << QString() << u"page100@example.com"_s
                               << u"page101@"_s;
    QTest::newRow("encrypted, no password")
        << u"encrypted.pdf"_s << u"a.b.pdf"_s << QString() << u"protected"_s << QString();
    QTest::newRow("encrypted, password")
        << u"encrypted.pdf"_s << QString() << u"secret"_s << u"vault@example.com"_s << QString();
    QTest::newRow("encrypted, wrong password")
        << u"encrypted.pdf"_s << QString() << u"Secret"_s << u"protected"_s << QString();
    // An owner password refused, the file still opens without one.
    QTest::newRow("restricted, wrong password")
        << u"restricted.pdf"_s << QString() << u"guess"_s << u"readonly@example.com"_s << QString();
    // A scan shows as recognition reads it.
    QTest::newRow("scanned") << u"scanned.pdf"_s << u"scan.v2.pdf"_s << QString() << u"scan@example.com"_s
                             << QString();
    // Cut short: MuPDF reads the pages that are whole.
    QTest::newRow("damaged") << u"damaged.pdf"_s << QString() << QString() << u"intact@example.com"_s
                             << QString();
    QTest::newRow("not a PDF") << u"notpdf.pdf"_s << u"odd.name.pdf"_s << QString() << u"damaged"_s
                               << QString();
}

void TestPreview::realPdfs()
{
    QFETCH(QString, file);
    QFETCH(QString, copyAs);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QFETCH(QString, absent);
    QString pdf = test::dataFile(file);
    QVERIFY2(QFileInfo::exists(pdf), qPrintable(pdf));
    if (!copyAs.isEmpty()) {
        const QString copy = m_engine->inputPath(copyAs);
        QVERIFY(QFile::copy(pdf, copy));
        pdf = copy;
    }
    const Outcome outcome = preview(pdf, password);
    QVERIFY(outcome.error.isEmpty());
    if (expected == u"protected"_s)
        QCOMPARE(outcome.text, ProtectedPreviewText(pdf));
    else if (expected == u"damaged"_s)
        QCOMPARE(outcome.text, DamagedPreviewText(pdf));
    else if (expected == u"unreadable"_s)
        QCOMPARE(outcome.text, UnreadablePreviewText(pdf));
    else
        QVERIFY2(outcome.text.contains(expected), qPrintable(outcome.text.left(200)));
    if (!absent.isEmpty())
        QVERIFY(!outcome.text.contains(absent));
    if (file == u"long.pdf"_s) {
        QVERIFY(outcome.text.contains(u"Page 1\n"_s));
        QCOMPARE(outcome.text.count(u'\f'), 100); // every converted page ends in a page break
    }
    if (copyAs == u"a.b.pdf"_s)
        QVERIFY(outcome.text.startsWith(u"The file a.b can not"_s));
}

// Besides the pages' text, what the run reads, each under a plain heading; only what is chosen.
void TestPreview::realSourcesUnderHeadings()
{
    const QString attachments = test::dataFile(u"sources/attachments.pdf"_s);
    const QString all = preview(attachments, {}, {}, SourceChoices{true, true, true}).text;
    for (
        const QString &shown :
        {u"\n\nNotes and form fields\nPage 1, note: The note attached, from annotation.note@attach-corpus.de\n"_s,
         u"\n\nAttached file card.vcf\n"_s, u"vcard@attach-corpus.de"_s,
         u"\n\nAttached file inner.pdf \u00bb deeper.txt\nDeepest of all: deeper@attach-corpus.de\n"_s,
         u"\n\nAttached file photo.jpg not read: a JPEG picture: only PDF and text files are read\n"_s})
        QVERIFY2(all.contains(shown), qPrintable(shown));
    const QString notesOnly = preview(attachments, {}, {}, SourceChoices{true, false, false}).text;
    QVERIFY(notesOnly.contains(u"annotation.note@"_s));
    QVERIFY(!notesOnly.contains(u"Attached file card.vcf"_s));
    const QString metadata =
        preview(test::dataFile(u"sources/metadata.pdf"_s), {}, {}, SourceChoices{false, true, false}).text;
    QVERIFY2(
        metadata.contains(
            u"\n\nMetadata\nTitle: Metadata corpus\nAuthor: Jan Nov\u00e1k <jan.novak@metadata-corpus.cz>\n"_s),
        qPrintable(metadata));
    QVERIFY(!metadata.contains(u"pdf-vendor.com"_s));
}

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
