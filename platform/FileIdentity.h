#pragma once

// Tells a rewritten file from the one seen before without reading it: an
// atomic replacement brings a new inode, a write in place new times.

#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>

namespace vantrel {

struct FileIdentity
{
    dev_t device;
    ino_t inode;
    off_t size;
    std::time_t modified;
    long modifiedNanoseconds;
    std::time_t changed;
    long changedNanoseconds;
    bool operator==(const FileIdentity&) const = default;
};

// Empty when there is no such file (or it cannot be looked at).
std::optional<FileIdentity> fileIdentity(const std::string& path);

} // namespace vantrel
