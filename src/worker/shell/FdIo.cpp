#include "worker/shell/FdIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pelmora::worker {

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

long ReadSome(int fd, std::string &into, std::size_t most)
{
    const std::size_t before = into.size();
    into.resize(before + most);
    ssize_t got;
    do {
        got = ::read(fd, into.data() + before, most);
    } while (got < 0 && errno == EINTR);
    into.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
    return static_cast<long>(got);
}

int SetStandardOutputAside()
{
    const int frames = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (frames < 0)
        return -1;
    int replacement = ::fcntl(STDERR_FILENO, F_GETFD) >= 0 ? STDERR_FILENO : -1;
    if (replacement < 0)
        replacement = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (replacement < 0 || ::dup2(replacement, STDOUT_FILENO) < 0) {
        ::close(frames);
        return -1;
    }
    if (replacement != STDERR_FILENO)
        ::close(replacement);
    return frames;
}

} // namespace pelmora::worker
