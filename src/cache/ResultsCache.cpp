#include "cache/ResultsCache.h"

#include "core/Clock.h"
#include "core/NativePath.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Bumped whenever the tables or the encoding of FileResult change; a cache of a newer
// version is left alone for the program that made it.
constexpr int kSchemaVersion = 2; // 2: the status-change time is part of the key
// "Plmr": marks the database as ours, so that a folder given by the user that holds
// someone else's database of the same name is never changed.
constexpr qint64 kApplicationId = 0x506c6d72;
const auto kDatabaseName = u"pelmora-cache.db"_s;
const auto kSetAsideSuffix = u".corrupt"_s;
// SQLite's companions of a database in WAL mode.
const QStringList kCompanions{u"-wal"_s, u"-shm"_s};
// What is written together, as a write of its own per file would cost more than
// looking it up.
constexpr qsizetype kPendingResults = 64;
constexpr qint64 kPendingBytes = 4 * 1024 * 1024;
constexpr qint64 kPendingMs = 1000;
constexpr qsizetype kPendingUses = 256;
// The WAL is cut back to this after each checkpoint.
constexpr int kWalLimit = 4 * 1024 * 1024;

// SQLite's primary result codes; Qt's driver gives the extended ones, whose low byte they are.
enum SqliteCode
{
    kBusy = 5,
    kLocked = 6,
    kReadOnly = 8,
    kIoError = 10,
    kCorrupt = 11,
    kFull = 13,
    kCantOpen = 14,
    kNotADatabase = 26,
};

std::atomic<quint64> g_connections{0};

// A run's rules are a long text, the same for every file: each row keeps their digest.
QByteArray rulesKey(const QString &rules)
{
    const QByteArray text = rules.toUtf8();
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(text.constData(), static_cast<size_t>(text.size())));
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The database and its companions, named after `database`.
QStringList databaseFiles(const QString &database)
{
    QStringList files{database};
    for (const QString &companion : kCompanions)
        files.append(database + companion);
    return files;
}

} // namespace

// What every lookup and store runs, prepared once.
struct ResultsCache::Statements
{
    explicit Statements(const QSqlDatabase &database)
        : lookup(database), remove(database), insert(database), touch(database), size(database)
    {
    }
    QSqlQuery lookup;
    QSqlQuery remove;
    QSqlQuery insert;
    QSqlQuery touch;
    QSqlQuery size;
};

// A result stored, not yet written.
struct ResultsCache::Pending
{
    FileStamp stamp;
    QByteArray rules; // rulesKey()
    FileVerdict verdict;
    QByteArray addresses;
    qint64 usedAt; // by the calendar
};

ResultsCache::ResultsCache(const QString &folder, Clock &clock, CacheLimits limits)
    : m_folder(folder), m_path(databasePath(folder)),
      m_connection(u"pelmora-cache-"_s + QString::number(++g_connections)), m_clock(clock), m_limits(limits)
{
    open();
}

ResultsCache::~ResultsCache()
{
    flush();
    close();
    m_statements.reset();
    QSqlDatabase::removeDatabase(m_connection);
}

QString ResultsCache::defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + u"/pelmora"_s;
}

QString ResultsCache::databasePath(const QString &folder)
{
    return folder + u'/' + kDatabaseName;
}

QString ResultsCache::clear(const QString &folder)
{
    if (folder.isEmpty())
        return {}; // no folder, no cache
    const QString database = databasePath(folder);
    for (const QString &file : databaseFiles(database) + databaseFiles(database + kSetAsideSuffix)) {
        QFile doomed(file);
        if (doomed.exists() && !doomed.remove())
            return u"the results cache "_s + file + u" cannot be removed: "_s + doomed.errorString() + u'.';
    }
    return {};
}

bool ResultsCache::open()
{
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_s))
        return setAside(u"Qt's SQLite driver is missing (on Debian: libqt6sql6-sqlite)"_s);
    if (m_folder.isEmpty())
        return setAside(u"there is no cache folder (neither XDG_CACHE_HOME nor HOME is set)"_s);
    if (!makeFolder() || !createFile())
        return false;
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    database.setDatabaseName(m_path);
    database.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT="_s + QString::number(m_limits.busyTimeoutMs));
    if (!database.open())
        return fail(database.lastError());
    m_usable = true;
    return prepareSchema();
}

bool ResultsCache::makeFolder()
{
    if (QFileInfo(m_folder).isDir())
        return true;
    // The parents as usual; the folder itself private, as it shows what was read.
    const QByteArray folder = NativePath(m_folder);
    if (!QDir().mkpath(QFileInfo(m_folder).absolutePath()) ||
        (::mkdir(folder.constData(), 0700) != 0 && (errno != EEXIST || !QFileInfo(m_folder).isDir())))
        return setAside(u"its folder cannot be made ("_s + systemError() + u')');
    return true;
}

bool ResultsCache::createFile()
{
    // Made here rather than by SQLite, so that a new one is private from its first byte
    // on; SQLite gives its companions the database's own permissions. An existing file
    // keeps its own.
    const QByteArray path = NativePath(m_path);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST)
        fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return setAside(u"it cannot be written to ("_s + systemError() + u')');
    struct stat status = {};
    const QString unknown = ::fstat(fd, &status) == 0 ? QString() : systemError();
    ::close(fd);
    if (!unknown.isEmpty())
        return setAside(u"it cannot be read ("_s + unknown + u')');
    m_device = static_cast<quint64>(status.st_dev);
    m_inode = static_cast<quint64>(status.st_ino);
    return true;
}

bool ResultsCache::prepareSchema()
{
    // Read before anything is written, so someone else's database is left exactly as it
    // is; in one transaction, as another run may be making the tables meanwhile.
    std::optional<qint64> application;
    std::optional<qint64> tables;
    std::optional<qint64> version;
    if (!execute(u"BEGIN"_s) || !(application = readNumber(u"PRAGMA application_id"_s)) ||
        !(tables = readNumber(u"SELECT count(*) FROM sqlite_master"_s)) ||
        !(version = readNumber(u"PRAGMA user_version"_s)) || !execute(u"COMMIT"_s))
        return false;
    if (*application != kApplicationId && (*application != 0 || *tables != 0))
        return setAside(u"it is a database of another program"_s);
    if (*version > kSchemaVersion)
        return setAside(u"a newer version of the program made it"_s);
    if (*version < kSchemaVersion && !makeSchema())
        return false;
    // Synchronous NORMAL: a power cut may lose the last results kept, never the database.
    return useWriteAheadLog() && execute(u"PRAGMA synchronous = NORMAL"_s) &&
           execute(u"PRAGMA journal_size_limit = "_s + QString::number(kWalLimit)) && prepareStatements();
}

bool ResultsCache::makeSchema()
{
    // Set before the first table, as SQLite requires.
    if (!execute(u"PRAGMA auto_vacuum = INCREMENTAL"_s) || !useWriteAheadLog())
        return false;
    return writeTransaction([this] {
        // Another run may have made it meanwhile. The results of an older version's key are
        // dropped: the files are read again.
        const std::optional<qint64> version = readNumber(u"PRAGMA user_version"_s);
        if (!version)
            return false;
        return *version == kSchemaVersion ||
               (execute(u"DROP TABLE IF EXISTS files"_s) &&
                execute(
                    u"CREATE TABLE files (id INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
                    u"inode INTEGER NOT NULL, size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, "
                    u"changed_ns INTEGER NOT NULL, digest BLOB NOT NULL, rules BLOB NOT NULL, "
                    u"verdict INTEGER NOT NULL, addresses BLOB NOT NULL, last_used INTEGER NOT NULL)"_s) &&
                execute(u"CREATE UNIQUE INDEX files_by_key ON files "
                        u"(device, inode, size, modified_ns, changed_ns, digest, rules)"_s) &&
                execute(u"CREATE INDEX files_by_use ON files (last_used)"_s) &&
                execute(u"PRAGMA application_id = "_s + QString::number(kApplicationId)) &&
                execute(u"PRAGMA user_version = "_s + QString::number(kSchemaVersion)));
    });
}

// The change to write-ahead logging needs the database to itself, and SQLite fails it at
// once, without the wait it grants other locks, while another run has the file open, as
// happens when two runs start on a new cache together. The mode is kept in the file, so
// it is tried again until one of them has made it, within the wait allowed for a lock.
bool ResultsCache::useWriteAheadLog()
{
    const QDeadlineTimer deadline(m_limits.busyTimeoutMs);
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    for (;;) {
        if (query.exec(u"PRAGMA journal_mode = WAL"_s) && query.next() &&
            query.value(0).toString() == u"wal"_s)
            return true;
        const QSqlError error = query.lastError();
        const int code = error.nativeErrorCode().toInt() & 0xff;
        const bool refused = error.type() == QSqlError::NoError || code == kBusy || code == kLocked;
        if (!refused)
            return fail(error);
        if (deadline.hasExpired())
            return setAside(heldTooLong());
        query.finish();
        QThread::msleep(5);
    }
}

bool ResultsCache::prepareStatements()
{
    m_statements = std::make_unique<Statements>(QSqlDatabase::database(m_connection, false));
    const QList<std::pair<QSqlQuery *, QString>> statements{
        {&m_statements->lookup, u"SELECT id, verdict, addresses, last_used FROM files WHERE device = ? AND "
                                u"inode = ? AND size = ? AND modified_ns = ? AND changed_ns = ? AND "
                                u"digest = ? AND rules = ?"_s},
        // The same file under the same rules has one result: an older one is of contents gone.
        {&m_statements->remove, u"DELETE FROM files WHERE device = ? AND inode = ? AND rules = ?"_s},
        {&m_statements->insert,
         u"INSERT INTO files (device, inode, size, modified_ns, changed_ns, digest, rules, verdict, "
         u"addresses, last_used) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s},
        {&m_statements->touch, u"UPDATE files SET last_used = ? WHERE id = ?"_s},
        {&m_statements->size, u"SELECT page_count, freelist_count, page_size "
                              u"FROM pragma_page_count(), pragma_freelist_count(), pragma_page_size()"_s}};
    for (const auto &[query, sql] : statements) {
        query->setForwardOnly(true);
        if (!query->prepare(sql))
            return fail(query->lastError());
    }
    return true;
}

std::optional<FileResult> ResultsCache::lookup(const FileStamp &stamp, const QString &rules)
{
    if (!m_usable)
        return std::nullopt;
    flushWhenDue();
    const QByteArray key = rulesKey(rules);
    if (Pending *waiting = pending(stamp, key)) {
        waiting->usedAt = m_clock.wallTime();
        if (std::optional<FileResult> result = DecodeFindings(waiting->verdict, waiting->addresses))
            return result;
    }
    QSqlQuery &query = m_statements->lookup;
    if (!run(query, {qint64(stamp.device), qint64(stamp.inode), stamp.size, stamp.modifiedNs, stamp.changedNs,
                     stamp.digest, key}))
        return std::nullopt;
    if (!query.next()) {
        if (query.lastError().isValid())
            fail(query.lastError());
        return std::nullopt;
    }
    const qint64 id = query.value(0).toLongLong();
    const qint64 verdict = query.value(1).toLongLong();
    const QByteArray findings = query.value(2).toByteArray();
    const qint64 lastUsed = query.value(3).toLongLong();
    query.finish();
    // A row this version cannot read is a miss; storing the file again replaces it.
    if (verdict < 0 || verdict > qint64(FileVerdict::Damaged))
        return std::nullopt;
    std::optional<FileResult> result = DecodeFindings(static_cast<FileVerdict>(verdict), findings);
    if (!result)
        return std::nullopt;
    // Marked again only when its mark is old: runs over the same files within that time
    // write nothing at all.
    if (m_clock.wallTime() - lastUsed >= m_limits.markUsedAfterMs)
        m_used.append(id);
    return result;
}

bool ResultsCache::store(const FileStamp &stamp, const QString &rules, const FileResult &result,
                         Opening opening)
{
    if (!m_usable || opening == Opening::WithPassword)
        return false;
    QByteArray addresses = EncodeFindings(result);
    QByteArray key = rulesKey(rules);
    if (addresses.size() + key.size() > m_limits.bytes)
        return false; // it would push out everything else, itself included
    m_pending.removeIf([&](const Pending &older) {
        const bool replaced =
            older.stamp.device == stamp.device && older.stamp.inode == stamp.inode && older.rules == key;
        m_pendingBytes -= replaced ? older.addresses.size() : 0;
        return replaced;
    });
    if (m_pending.isEmpty())
        m_pendingSince = m_clock.now();
    m_pendingBytes += addresses.size();
    m_pending.append({stamp, std::move(key), result.verdict, std::move(addresses), m_clock.wallTime()});
    flushWhenDue();
    return m_usable;
}

bool ResultsCache::flush()
{
    if (!m_usable)
        return false;
    if (m_pending.isEmpty() && m_used.isEmpty())
        return true;
    const bool written = writeTransaction([this] {
        if (!writeLastUsed())
            return false;
        for (const Pending &each : std::as_const(m_pending)) {
            const FileStamp &stamp = each.stamp;
            if (!run(m_statements->remove, {qint64(stamp.device), qint64(stamp.inode), each.rules}) ||
                !run(m_statements->insert, {qint64(stamp.device), qint64(stamp.inode), stamp.size,
                                            stamp.modifiedNs, stamp.changedNs, stamp.digest, each.rules,
                                            qint64(each.verdict), each.addresses, each.usedAt}))
                return false;
        }
        return true;
    });
    const bool grew = !m_pending.isEmpty();
    m_pending.clear();
    m_pendingBytes = 0;
    return written && (!grew || prune());
}

void ResultsCache::flushWhenDue()
{
    if (m_pending.size() >= kPendingResults || m_pendingBytes >= kPendingBytes ||
        m_used.size() >= kPendingUses ||
        (!m_pending.isEmpty() && m_clock.now() - m_pendingSince >= kPendingMs))
        flush();
}

ResultsCache::Pending *ResultsCache::pending(const FileStamp &stamp, const QByteArray &rules)
{
    for (Pending &each : m_pending) {
        if (each.stamp == stamp && each.rules == rules)
            return &each;
    }
    return nullptr;
}

bool ResultsCache::writeLastUsed()
{
    const qint64 now = m_clock.wallTime();
    for (const qint64 id : std::as_const(m_used)) {
        if (!run(m_statements->touch, {now, id}))
            return false;
    }
    m_used.clear();
    return true;
}

bool ResultsCache::prune()
{
    // Each round drops what the rows' own sizes say is too much and gives the pages left
    // free back to the file system; the file's real size decides.
    for (int round = 0; round < 4; ++round) {
        QSqlQuery &size = m_statements->size;
        if (!run(size, {}))
            return false;
        if (!size.next())
            return fail(size.lastError());
        const qint64 pages = size.value(0).toLongLong();
        const qint64 free = size.value(1).toLongLong();
        const qint64 pageSize = size.value(2).toLongLong();
        size.finish();
        if (pages * pageSize <= m_limits.bytes)
            return true;
        // Down to nine tenths, so that the next results do not each prune again.
        const qint64 excess = (pages - free) * pageSize - m_limits.bytes / 10 * 9;
        if (excess > 0 && !writeTransaction([&] { return dropLongestUnused(excess); }))
            return false;
        // It frees one page per step.
        QSqlQuery vacuum(QSqlDatabase::database(m_connection, false));
        if (!execute(vacuum, u"PRAGMA incremental_vacuum"_s))
            return false;
        while (vacuum.next()) {
        }
        if (vacuum.lastError().isValid())
            return fail(vacuum.lastError());
    }
    return true;
}

bool ResultsCache::dropLongestUnused(qint64 bytes)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!execute(query,
                 u"SELECT id, length(addresses) + length(rules) + 64 FROM files ORDER BY last_used, id"_s))
        return false;
    QList<qint64> doomed;
    for (qint64 dropped = 0; dropped < bytes && query.next();) {
        doomed.append(query.value(0).toLongLong());
        dropped += query.value(1).toLongLong();
    }
    if (query.lastError().isValid())
        return fail(query.lastError());
    query.finish();
    if (!query.prepare(u"DELETE FROM files WHERE id = ?"_s))
        return fail(query.lastError());
    for (const qint64 id : std::as_const(doomed)) {
        if (!run(query, {id}))
            return false;
    }
    return true;
}

std::optional<qint64> ResultsCache::readNumber(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!execute(query, sql))
        return std::nullopt;
    if (!query.next()) {
        fail(query.lastError());
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

bool ResultsCache::execute(QSqlQuery &query, const QString &sql)
{
    if (!m_problem.isEmpty())
        return false; // set aside, and closed
    query.setForwardOnly(true);
    return query.prepare(sql) ? run(query, {}) : fail(query.lastError());
}

bool ResultsCache::run(QSqlQuery &query, const QVariantList &values)
{
    if (!m_problem.isEmpty())
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    return query.exec() || fail(query.lastError());
}

bool ResultsCache::execute(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    return execute(query, sql);
}

bool ResultsCache::writeTransaction(const std::function<bool()> &work)
{
    // IMMEDIATE: the write lock is taken (or waited for) at once, never upgraded from a
    // read halfway, which in WAL mode fails without waiting.
    // Every failure sets the cache aside, and closing it rolls back.
    return execute(u"BEGIN IMMEDIATE"_s) && work() && execute(u"COMMIT"_s);
}

bool ResultsCache::fail(const QSqlError &error)
{
    if (!m_problem.isEmpty())
        return false; // set aside already
    const int code = error.nativeErrorCode().toInt() & 0xff;
    close();
    switch (code) {
    case kCorrupt:
    case kNotADatabase:
        setAsideDamaged();
        return false;
    case kBusy:
    case kLocked:
        return setAside(heldTooLong());
    case kFull:
        return setAside(u"the disk is full"_s);
    case kReadOnly:
    case kCantOpen:
        return setAside(u"it cannot be written to"_s);
    case kIoError:
        return setAside(u"the disk could not be read or written"_s);
    default:
        return setAside(error.databaseText().isEmpty() ? u"SQLite gave no answer"_s
                                                       : error.databaseText().simplified());
    }
}

QString ResultsCache::heldTooLong() const
{
    return u"another run held it for more than "_s + QString::number(m_limits.busyTimeoutMs) + u" ms"_s;
}

bool ResultsCache::setAside(const QString &why)
{
    close();
    m_usable = false;
    m_problem =
        u"the results cache "_s + m_path + u" is not used: "_s + why + u"; the run goes on without it."_s;
    return false;
}

void ResultsCache::setAsideDamaged()
{
    // Moved aside only when it is still the file this cache opened: another run may have
    // moved it and begun a new one meanwhile. The one moved aside before goes.
    struct stat status = {};
    const QString aside = m_path + kSetAsideSuffix;
    const bool same = ::stat(NativePath(m_path).constData(), &status) == 0 &&
                      static_cast<quint64>(status.st_dev) == m_device &&
                      static_cast<quint64>(status.st_ino) == m_inode;
    bool moved = same;
    if (same) {
        const QStringList from = databaseFiles(m_path);
        const QStringList to = databaseFiles(aside);
        for (qsizetype i = 0; i < from.size(); ++i) {
            const QByteArray target = NativePath(to[i]);
            if (::rename(NativePath(from[i]).constData(), target.constData()) == 0)
                continue;
            if (errno == ENOENT)
                ::unlink(target.constData()); // no stale companion beside the one moved aside
            else
                moved = false;
        }
    }
    m_movedAside = moved;
    setAside(moved
                 ? u"it is damaged, and was moved aside to "_s + aside + u" (the next run starts a new one)"_s
                 : u"it is damaged (--clear-cache removes it)"_s);
}

void ResultsCache::close()
{
    // The prepared statements stay: closing finalizes them, and callers may still hold them.
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::database(m_connection, false).close();
}

} // namespace pelmora
