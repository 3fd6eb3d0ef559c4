#pragma once

// Keeps a second copy of a program from running beside the first: the first
// copy holds an exclusive lock on a file until it exits (the kernel drops the
// lock when the process dies, so a crash never leaves it stale).

#include <chrono>
#include <string>

namespace vantrel {

class InstanceLock
{
  public:
    enum class Result
    {
        Acquired,
        Held,        // another process still held it when the wait ran out
        Interrupted, // the interrupt descriptor became readable first
        Failed,      // the file cannot be made or locked; error says why
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock at path, waiting up to wait for another holder to let
    // go. The wait sleeps until the holder closes the file (its exit), the
    // time is up, or interruptFd (when not -1) becomes readable.
    Result acquire(const std::string& path, std::chrono::milliseconds wait = {},
                   int interruptFd = -1, std::string* error = nullptr);
    bool isHeld() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

} // namespace vantrel
