#include "worker/FdIo.h"

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

} // namespace pelmora::worker
