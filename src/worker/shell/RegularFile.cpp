#include "worker/shell/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelmora::worker {

namespace {

RegularFile refused(const std::string &path, const char *why,
                    protocol::Outcome outcome = protocol::Outcome::Damaged)
{
    RegularFile file;
    file.outcome = outcome;
    file.problem = "Couldn't open file '" + path + "': " + why + ".";
    return file;
}

} // namespace

RegularFile OpenRegularFile(const std::string &path)
{
    // A name with a NUL in it cannot be handed to open(2) without meaning another file.
    if (path.find('\0') != std::string::npos) {
        RegularFile file;
        file.problem = "Couldn't open file: the name holds a NUL byte.";
        return file;
    }
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refused(path, std::strerror(errno));
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return refused(path, std::strerror(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return refused(path, "not a regular file", protocol::Outcome::NotRegular);
    }
    // Reads of a regular file never wait; the flag is dropped only to read plainly.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    RegularFile file;
    file.fd = fd;
    file.outcome = protocol::Outcome::Text;
    return file;
}

} // namespace pelmora::worker
