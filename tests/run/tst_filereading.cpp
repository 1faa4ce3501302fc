#include "EngineFixture.h"
#include "TestData.h"
#include "cache/ResultsCache.h"
#include "run/FileReading.h"

#include <QFile>
#include <QTest>

#include <functional>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

Q_DECLARE_METATYPE(pelmora::PasswordMode)
Q_DECLARE_METATYPE(std::optional<pelmora::UnreadableReason>)

namespace {

// What one reading gave: the addresses that went out, with the run's count of each once
// settled, the prompts it asked for and why the file is unreadable.
struct Read
{
    bool settled = false;
    QStringList addresses;
    QList<int> counts;
    QList<PasswordPrompt> asked;
    std::optional<UnreadableReason> unreadable;
    bool atOnce = false; // settled from the cache, unconverted
};

} // namespace

class TestFileReading : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void readsOneFile_data();
    void readsOneFile();
    void addressesWaitForTheReport();
    void unsearchedReadingOnlyReadsOut();
    void keptResultsAreTakenAgain();
    void cutShortWhileSharedOutIsChanged();

private:
    // Reads `pdf` to its end, answering prompts from `answers`; `reported` reports it at
    // once to a run that met `seenBefore` already, else only once it settled.
    // `meanwhile` is called once it started.
    Read read(const QString &pdf, PasswordRules &rules, PasswordMode mode, QStringList answers = {},
              bool reported = true, const QStringList &seenBefore = {},
              const std::function<void()> &meanwhile = {})
    {
        FileReading reading(*m_engine->converter, pdf, m_options, rules);
        auto run = std::make_shared<SeenAddresses>();
        for (const QString &address : seenBefore)
            run->insert(address);
        Read out;
        connect(&reading, &FileReading::addressesFound, this, [&](const QList<AddressSource> &found) {
            for (const AddressSource &each : found)
                out.addresses.append(each.address);
        });
        out.atOnce = reading.start();
        if (meanwhile)
            meanwhile();
        if (reported)
            reading.report(run);
        while (!reading.isSettled()) {
            if (!m_engine->runUntil([&] { return !reading.isConverting(); }))
                return out;
            if (const std::optional<PasswordPrompt> prompt = reading.takeTurn(mode)) {
                out.asked.append(*prompt);
                reading.answer(answers.isEmpty() ? QString() : answers.takeFirst());
            }
        }
        if (!reported)
            reading.report(run);
        out.settled = true;
        for (const QString &address : std::as_const(out.addresses))
            out.counts.append(run->count(address));
        if (const std::optional<UnreadableFile> unreadable = reading.unreadable())
            out.unreadable = unreadable->reason;
        return out;
    }

    std::unique_ptr<test::EngineFixture> m_engine;
    ReadingOptions m_options;
};

void TestFileReading::init()
{
    m_engine = std::make_unique<test::EngineFixture>();
    QVERIFY(m_engine->isValid());
    m_options = ReadingOptions();
}

void TestFileReading::cleanup()
{
    m_engine.reset();
}

// One file in every way it may end, with the passwords the rules know and the answers typed.
void TestFileReading::readsOneFile_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("recognise");
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<PasswordMode>("mode");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("asked");
    QTest::addColumn<std::optional<UnreadableReason>>("unreadable");

    const QByteArray text = "a@x.com B@x.com\fb@x.com a@x.com c@x.com\f";
    const QStringList abc{u"a@x.com"_s, u"B@x.com"_s, u"c@x.com"_s};
    const std::optional<UnreadableReason> readable;
    const QStringList none;
    QTest::newRow("text") << u"TEXT"_s << text << false << none << PasswordMode::PerFile << none << abc << 0
                          << readable;
    QTest::newRow("protected, not asked") << u"NEEDS pw"_s << text << false << none << PasswordMode::None
                                          << none << none << 0 << std::optional(UnreadableReason::Protected);
    QTest::newRow("protected, right answer")
        << u"NEEDS pw"_s << text << false << none << PasswordMode::PerFile << QStringList{u"pw"_s} << abc << 1
        << readable;
    QTest::newRow("protected, wrong answer")
        << u"NEEDS pw"_s << text << false << none << PasswordMode::SameForAll << QStringList{u"no"_s} << none
        << 1 << std::optional(UnreadableReason::InvalidPassword);
    QTest::newRow("protected, blank answer")
        << u"NEEDS pw"_s << text << false << none << PasswordMode::PerFile << QStringList{QString()} << none
        << 1 << std::optional(UnreadableReason::Protected);
    QTest::newRow("known password") << u"NEEDS pw"_s << text << false << QStringList{u"pw"_s}
                                    << PasswordMode::PerFile << none << abc << 0 << readable;
    QTest::newRow("damaged") << u"NOTHING"_s << text << false << none << PasswordMode::None << none << none
                             << 0 << std::optional(UnreadableReason::Damaged);
    QTest::newRow("scan, unread") << u"SCAN"_s << text << false << none << PasswordMode::None << none << none
                                  << 0 << std::optional(UnreadableReason::TextUnreadable);
    // Its text counts, and the file is named all the same.
    QTest::newRow("a page not read whole")
        << u"TEXT"_s << "a@x.com B@x.com\nCUT an image was left out\fb@x.com a@x.com c@x.com\f"_ba << false
        << none << PasswordMode::None << none << abc << 0 << std::optional(UnreadableReason::Incomplete);
    // Written to while it waits for its converter (see readsOneFile).
    QTest::newRow("changed while read") << u"WAIT"_s << text << false << none << PasswordMode::None << none
                                        << abc << 0 << std::optional(UnreadableReason::Changed);
    QTest::newRow("scan, recognised and mended")
        << u"SCAN"_s << "Write to milo_f27 @mail7.example.io now\f"_ba << true << none << PasswordMode::None
        << none << QStringList{u"milo_f27@mail7.example.io"_s} << 0 << readable;
}

void TestFileReading::readsOneFile()
{
    QFETCH(QString, directive);
    QFETCH(QByteArray, text);
    QFETCH(bool, recognise);
    QFETCH(QStringList, known);
    QFETCH(PasswordMode, mode);
    QFETCH(QStringList, answers);
    m_options.like.recognise = recognise;
    m_options.like.languages = recognise ? u"eng"_s : QString();
    PasswordRules rules(known);
    const QString pdf = m_engine->writePdf(u"file.pdf"_s, directive, text);
    const auto change = [&] {
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::Append) && file.write("%%EOF\n") == 6);
        file.close();
        QVERIFY(m_engine->release(pdf));
    };
    const Read read = this->read(pdf, rules, mode, answers, true, {},
                                 directive == u"WAIT"_s ? std::function<void()>(change) : nullptr);
    QVERIFY(read.settled);
    QTEST(read.addresses, "addresses");
    QTEST(int(read.asked.size()), "asked");
    QTEST(read.unreadable, "unreadable");
    if (read.addresses == QStringList{u"a@x.com"_s, u"B@x.com"_s, u"c@x.com"_s})
        QCOMPARE(read.counts, (QList<int>{2, 2, 1}));
}

void TestFileReading::addressesWaitForTheReport()
{
    // Settled before its report: nothing went out, and then only what the run had not met.
    const QString pdf = m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com b@x.com\fa@x.com c@x.com\f");
    PasswordRules rules;
    const Read read = this->read(pdf, rules, PasswordMode::None, {}, false, {u"B@X.com"_s});
    QCOMPARE(read.addresses, (QStringList{u"a@x.com"_s, u"c@x.com"_s}));
    QCOMPARE(read.counts, (QList<int>{2, 1}));
}

void TestFileReading::unsearchedReadingOnlyReadsOut()
{
    // As a preview reads: the text is judged, no address is looked for.
    m_options.searched = false;
    PasswordRules rules;
    const Read read =
        this->read(m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com B@x.com\fb@x.com c@x.com\f"), rules,
                   PasswordMode::None);
    QVERIFY(read.settled);
    QCOMPARE(read.addresses, QStringList());
    QCOMPARE(read.unreadable, std::optional<UnreadableReason>());
}

void TestFileReading::keptResultsAreTakenAgain()
{
    ResultsCache cache(m_engine->temp.filePath(u"cache"_s), m_engine->clock);
    m_options.cache = &cache;
    m_options.cacheRules = CacheRules(*m_engine->converter, m_options);
    QVERIFY(!m_options.cacheRules.isEmpty());
    const QString open = m_engine->writePdf(u"open.pdf"_s, u"TEXT"_s, "a@x.com b@x.com\fa@x.com\f");
    const QString locked = m_engine->writePdf(u"locked.pdf"_s, u"NEEDS pw"_s, "a@x.com\f");
    for (const QString &pdf : {open, locked}) {
        // Whatever a password was tried on is converted again: its addresses are never kept.
        const bool kept = pdf == open;
        PasswordRules rules(kept ? QStringList() : QStringList{u"pw"_s});
        const Read first = read(pdf, rules, PasswordMode::None);
        const qsizetype conversions = m_engine->fake->loggedCalls().size();
        const Read again = read(pdf, rules, PasswordMode::None);
        QCOMPARE(again.atOnce, kept);
        QCOMPARE(m_engine->fake->loggedCalls().size(), conversions + (kept ? 0 : 1));
        QCOMPARE(again.addresses, first.addresses);
        QCOMPARE(again.counts, first.counts);
        QVERIFY(!first.addresses.isEmpty());
    }
}

void TestFileReading::cutShortWhileSharedOutIsChanged()
{
    // The part that opens the file after it was cut short finds it damaged; what the
    // file did is change while read, as a reading by one worker tells.
    m_options.like.recognise = true;
    m_options.like.languages = u"eng"_s;
    QByteArray pages;
    for (int page = 1; page <= 12; ++page)
        pages += "page" + QByteArray::number(page) + "@x.com\f";
    const QString pdf = m_engine->writePdf(u"book.pdf"_s, u"SCAN HELD"_s, pages);
    PasswordRules rules;
    FileReading reading(*m_engine->converter, pdf, m_options, rules);
    reading.setSplitting(m_engine->clock);
    reading.start();
    QVERIFY(m_engine->runUntil([&] { return reading.pagesToSplit() > 0; }));
    QVERIFY(test::writeFile(pdf, "NOTHING\n"));
    QVERIFY(reading.split());
    QVERIFY(m_engine->release(pdf));
    QVERIFY(m_engine->runUntil([&] { return reading.isSettled(); }));
    QCOMPARE(reading.unreadable().value_or(UnreadableFile{}).reason, UnreadableReason::Changed);
}

QTEST_GUILESS_MAIN(TestFileReading)
#include "tst_filereading.moc"
