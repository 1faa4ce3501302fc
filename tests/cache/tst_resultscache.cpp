#include "CacheSamples.h"
#include "MockClock.h"
#include "TestData.h"
#include "cache/ResultsCache.h"
#include "extract/AddressExtraction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

using Opening = ResultsCache::Opening;

// A stand-in for another program holding the database: its own connection, closed
// when it goes.
class RawConnection
{
public:
    explicit RawConnection(const QString &path) : m_name(u"raw-"_s + path)
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        database.setDatabaseName(path);
        database.open();
    }
    ~RawConnection()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool exec(const QString &sql) { return QSqlQuery(QSqlDatabase::database(m_name, false)).exec(sql); }

private:
    QString m_name;
};

int mode(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// A result as a run gathers it from pages of text: each address once, in its first
// spelling, with the page it first shows on and how often the file holds it.
FileResult resultOfPages(const QList<QByteArray> &pages)
{
    SeenAddresses seen;
    FileResult result;
    for (qsizetype page = 0; page < pages.size(); ++page) {
        for (const QString &address : ExtractEmailToArray(pages[page], seen, {}))
            result.addresses.append({address, int(page + 1), 0, FoundVia::Text});
    }
    for (FileAddress &each : result.addresses)
        each.count = seen.count(each.address.toLatin1());
    return result;
}

} // namespace

class TestResultsCache : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void resultsComeBackAsStored_data();
    void resultsComeBackAsStored();
    void everyPartOfTheKeyCounts_data();
    void everyPartOfTheKeyCounts();
    void filesAreKnownByPlaceAndContents_data();
    void filesAreKnownByPlaceAndContents();
    void onlyRegularFilesHaveStamps();
    void nothingSecretIsKept();
    void unusableCachesAreSetAside_data();
    void unusableCachesAreSetAside();
    void aCacheHeldTooLongIsSetAside();
    void otherRunsSeeResultsWithinASecond();
    void theLongestUnusedGoFirst();
    void usesWithinTheHourWriteNothing();
    void clearRemovesOnlyTheCache();
    void twoRunsShareOneCache();
    void aNewCacheWaitsForAnotherRunsWrite();

private:
    QString folder() const { return m_temp->filePath(u"cache"_s); }
    QString database() const { return ResultsCache::databasePath(folder()); }

    std::unique_ptr<QTemporaryDir> m_temp;
    test::MockClock m_clock;
};

void TestResultsCache::init()
{
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
}

void TestResultsCache::resultsComeBackAsStored_data()
{
    QTest::addColumn<FileResult>("result");
    FileResult mixed{FileVerdict::Readable,
                     {{u"Info@Example.com"_s, 1, 3, FoundVia::Text},
                      {u"sales@example.com"_s, 1, 1, FoundVia::Link},
                      {u"x.y@scan.example.org"_s, 4, 2, FoundVia::Recognised},
                      {u"hidden@example.net"_s, 9, 1, FoundVia::Disguised},
                      {u"kim.lee@example.org"_s, 9, 1, FoundVia::Text, AddressRule::BrokenLines},
                      {u"dr_no@example.org"_s, 9, 1, FoundVia::Recognised,
                       AddressRule::DrawnUnderscores | AddressRule::LookAlikes}}};
    QTest::newRow("addresses found four ways, two repaired") << mixed;
    QTest::newRow("no addresses") << FileResult{};
    QTest::newRow("text unreadable") << FileResult{FileVerdict::TextUnreadable, {}};
    FileResult damaged = test::sampleResult(25);
    damaged.verdict = FileVerdict::Damaged;
    QTest::newRow("damaged after three pages") << damaged;
    QTest::newRow("twenty thousand addresses") << test::sampleResult(20000);
}

void TestResultsCache::resultsComeBackAsStored()
{
    QFETCH(FileResult, result);
    const FileStamp stamp = test::sampleStamp(1);
    {
        ResultsCache cache(folder(), m_clock);
        QVERIFY2(cache.isUsable(), qPrintable(cache.problem()));
        QVERIFY(cache.store(stamp, test::kSampleRules, result, Opening::WithoutPassword));
        QCOMPARE(cache.lookup(stamp, test::kSampleRules), result);
    }
    // The next run finds it too; storing the file again replaces it.
    ResultsCache next(folder(), m_clock);
    QCOMPARE(next.lookup(stamp, test::kSampleRules), result);
    const FileResult again = test::sampleResult(2, 500);
    QVERIFY(next.store(stamp, test::kSampleRules, again, Opening::WithoutPassword));
    QCOMPARE(next.lookup(stamp, test::kSampleRules), again);
    QVERIFY(next.problem().isEmpty());
}

void TestResultsCache::everyPartOfTheKeyCounts_data()
{
    QTest::addColumn<std::function<void(FileStamp &, QString &)>>("change");
    QTest::addColumn<bool>("found");
    using Change = std::function<void(FileStamp &, QString &)>;
    QTest::newRow("nothing") << Change([](FileStamp &, QString &) {}) << true;
    QTest::newRow("device") << Change([](FileStamp &s, QString &) { ++s.device; }) << false;
    QTest::newRow("inode") << Change([](FileStamp &s, QString &) { ++s.inode; }) << false;
    QTest::newRow("size") << Change([](FileStamp &s, QString &) { --s.size; }) << false;
    QTest::newRow("time, by a nanosecond")
        << Change([](FileStamp &s, QString &) { ++s.modifiedNs; }) << false;
    QTest::newRow("change time") << Change([](FileStamp &s, QString &) { ++s.changedNs; }) << false;
    QTest::newRow("digest") << Change([](FileStamp &s, QString &) { s.digest[15] = 'x'; }) << false;
    QTest::newRow("rules") << Change([](FileStamp &, QString &r) { r.replace(u"links 0"_s, u"links 1"_s); })
                           << false;
}

void TestResultsCache::everyPartOfTheKeyCounts()
{
    QFETCH(std::function<void(FileStamp &, QString &)>, change);
    QFETCH(bool, found);
    ResultsCache cache(folder(), m_clock);
    const FileResult result = test::sampleResult(3);
    QVERIFY(cache.store(test::sampleStamp(7), test::kSampleRules, result, Opening::WithoutPassword));
    FileStamp stamp = test::sampleStamp(7);
    QString rules = test::kSampleRules;
    change(stamp, rules);
    QCOMPARE(cache.lookup(stamp, rules).has_value(), found);
}

void TestResultsCache::filesAreKnownByPlaceAndContents_data()
{
    // What happens to a stored file of 200 KiB; what it holds then, under its first name
    // or the second.
    QTest::addColumn<std::function<bool(const QString &, const QString &)>>("change");
    QTest::addColumn<bool>("found");
    using Change = std::function<bool(const QString &, const QString &)>;
    // A move or a new link changes the status-change time: the file is read again.
    QTest::newRow("moved") << Change([](const QString &pdf, const QString &now) {
        return QFile::rename(pdf, now);
    }) << false;
    QTest::newRow("linked again") << Change([](const QString &pdf, const QString &now) {
        return ::link(QFile::encodeName(pdf).constData(), QFile::encodeName(now).constData()) == 0;
    }) << false;
    QTest::newRow("nothing done") << Change([](const QString &, const QString &) { return true; }) << true;
    QTest::newRow("copied") << Change([](const QString &pdf, const QString &now) {
        return QFile::copy(pdf, now);
    }) << false;
    // One byte changed, and the times set back as `touch -d` would: the last byte (in the
    // digest) or one in the middle, which only the status-change time tells.
    for (const qint64 offset : {200 * 1024 - 1, 100 * 1024}) {
        QTest::addRow("rewritten in place at %lld, same size and time", offset)
            << Change([offset](const QString &pdf, const QString &) {
                   const QByteArray name = QFile::encodeName(pdf);
                   struct stat before = {};
                   QFile file(pdf);
                   if (::stat(name.constData(), &before) != 0 || !file.open(QIODevice::ReadWrite) ||
                       !file.seek(offset) || file.write("B") != 1 || !file.flush())
                       return false;
                   file.close();
                   const timespec times[2] = {before.st_atim, before.st_mtim};
                   return ::utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
               })
            << false;
    }
    QTest::newRow("touched") << Change([](const QString &pdf, const QString &) {
        return ::utimensat(AT_FDCWD, QFile::encodeName(pdf).constData(), nullptr, 0) == 0;
    }) << false;
}

void TestResultsCache::filesAreKnownByPlaceAndContents()
{
    QFETCH(std::function<bool(const QString &, const QString &)>, change);
    QFETCH(bool, found);
    const QString pdf = m_temp->filePath(u"a.pdf"_s);
    const QString now = m_temp->filePath(u"b.pdf"_s);
    QVERIFY(test::writeFile(pdf, QByteArray(200 * 1024, 'A')));
    const std::optional<FileStamp> stamp = FileStamp::of(pdf);
    QVERIFY(stamp);
    ResultsCache cache(folder(), m_clock);
    QVERIFY(cache.store(*stamp, test::kSampleRules, test::sampleResult(2), Opening::WithoutPassword));
    QVERIFY(test::changeClockPassed(m_temp->path(), stamp->changedNs));
    QVERIFY(change(pdf, now));
    const std::optional<FileStamp> later = FileStamp::of(QFile::exists(now) ? now : pdf);
    QVERIFY(later);
    QCOMPARE(cache.lookup(*later, test::kSampleRules).has_value(), found);
}

void TestResultsCache::onlyRegularFilesHaveStamps()
{
    const QString fifo = m_temp->filePath(u"fifo"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(!FileStamp::of(fifo)); // at once, with no writer
    QVERIFY(!FileStamp::of(m_temp->path()));
    QVERIFY(!FileStamp::of(m_temp->filePath(u"missing.pdf"_s)));
    const QString empty = m_temp->filePath(u"empty.pdf"_s);
    QVERIFY(test::writeFile(empty, {}));
    QVERIFY(FileStamp::of(empty));
    QCOMPARE(FileStamp::of(empty)->digest.size(), 16);
}

void TestResultsCache::nothingSecretIsKept()
{
    // A file's text never reaches the disk, only its addresses; nothing at all of a file
    // that needed a password; and what is kept only its owner may read.
    const FileResult plain = resultOfPages({"TEXT-MARKER-QX7 mail info@example.com", "more TEXT-MARKER-QX7"});
    const FileResult secret = resultOfPages({"owner@protected.example.com"});
    QCOMPARE(plain.addresses.size(), 1);
    {
        ResultsCache cache(folder(), m_clock);
        QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, plain, Opening::WithoutPassword));
        QVERIFY(!cache.store(test::sampleStamp(2), test::kSampleRules, secret, Opening::WithPassword));
        QVERIFY(!cache.lookup(test::sampleStamp(2), test::kSampleRules));
        QVERIFY(cache.flush());
        QCOMPARE(mode(folder()), 0700);
        for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QCOMPARE(mode(database() + suffix), 0600);
    }
    const QByteArray bytes = test::folderBytes(folder());
    QVERIFY(bytes.contains("info@example.com"));
    QVERIFY(!bytes.contains("TEXT-MARKER"));
    QVERIFY(!bytes.contains("protected.example.com"));
}

void TestResultsCache::unusableCachesAreSetAside_data()
{
    // How the folder is spoilt, what the line says, and what must be found afterwards.
    QTest::addColumn<std::function<bool(const QString &folder)>>("spoil");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("movedAside");
    using Spoil = std::function<bool(const QString &)>;
    const auto filled = [this](const QString &folder) {
        ResultsCache cache(folder, m_clock);
        return cache.store(test::sampleStamp(1), test::kSampleRules, test::sampleResult(300),
                           Opening::WithoutPassword);
    };
    QTest::newRow("garbage") << Spoil([](const QString &folder) {
        return QDir().mkpath(folder) &&
               test::writeFile(ResultsCache::databasePath(folder), QByteArray(9000, '\x5a'));
    }) << u"is damaged"_s << true;
    QTest::newRow("damaged pages") << Spoil([filled](const QString &folder) {
        // The header stays; every page after it is overwritten.
        QFile file(ResultsCache::databasePath(folder));
        return filled(folder) && file.open(QIODevice::ReadWrite) && file.seek(100) &&
               file.write(QByteArray(file.size() - 100, '\x5a')) == file.size() - 100;
    }) << u"is damaged"_s << true;
    QTest::newRow("newer version") << Spoil([filled](const QString &folder) {
        return filled(folder) &&
               RawConnection(ResultsCache::databasePath(folder)).exec(u"PRAGMA user_version = 99"_s);
    }) << u"a newer version"_s << false;
    QTest::newRow("another program's") << Spoil([](const QString &folder) {
        return QDir().mkpath(folder) &&
               RawConnection(ResultsCache::databasePath(folder)).exec(u"CREATE TABLE files (name TEXT)"_s);
    }) << u"another program"_s << false;
    QTest::newRow("a file in the folder's place")
        << Spoil([](const QString &folder) { return test::writeFile(folder, "not a folder"); })
        << u"folder cannot be made"_s << false;
}

void TestResultsCache::unusableCachesAreSetAside()
{
    QFETCH(std::function<bool(const QString &)>, spoil);
    QFETCH(QString, said);
    QFETCH(bool, movedAside);
    QVERIFY(spoil(folder()));
    const QByteArray before = test::readFile(database());
    {
        ResultsCache cache(folder(), m_clock);
        // Found out at once, or at the first look into it at the latest.
        QVERIFY(!cache.lookup(test::sampleStamp(1), test::kSampleRules));
        QVERIFY(!cache.isUsable());
        QVERIFY2(cache.problem().contains(said), qPrintable(cache.problem()));
        QVERIFY(cache.problem().contains(database()));
        QVERIFY(!cache.problem().contains(u'\n'));
        QVERIFY(!cache.store(test::sampleStamp(2), test::kSampleRules, {}, Opening::WithoutPassword));
        QVERIFY(!cache.lookup(test::sampleStamp(2), test::kSampleRules));
    }
    if (movedAside) {
        // Moved as it was; the next run starts a new cache.
        QCOMPARE(test::readFile(database() + u".corrupt"_s), before);
        ResultsCache next(folder(), m_clock);
        QVERIFY(next.store(test::sampleStamp(2), test::kSampleRules, {}, Opening::WithoutPassword));
        QVERIFY(next.lookup(test::sampleStamp(2), test::kSampleRules));
    } else {
        QCOMPARE(test::readFile(database()), before); // left exactly as it was
    }
}

void TestResultsCache::aCacheHeldTooLongIsSetAside()
{
    ResultsCache cache(folder(), m_clock, {.bytes = 1 << 20, .busyTimeoutMs = 50});
    QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
    QVERIFY(cache.flush());
    {
        RawConnection other(database());
        QVERIFY(other.exec(u"BEGIN IMMEDIATE"_s));
        QVERIFY(cache.store(test::sampleStamp(2), test::kSampleRules, {}, Opening::WithoutPassword)); // waits
        QVERIFY(!cache.flush());
        QVERIFY2(cache.problem().contains(u"another run held it for more than 50 ms"_s),
                 qPrintable(cache.problem()));
        QVERIFY(!cache.lookup(test::sampleStamp(1), test::kSampleRules)); // not waited for again
    }
    ResultsCache next(folder(), m_clock);
    QVERIFY(next.lookup(test::sampleStamp(1), test::kSampleRules));
}

void TestResultsCache::otherRunsSeeResultsWithinASecond()
{
    ResultsCache cache(folder(), m_clock);
    ResultsCache other(folder(), m_clock);
    QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
    QVERIFY(cache.lookup(test::sampleStamp(1), test::kSampleRules)); // waiting to be written
    QVERIFY(!other.lookup(test::sampleStamp(1), test::kSampleRules));
    m_clock.advance(999);
    QVERIFY(!cache.lookup(test::sampleStamp(2), test::kSampleRules));
    QVERIFY(!other.lookup(test::sampleStamp(1), test::kSampleRules));
    m_clock.advance(1);
    QVERIFY(!cache.lookup(test::sampleStamp(2), test::kSampleRules));
    QVERIFY(other.lookup(test::sampleStamp(1), test::kSampleRules));
    // So does a batch of 64, at once.
    for (int file = 10; file < 74; ++file)
        QVERIFY(cache.store(test::sampleStamp(file), test::kSampleRules, {}, Opening::WithoutPassword));
    QVERIFY(other.lookup(test::sampleStamp(73), test::kSampleRules));
}

void TestResultsCache::theLongestUnusedGoFirst()
{
    // Each result takes about 22 KB; five fit under the limit, six do not.
    const CacheLimits limits{.bytes = 160 * 1024, .markUsedAfterMs = 1000};
    {
        ResultsCache cache(folder(), m_clock, limits);
        for (int file = 1; file <= 5; ++file) {
            m_clock.advance(1000);
            QVERIFY(cache.store(test::sampleStamp(file), test::kSampleRules,
                                test::sampleResult(500, file * 1000), Opening::WithoutPassword));
        }
        m_clock.advance(1000);
        QVERIFY(cache.lookup(test::sampleStamp(1), test::kSampleRules)); // the oldest, used again
        for (int file = 6; file <= 8; ++file) {
            m_clock.advance(1000);
            QVERIFY(cache.store(test::sampleStamp(file), test::kSampleRules,
                                test::sampleResult(500, file * 1000), Opening::WithoutPassword));
        }
        QVERIFY(!cache.store(test::sampleStamp(9), test::kSampleRules, test::sampleResult(8000),
                             Opening::WithoutPassword)); // larger than the whole cache
        QVERIFY(cache.problem().isEmpty());
    }
    QVERIFY2(QFileInfo(database()).size() <= limits.bytes,
             qPrintable(QString::number(QFileInfo(database()).size())));
    ResultsCache cache(folder(), m_clock, limits);
    QList<int> kept;
    for (int file = 1; file <= 9; ++file) {
        if (cache.lookup(test::sampleStamp(file), test::kSampleRules))
            kept.append(file);
    }
    const QList<int> newest{6, 7, 8};
    const bool expected =
        kept.size() > 3 && kept.contains(1) && !kept.contains(2) && kept.sliced(kept.size() - 3) == newest;
    QVERIFY2(expected, qPrintable(QDebug::toString(kept)));
}

void TestResultsCache::usesWithinTheHourWriteNothing()
{
    const auto files = [this] {
        return QByteArray(test::readFile(database()) + test::readFile(database() + u"-wal"_s));
    };
    const auto useAfter = [this](qint64 ms) {
        ResultsCache cache(folder(), m_clock);
        m_clock.advance(ms);
        return cache.lookup(test::sampleStamp(1), test::kSampleRules) && cache.flush();
    };
    {
        ResultsCache cache(folder(), m_clock);
        QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
    }
    const QByteArray before = files();
    QVERIFY(useAfter(60 * 60 * 1000 - 1));
    QCOMPARE(files(), before); // a second run within the hour
    QVERIFY(useAfter(1));
    QVERIFY(files() != before);
}

void TestResultsCache::clearRemovesOnlyTheCache()
{
    QVERIFY(ResultsCache::clear(folder()).isEmpty()); // nothing there yet
    const QString notes = folder() + u"/notes.txt"_s;
    {
        ResultsCache cache(folder(), m_clock);
        QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
        QVERIFY(test::writeFile(database() + u".corrupt"_s, "set aside"));
        QVERIFY(test::writeFile(notes, "mine"));
        QVERIFY(ResultsCache::clear(folder()).isEmpty());
    }
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"notes.txt"_s});
    ResultsCache cache(folder(), m_clock);
    QVERIFY(!cache.lookup(test::sampleStamp(1), test::kSampleRules));
    QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
}

void TestResultsCache::twoRunsShareOneCache()
{
    // Both start on a folder without a cache, so they also race to make it; then both
    // write at once.
    constexpr int kEach = 400;
    QList<std::shared_ptr<QProcess>> runs;
    for (int run = 0; run < 2; ++run) {
        runs.append(std::make_shared<QProcess>());
        runs.last()->start(QStringLiteral(PELMORA_CACHE_WRITER),
                           {folder(), QString::number(run * kEach), QString::number(kEach)});
    }
    for (const std::shared_ptr<QProcess> &run : std::as_const(runs))
        QTRY_VERIFY_WITH_TIMEOUT(run->canReadLine(), 60000);
    for (const std::shared_ptr<QProcess> &run : std::as_const(runs))
        run->write("go\n");
    for (const std::shared_ptr<QProcess> &run : std::as_const(runs)) {
        QVERIFY(run->waitForFinished(120000));
        QCOMPARE(run->readAllStandardError(), QByteArray());
        QCOMPARE(run->readAllStandardOutput(), "ready\n"_ba);
        QCOMPARE(run->exitCode(), 0);
    }
    ResultsCache cache(folder(), m_clock);
    for (int i = 0; i < 2 * kEach; ++i)
        QCOMPARE(cache.lookup(test::sampleStamp(quint64(i)), test::kSampleRules), test::sampleResult(3, i));
}

void TestResultsCache::aNewCacheWaitsForAnotherRunsWrite()
{
    // Another run has made the tables and still writes, before it turns the log on: the
    // change to write-ahead logging, which needs the file to itself, waits for it.
    {
        ResultsCache made(folder(), m_clock);
    }
    QVERIFY(RawConnection(database()).exec(u"PRAGMA journal_mode = DELETE"_s));
    std::promise<void> writing;
    std::thread other([this, &writing] {
        RawConnection raw(database());
        raw.exec(u"BEGIN IMMEDIATE"_s);
        writing.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    writing.get_future().wait();
    ResultsCache cache(folder(), m_clock);
    other.join();
    QVERIFY2(cache.isUsable(), qPrintable(cache.problem()));
    QVERIFY(cache.store(test::sampleStamp(1), test::kSampleRules, {}, Opening::WithoutPassword));
    QVERIFY(cache.flush());
}

QTEST_GUILESS_MAIN(TestResultsCache)
#include "tst_resultscache.moc"
