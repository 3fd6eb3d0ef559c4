#include "helper/NotificationProcess.h"

#include <cerrno>
#include <climits>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {

std::string notificationProgramPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string path(self, static_cast<std::size_t>(length));
    path.erase(path.rfind('/') + 1);
    return path + "vantrel-helper-notify";
}

bool startDesktopNotification(const std::string& summary, const std::string& body)
{
    const std::string program = notificationProgramPath();
    if (program.empty() || access(program.c_str(), X_OK) != 0)
        return false;
    // Twice forked: the intermediate child ends at once, so the program is
    // nobody's child here and the helper never waits on the desktop.
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (fork() == 0) {
            const char* arguments[] = {program.c_str(), summary.c_str(), body.c_str(), nullptr};
            execv(program.c_str(), const_cast<char* const*>(arguments));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace vantrel
