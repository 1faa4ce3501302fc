#include "cache/FileStamp.h"

#include "core/NativePath.h"

#include <QScopeGuard>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace pelmora {

namespace {

constexpr qint64 kSpan = 64 * 1024;

// Feeds `length` bytes from `offset` to the digest; false when the file ends early
// (it shrank meanwhile) or cannot be read.
bool digestRange(int fd, qint64 offset, qint64 length, XXH3_state_t &state)
{
    QByteArray buffer(static_cast<qsizetype>(std::min(length, kSpan)), Qt::Uninitialized);
    while (length > 0) {
        const ssize_t got =
            ::pread(fd, buffer.data(), static_cast<size_t>(std::min<qint64>(length, buffer.size())),
                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        XXH3_128bits_update(&state, buffer.constData(), static_cast<size_t>(got));
        offset += got;
        length -= got;
    }
    return true;
}

} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path)
{
    // Not blocking: a FIFO among the inputs must not stall the run here.
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;

    FileStamp stamp;
    stamp.device = static_cast<quint64>(status.st_dev);
    stamp.inode = static_cast<quint64>(status.st_ino);
    stamp.size = static_cast<qint64>(status.st_size);
    stamp.modifiedNs = static_cast<qint64>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changedNs = static_cast<qint64>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;

    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return std::nullopt;
    const qint64 head = std::min(stamp.size, kSpan);
    const qint64 tail = std::max(head, stamp.size - kSpan);
    if (!digestRange(fd, 0, head, *state) || !digestRange(fd, tail, stamp.size - tail, *state))
        return std::nullopt;
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    stamp.digest = QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
    return stamp;
}

} // namespace pelmora
