#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantrel {

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool InstanceLock::acquire(const std::string& path, std::string* error)
{
    if (m_fd >= 0)
        return true;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = errno == EWOULDBLOCK ? path + ": held by another process"
                                          : path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace vantrel
