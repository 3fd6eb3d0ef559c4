#pragma once

// Keeps a second copy of a program from running for the same user: the
// first copy holds an exclusive lock on a file until it exits (the kernel
// drops the lock when the process dies, so a crash never leaves it stale).

#include <string>

namespace vantrel {

class InstanceLock
{
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock at path; false when another
    // process holds it or the file cannot be made (error says which).
    bool acquire(const std::string& path, std::string* error = nullptr);
    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace vantrel
