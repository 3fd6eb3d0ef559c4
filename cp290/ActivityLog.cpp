#include "cp290/ActivityLog.h"

#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "schedule/CalendarDate.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel {

std::string logFilePath()
{
    return stateDirectory() + "/VantrelHelper.log";
}

std::string formatLogLine(std::uint32_t localSeconds, const std::string& message)
{
    return SecondsToNSCalendarDate(localSeconds).format("%a %m/%d/%y %I:%M %p") + " -- " + message +
           "\n";
}

namespace {

int openLog(int flags)
{
    const std::string path = logFilePath();
    int fd = open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT && makeDirectories(stateDirectory()))
        fd = open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    return fd;
}

} // namespace

void writeLog(const std::string& message)
{
    const std::string line = formatLogLine(GetDateTime(), message);
    const int fd = openLog(O_APPEND);
    if (fd < 0)
        return;
    // One write() carries the whole line. A local file only writes short
    // when the disk fills; the rest then follows so no line is left without
    // its end, even if another program's line has come between.
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    close(fd);
}

bool readLog(std::string* text)
{
    return readWholeFile(logFilePath(), text);
}

bool clearLog()
{
    const int fd = openLog(O_TRUNC);
    if (fd < 0)
        return false;
    return close(fd) == 0;
}

} // namespace vantrel
