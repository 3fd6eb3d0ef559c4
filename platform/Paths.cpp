#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace vantrel {
namespace {

std::string homeDirectory()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

std::string xdgDirectory(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    return homeDirectory() + fallback;
}

std::string errnoText(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// A one-line refusal naming what the path is instead of a regular file.
std::string notRegularText(const std::string& path, mode_t mode)
{
    const char* kind = "not a regular file";
    if (S_ISDIR(mode))
        kind = "a folder, not a regular file";
    else if (S_ISFIFO(mode))
        kind = "a FIFO, not a regular file";
    else if (S_ISCHR(mode) || S_ISBLK(mode))
        kind = "a device, not a regular file";
    else if (S_ISSOCK(mode))
        kind = "a socket, not a regular file";
    return path + ": " + kind;
}

// Closed on every way out.
class Descriptor
{
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd;
};

// "" for a bare name, else up to and with the last slash.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr const char* TemporarySuffix = ".saving";
// The longest name of a folder entry on the file systems we meet.
constexpr std::size_t LongestName = 255;

std::uint64_t nameHash(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325u; // FNV-1a
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3u;
    }
    return hash;
}

// Opens and locks the temporary file, creating it or taking over one that a
// killed save left. The lock keeps two programs saving the same file at once
// from writing into one temporary file; it must be on the file that still
// has the name, since its holder renames that file away.
// Failures name the folder or the file saved, never the hidden temporary
// file, which the user neither chose nor can find.
bool openTemporary(const std::string& target, const std::string& temporary, Descriptor* fd,
                   bool* created, std::string* error)
{
    const auto folderText = [&](int saved) {
        const std::string folder = folderOf(target);
        return "Cannot save in the folder " +
               (folder.empty()      ? std::string(".")
                : folder.size() > 1 ? folder.substr(0, folder.size() - 1)
                                    : folder) +
               ": " + std::strerror(saved);
    };
    // Up to two seconds for another save of the same file to finish.
    for (int attempt = 0; attempt < 200; ++attempt) {
        *created = true;
        fd->reset(open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd->get() < 0 && errno == EEXIST) {
            *created = false;
            fd->reset(open(temporary.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (fd->get() < 0 && errno == ENOENT) // renamed away between the two opens
                continue;
        }
        if (fd->get() < 0) {
            const int saved = errno;
            // A symbolic link is nothing a save of ours leaves.
            if (saved == ELOOP && unlink(temporary.c_str()) == 0)
                continue;
            setError(error, folderText(saved));
            return false;
        }
        struct stat opened
        {
        };
        // Only a plain file of its own is written into: truncating a second
        // name of some other file would destroy that file.
        if (fstat(fd->get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_nlink > 1) {
            fd->reset();
            if (unlink(temporary.c_str()) == 0)
                continue;
            setError(error, folderText(errno));
            return false;
        }
        // On a file system without locks (ENOLCK, EOPNOTSUPP) the save goes
        // ahead unguarded rather than failing.
        if (flock(fd->get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) {
            fd->reset();
            const timespec pause{0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
            continue;
        }
        struct stat named
        {
        };
        if (lstat(temporary.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            return true;
        fd->reset();
    }
    setError(error, target + ": another program is saving the same file");
    return false;
}

bool writeAll(int fd, const std::string& data)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::string configHome()
{
    return xdgDirectory("XDG_CONFIG_HOME", "/.config");
}

std::string configDirectory()
{
    return configHome() + "/vantrel";
}

std::string stateDirectory()
{
    return xdgDirectory("XDG_STATE_HOME", "/.local/state") + "/vantrel";
}

std::string dataDirectory()
{
    return xdgDirectory("XDG_DATA_HOME", "/.local/share") + "/vantrel";
}

std::string runtimeDirectory()
{
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value && value[0] == '/')
        return value;
    return stateDirectory();
}

bool makeDirectories(const std::string& path)
{
    if (path.empty())
        return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string atomicSaveTarget(const std::string& path)
{
    std::string current = path;
    // The system's own limit on links followed in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info
        {
        };
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        char link[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link)
            return current;
        const std::string leadsTo(link, static_cast<std::size_t>(length));
        current = leadsTo[0] == '/' ? leadsTo : folderOf(current) + leadsTo;
    }
    return current;
}

std::string atomicSaveTemporaryPath(const std::string& target)
{
    std::string name = nameOf(target);
    const std::size_t room = LongestName - 1 - std::strlen(TemporarySuffix);
    if (name.size() > room) {
        char hash[20];
        std::snprintf(hash, sizeof hash, "-%016llx",
                      static_cast<unsigned long long>(nameHash(name)));
        name = name.substr(0, room - std::strlen(hash)) + hash;
    }
    return folderOf(target) + "." + name + TemporarySuffix;
}

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error)
{
    const std::string target = atomicSaveTarget(path);
    struct stat existing
    {
    };
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        setError(error, errnoText(target, errno));
        return false;
    }
    // Renaming over a FIFO or a device node would put a file in its place.
    if (exists && !S_ISREG(existing.st_mode)) {
        setError(error, notRegularText(target, existing.st_mode));
        return false;
    }

    const std::string temporary = atomicSaveTemporaryPath(target);
    Descriptor fd;
    bool created = false;
    if (!openTemporary(target, temporary, &fd, &created, error))
        return false;
    const auto fail = [&](int saved) {
        unlink(temporary.c_str());
        setError(error, errnoText(target, saved));
        return false;
    };

    if (ftruncate(fd.get(), 0) != 0)
        return fail(errno);
    // A file created just now already has the mode a new file gets; a
    // leftover is given it. Failures are ignored: some file systems keep no
    // modes or owners, and saving must still work there.
    if (exists) {
        if (existing.st_uid != geteuid() || existing.st_gid != getegid())
            (void)!fchown(fd.get(), existing.st_uid, existing.st_gid);
        (void)!fchmod(fd.get(), existing.st_mode & 07777);
    } else if (!created) {
        (void)!fchmod(fd.get(), newFileMode());
    }
    if (!writeAll(fd.get(), data))
        return fail(errno);
    if (fsync(fd.get()) != 0)
        return fail(errno);
    // Renamed while still locked, so that no other save writes into it first.
    if (rename(temporary.c_str(), target.c_str()) != 0)
        return fail(errno);
    // The rename reaches the disk with the folder.
    const std::string folder = folderOf(target);
    const Descriptor directory(
        open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        fsync(directory.get());
    return true;
}

bool readWholeFile(const std::string& path, std::string* data, std::string* error,
                   std::size_t maxSize)
{
    // Looked at before opening: opening a FIFO for reading waits for a
    // writer, and opening a device may have effects of its own.
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0) {
        setError(error, errnoText(path, errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        setError(error, notRegularText(path, info.st_mode));
        return false;
    }
    const Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    // Looked at again on what was opened, in case the name was replaced in between.
    if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
        setError(error, errnoText(path, errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        setError(error, notRegularText(path, info.st_mode));
        return false;
    }
    const auto tooLarge = [&] {
        setError(error, path + ": larger than " + std::to_string(maxSize / (1024 * 1024)) +
                            " MiB, more than any file of ours holds");
        return false;
    };
    if (static_cast<std::uint64_t>(info.st_size) > maxSize)
        return tooLarge();

    // One read more than the size, to see the end; a file that grows while
    // it is read is read up to the limit.
    std::string contents(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == contents.size()) {
            if (contents.size() > maxSize)
                return tooLarge();
            contents.resize(std::min(maxSize + 1, contents.size() * 2));
        }
        const ssize_t n = read(fd.get(), contents.data() + filled, contents.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            setError(error, errnoText(path, errno));
            return false;
        }
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    contents.resize(filled);
    *data = std::move(contents);
    return true;
}

} // namespace vantrel
