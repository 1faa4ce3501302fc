#pragma once

#include "cache/FileResult.h"
#include "cache/FileStamp.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

namespace pelmora {

class Clock;

struct CacheLimits
{
    qint64 bytes = 256 * 1024 * 1024; // the database's size; the longest unused go first
    int busyTimeoutMs = 2000;         // how long to wait for another run's write
    // A result used is marked with the time only when its last mark is this old: the
    // order in which results go need not be finer.
    qint64 markUsedAfterMs = 60 * 60 * 1000;
};

// What earlier runs found in each file, so a later run takes it instead of converting
// the file again. One SQLite database in WAL mode in a folder of its own (0700; its
// files 0600), shared safely by runs at the same time.
//
// A file's result is found by its stamp (FileStamp) and by `rules`: a text of the
// caller's that names everything else that changes what a file gives (the program's
// and the converter's versions, mailto: links, recognition and its languages, the
// address rules). Any difference in either is a miss.
//
// A cache that cannot be used (damaged, held by another run for long, on a full or
// read-only disk, made by a newer version) is set aside at the first sign: problem()
// then holds one line saying so, and every later call is a miss or does nothing, so the
// run goes on without it. A damaged database is moved aside within the folder, so the
// next run starts a new one; nothing outside the folder is ever touched.
//
// Results stored and the times of results used are written together, in one
// transaction: when 64 results or 4 MiB wait, at the first call after one has waited a
// second, at flush() and when the cache goes. Until then only this cache sees them.
//
// Not thread-safe: use each cache from the thread that made it.
class ResultsCache
{
public:
    // Whether the file needed a password to open. Its addresses are never kept: they
    // would then be readable without it.
    enum class Opening
    {
        WithoutPassword,
        WithPassword,
    };

    ResultsCache(const QString &folder, Clock &clock, CacheLimits limits = {});
    // Writes what waits.
    ~ResultsCache();
    ResultsCache(const ResultsCache &) = delete;
    ResultsCache &operator=(const ResultsCache &) = delete;

    // $XDG_CACHE_HOME/pelmora (~/.cache/pelmora).
    static QString defaultFolder();
    // The database in `folder`.
    static QString databasePath(const QString &folder);
    // Removes the database files of `folder` and nothing else; a folder without them is
    // fine. An empty text when done, else one line saying what could not be removed.
    static QString clear(const QString &folder);

    bool isUsable() const { return m_usable; }
    // Why the cache was set aside, as one line for the command's standard error; empty
    // while it is in use.
    const QString &problem() const { return m_problem; }
    // Whether the problem outlasts this cache: all but a damaged database moved aside,
    // as a new one takes its place by itself.
    bool problemLasts() const { return !m_problem.isEmpty() && !m_movedAside; }

    std::optional<FileResult> lookup(const FileStamp &stamp, const QString &rules);
    // Keeps the result of a file whose conversion ran to its end, replacing any older one
    // of the same file under the same rules; once written, the results used longest ago
    // go while the database is over its size. False when nothing is kept: set aside, a
    // file that needed a password, or a result larger than the whole cache may be.
    bool store(const FileStamp &stamp, const QString &rules, const FileResult &result, Opening opening);
    // Writes what waits now; false when the cache is set aside.
    bool flush();

private:
    bool open();
    bool makeFolder();
    bool createFile();
    bool prepareSchema();
    bool makeSchema();
    bool useWriteAheadLog();
    std::optional<qint64> readNumber(const QString &sql);
    bool prepareStatements();
    // Prepares and runs `sql`; false when the cache was set aside.
    bool execute(QSqlQuery &query, const QString &sql);
    bool execute(const QString &sql);
    // Runs a prepared statement with these values.
    bool run(QSqlQuery &query, const QVariantList &values);
    struct Pending;
    Pending *pending(const FileStamp &stamp, const QByteArray &rules);
    void flushWhenDue();
    bool writeTransaction(const std::function<bool()> &work);
    bool writeLastUsed();
    bool prune();
    bool dropLongestUnused(qint64 bytes);
    bool fail(const QSqlError &error);
    bool setAside(const QString &why);
    QString heldTooLong() const;
    void setAsideDamaged();
    void close();

    struct Statements;

    QString m_folder;
    QString m_path;
    QString m_connection;
    Clock &m_clock;
    CacheLimits m_limits;
    quint64 m_device = 0; // of the database file as opened, so that only that one is moved aside
    quint64 m_inode = 0;
    std::unique_ptr<Statements> m_statements;
    QList<Pending> m_pending;
    qint64 m_pendingBytes = 0;
    qint64 m_pendingSince = 0; // by the clock's now()
    QList<qint64> m_used;      // rows looked up since the last write, to be marked used
    QString m_problem;
    bool m_movedAside = false;
    bool m_usable = false;
};

} // namespace pelmora
