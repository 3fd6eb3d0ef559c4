#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        if (error)
            *error = errnoText(path, errno);
        return false;
    }
    // mkstemp makes 0600; documents and preferences are ordinary user files.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            close(fd);
            unlink(temporary.c_str());
            if (error)
                *error = errnoText(path, saved);
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        const int saved = errno;
        unlink(temporary.c_str());
        if (error)
            *error = errnoText(path, saved);
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(temporary.c_str());
        if (error)
            *error = errnoText(path, saved);
        return false;
    }
    return true;
}

bool readWholeFile(const std::string& path, std::string* data, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = errnoText(path, errno ? errno : ENOENT);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *data = buffer.str();
    return true;
}

} // namespace vantrel
