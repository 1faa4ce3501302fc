#include "inputs/FolderWalk.h"

#include "core/AppError.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "inputs/PathText.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Longest path the system opens, terminating NUL included.
constexpr qsizetype kPathLimit = PATH_MAX;

// Wildcard matching as the classic directory listing does it: letter case ignored, and
// "*.*" takes names without a dot too.
class NamePattern
{
public:
    explicit NamePattern(const QString &pattern)
    {
        if (pattern == u"*"_s || pattern == u"*.*"_s)
            m_kind = Kind::All;
        else if (pattern.startsWith(u'*') && !pattern.mid(1).contains(u'*') && !pattern.contains(u'?')) {
            m_kind = Kind::Suffix;
            m_suffix = pattern.mid(1);
        } else {
            m_kind = Kind::Wildcard;
            m_wildcard = QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
        }
    }

    bool matches(const QString &name) const
    {
        switch (m_kind) {
        case Kind::All:
            return true;
        case Kind::Suffix:
            return name.endsWith(m_suffix, Qt::CaseInsensitive);
        case Kind::Wildcard:
            return m_wildcard.match(name).hasMatch();
        }
        return false;
    }

private:
    enum class Kind
    {
        All,
        Suffix,
        Wildcard
    };
    Kind m_kind = Kind::All;
    QString m_suffix;
    QRegularExpression m_wildcard;
};

bool listingOrder(const QString &a, const QString &b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

QString tooLongText()
{
    return u"the path is longer than the system opens ("_s + QString::number(kPathLimit - 1) + u" bytes)"_s;
}

QString errorText(int error, const QString &folder)
{
    return u"The folder "_s + folder + u" cannot be read: "_s + qt_error_string(error);
}

enum class OpenFailure
{
    None,
    Denied,
    NotAFolder,
    Other
};

OpenFailure classify(int error)
{
    switch (error) {
    case 0:
        return OpenFailure::None;
    case EACCES:
    case EPERM:
        return OpenFailure::Denied;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return OpenFailure::NotAFolder;
    default:
        return OpenFailure::Other;
    }
}

// Which links a listing takes: all, or only links to files inside `root` (a real path).
struct LinkRule
{
    bool follow = true;
    QByteArray root;

    bool takes(const QByteArray &folder, const char *name, bool toFolder) const
    {
        if (follow)
            return true;
        if (toFolder)
            return false;
        char real[PATH_MAX];
        const QByteArray link = folder + name;
        return ::realpath(link.constData(), real) &&
               (root == "/" || QByteArrayView(real).startsWith(QByteArray(root + '/')));
    }
};

QByteArray realPath(const QByteArray &path)
{
    char real[PATH_MAX];
    return ::realpath(path.constData(), real) ? QByteArray(real) : path;
}

// A folder as the system knows it, whatever its name.
using Identity = std::pair<quint64, quint64>;

Identity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

// A sub-folder as its parent listed it: what it was then is what may be entered later.
struct SubFolder
{
    QString name;
    Identity identity;
    bool viaLink = false;
};

// One folder's entries: sub-folders and matching files (links as `links` says), each in listing
// order. Names that are not valid UTF-8 keep their bytes (PathFromNative), so their rows
// name them again.
struct Listing
{
    QList<SubFolder> folders;
    QStringList files;
    int error = 0;
};

// Reads an open folder (at `path`, ending in "/") and closes it; `files` may be null when
// only sub-folders matter.
Listing readFolder(int fd, const QByteArray &path, const NamePattern *files, const LinkRule &links)
{
    Listing listing;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        listing.error = errno;
        ::close(fd);
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat own;
            if (::fstatat(::dirfd(dir), entry->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISLNK(own.st_mode)   ? DT_LNK
                   : S_ISDIR(own.st_mode) ? DT_DIR
                   : S_ISREG(own.st_mode) ? DT_REG
                                          : 0;
        }
        struct stat target;
        const bool viaLink = type == DT_LNK;
        if (viaLink) {
            if (::fstatat(::dirfd(dir), entry->d_name, &target, 0) != 0)
                continue; // a dangling link or a loop of links: neither file nor folder
            const bool toFolder = S_ISDIR(target.st_mode);
            if (!links.takes(path, entry->d_name, toFolder))
                continue;
            type = toFolder ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
        } else if (type == DT_DIR &&
                   (::fstatat(::dirfd(dir), entry->d_name, &target, AT_SYMLINK_NOFOLLOW) != 0 ||
                    !S_ISDIR(target.st_mode))) {
            continue; // gone, or no longer a folder, since it was listed
        }
        if (type == DT_DIR) {
            listing.folders.append({PathFromNative(name), identityOf(target), viaLink});
        } else if (type == DT_REG && files) {
            QString text = PathFromNative(name);
            if (files->matches(text))
                listing.files.append(std::move(text));
        }
    }
    ::closedir(dir);
    std::sort(listing.folders.begin(), listing.folders.end(),
              [](const SubFolder &a, const SubFolder &b) { return listingOrder(a.name, b.name); });
    std::sort(listing.files.begin(), listing.files.end(), listingOrder);
    return listing;
}

// `follow`: the last name may be a link (a starting folder, or a link the walk takes).
int openFolder(const QByteArray &path, bool follow = true)
{
    return ::open(path.constData(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | (follow ? 0 : O_NOFOLLOW));
}

QString replacedText()
{
    return u"it was replaced while the folder walk ran, so it was not entered"_s;
}

} // namespace

// The breadth-first walk, one folder a step: first the starting entries, then every
// folder one level down in their parents' order, and so on. Each folder is read once;
// when a pattern is given, the rows of its files are kept.
class Walker
{
public:
    struct Folder
    {
        QString text; // ends in "/"
        QByteArray native;
        QByteArray root; // the real path of the starting folder it lies in
        // What its parent listed; none for a starting folder, which is taken as given.
        std::optional<SubFolder> listed;
        bool kept = true;
    };

    Walker(const WalkHooks &hooks, const QString *pattern, const QStringList &start, bool recurse)
        : m_hooks(hooks), m_startCount(start.size()), m_recurse(recurse)
    {
        if (pattern)
            m_files.emplace(*pattern);
        for (const QString &entry : start) {
            const QByteArray native = NativePath(entry);
            m_folders.append({entry, native, realPath(native), std::nullopt});
        }
    }

    bool stopped() const { return m_stopped; }

    // Reads the next folder; false when none is left to read.
    bool step()
    {
        if (m_stopped || m_next >= m_folders.size() || (!m_recurse && m_next >= m_startCount))
            return false;
        const qsizetype at = m_next++;
        const bool startLevel = at < m_startCount;
        QList<Folder> found;
        const bool keep = visit(m_folders[at], found, startLevel);
        m_folders[at].kept = keep || m_stopped;
        m_folders.append(std::move(found));
        return true;
    }

    // The folders walked or still to walk, in walk order, without those that left the
    // result. Without recursion, the sub-folders found are listed but not read.
    QStringList folders() const
    {
        QStringList list;
        for (qsizetype i = 0; i < m_folders.size(); ++i) {
            const Folder &folder = m_folders[i];
            const bool unread = !m_recurse && i >= m_startCount;
            if (folder.kept && (!unread || IsFolder(folder.text)))
                list.append(folder.text);
        }
        return list;
    }

    QStringList takeRows() { return std::exchange(m_rows, {}); }
    qsizetype hiddenLeftOut() const { return m_hiddenLeftOut; }

private:
    // Lists one folder into `next`; false when it leaves the result.
    bool visit(Folder &folder, QList<Folder> &next, bool startLevel)
    {
        if (folder.native.size() >= kPathLimit) {
            unreadable(folder.text, tooLongText());
            return true; // too long to open; kept as the listing would keep it, but not read
        }
        if (m_hooks.progress && !m_hooks.progress(folder.text)) {
            m_stopped = true;
            return true;
        }
        // A sub-folder is opened only as what its parent listed: a folder swapped for a link,
        // or for another folder, meanwhile would lead the walk elsewhere.
        const int fd = openFolder(folder.native, !folder.listed || folder.listed->viaLink);
        const int openError = fd < 0 ? errno : 0;
        if (openError == ELOOP && folder.listed && !folder.listed->viaLink) {
            unreadable(folder.text, replacedText());
            return false;
        }
        const OpenFailure failure = classify(openError);
        if (failure == OpenFailure::Denied) {
            unreadable(folder.text, qt_error_string(openError));
            return false;
        }
        if (failure == OpenFailure::NotAFolder)
            return startLevel; // a starting entry stays as given; a vanished sub-folder goes
        if (failure == OpenFailure::Other) {
            report(openError, folder.text);
            return true;
        }
        struct stat self
        {
        };
        const int statError = ::fstat(fd, &self) == 0 ? 0 : errno;
        const Identity identity = identityOf(self);
        if (statError == 0 && folder.listed && folder.listed->identity != identity) {
            ::close(fd);
            unreadable(folder.text, replacedText());
            return false;
        }
        if (statError != 0 || m_seen.contains(identity)) {
            ::close(fd); // a link back up the tree, or a second way into a folder already read
            if (statError != 0)
                report(statError, folder.text);
            return statError != 0;
        }
        m_seen.insert(identity);
        const Listing listing =
            readFolder(fd, folder.native, m_files ? &*m_files : nullptr, {m_hooks.followLinks, folder.root});
        // A starting folder is walked whatever its name; hidden ones below it only when asked.
        for (const SubFolder &sub : listing.folders) {
            if (sub.name.startsWith(u'.') && !m_hooks.hidden) {
                ++m_hiddenLeftOut;
                continue;
            }
            const QString text = folder.text + sub.name + u'/';
            next.append({text, NativePath(text), folder.root, sub});
        }
        if (classify(listing.error) == OpenFailure::Denied) {
            unreadable(folder.text, qt_error_string(listing.error));
            return false;
        }
        if (classify(listing.error) == OpenFailure::NotAFolder)
            return false;
        if (listing.error != 0)
            report(listing.error, folder.text);
        if (m_files)
            m_rows += rowsOf(folder, listing.files);
        return true;
    }

    QStringList rowsOf(const Folder &folder, const QStringList &names)
    {
        QStringList rows;
        const QStringView base = QStringView(folder.text).chopped(1);
        for (const QString &name : names) {
            if (name.startsWith(u'.') && !m_hooks.hidden) {
                ++m_hiddenLeftOut;
                continue;
            }
            // No program could open a longer path; three bytes per unit is UTF-8's most.
            QString row = CollapseBackslashes(base + u'/' + name, u'/');
            if (folder.native.size() + 3 * name.size() >= kPathLimit &&
                folder.native.size() + NativePath(name).size() >= kPathLimit) {
                unreadable(row, tooLongText());
                continue;
            }
            rows.append(std::move(row));
        }
        return rows;
    }

    void report(int error, const QString &folder)
    {
        if (m_hooks.unreadable)
            m_hooks.unreadable(folder, qt_error_string(error));
        else if (m_hooks.failed)
            m_hooks.failed(errorText(error, folder));
    }

    void unreadable(const QString &path, const QString &why) const
    {
        if (m_hooks.unreadable)
            m_hooks.unreadable(path, why);
    }

    const WalkHooks &m_hooks;
    std::optional<NamePattern> m_files;
    QSet<Identity> m_seen;
    QList<Folder> m_folders;
    qsizetype m_startCount = 0;
    qsizetype m_next = 0;
    bool m_recurse = true;
    QStringList m_rows;
    qsizetype m_hiddenLeftOut = 0;
    bool m_stopped = false;
};

QStringList GetFilesInFolder(const QString &folder, const QString &pattern)
{
    const QString path = folder.endsWith(u'/') ? folder : folder + u'/';
    const int fd = openFolder(NativePath(path));
    if (fd < 0) {
        if (classify(errno) == OpenFailure::NotAFolder)
            return {};
        throw AppError(errorText(errno, folder));
    }
    const NamePattern files(pattern);
    Listing listing = readFolder(fd, NativePath(path), &files, LinkRule{});
    if (listing.error != 0)
        throw AppError(errorText(listing.error, folder));
    return listing.files;
}

bool GetSubDirectories2016(QStringList &FolderList, bool recurse, const WalkHooks &hooks)
{
    Walker walker(hooks, nullptr, FolderList, recurse);
    while (walker.step()) {
    }
    FolderList = walker.folders();
    return !walker.stopped();
}

FolderScan::FolderScan(const QString &pattern, WalkHooks hooks)
    : m_pattern(pattern), m_hooks(std::move(hooks))
{
}

FolderScan::~FolderScan() = default;

void FolderScan::start(const QString &folder)
{
    m_hiddenBefore = hiddenLeftOut();
    m_walker = std::make_unique<Walker>(m_hooks, &m_pattern, QStringList{folder + u'/'}, true);
}

bool FolderScan::step()
{
    return m_walker && m_walker->step();
}

bool FolderScan::stopped() const
{
    return m_walker && m_walker->stopped();
}

qsizetype FolderScan::hiddenLeftOut() const
{
    return m_hiddenBefore + (m_walker ? m_walker->hiddenLeftOut() : 0);
}

QStringList FolderScan::takeRows()
{
    return m_walker ? m_walker->takeRows() : QStringList();
}

QStringList FolderScan::filesIn(const QString &folder)
{
    start(folder);
    while (step()) {
    }
    return takeRows();
}

} // namespace pelmora
