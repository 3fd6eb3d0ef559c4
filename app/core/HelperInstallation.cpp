#include "app/core/HelperInstallation.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace fs = std::filesystem;

namespace {

constexpr const char* HelperProgramName = "vantrel-helper";
constexpr const char* AutostartEntryName = "vantrel-helper.desktop";

char lowerAscii(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string readLink(const std::string& path)
{
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    return error ? std::string() : target.string();
}

// The real uid on the Uid: line of /proc/PID/status, or -1.
long long realUidOfProcess(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(4));
        long long uid = -1;
        return fields >> uid ? uid : -1;
    }
    return -1;
}

std::optional<pid_t> pidOf(std::optional<std::int64_t> processId)
{
    // 0 and negative numbers would make kill() signal whole process groups.
    if (!processId || *processId <= 0 || *processId > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    return static_cast<pid_t>(*processId);
}

// A descriptor bound to this very process, so that a signal cannot reach a
// newcomer that took over its pid after the check; -1 where unsupported.
int openProcess(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

bool signalProcess(int processDescriptor, pid_t pid, int signal)
{
#ifdef SYS_pidfd_send_signal
    if (processDescriptor >= 0)
        return syscall(SYS_pidfd_send_signal, processDescriptor, signal, nullptr, 0) == 0;
#endif
    return kill(pid, signal) == 0;
}

bool isExecutableFile(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// The value of a desktop entry's "Exec" key on this line, if it is one.
std::optional<std::string> execValueOfLine(std::string_view line)
{
    if (line.rfind("Exec", 0) != 0)
        return std::nullopt;
    std::size_t at = 4;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    if (at >= line.size() || line[at] != '=')
        return std::nullopt;
    ++at;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    return std::string(line.substr(at));
}

// A desktop entry string with its escapes (\s, \n, \t, \r, \\) undone.
std::string unescapedString(const std::string& value)
{
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += next;
            break;
        }
    }
    return text;
}

// The program an unescaped Exec value runs: its first argument, taken out of
// its double quotes, with %% read as %.
std::string programOfExecText(const std::string& text)
{
    std::string program;
    const bool quoted = !text.empty() && text[0] == '"';
    for (std::size_t i = quoted ? 1 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted ? c == '"' : c == ' ' || c == '\t')
            break;
        const bool escaped = quoted && c == '\\';
        const bool doubledPercent = c == '%' && i + 1 < text.size() && text[i + 1] == '%';
        if ((escaped || doubledPercent) && i + 1 < text.size())
            ++i;
        program += text[i];
    }
    return program;
}

// The autostart entries, in name order, whose Exec line names the helper
// bundle, each with the program it runs.
std::vector<std::pair<std::string, std::string>> helperAutostartEntries()
{
    std::vector<std::pair<std::string, std::string>> found;
    std::error_code error;
    for (fs::directory_iterator it(autostartDirectory(), error), end; !error && it != end;
         it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() != ".desktop")
            continue;
        std::string contents;
        if (!readWholeFile(path.string(), &contents))
            continue;
        std::istringstream lines(contents);
        std::string line;
        while (std::getline(lines, line)) {
            const std::optional<std::string> value = execValueOfLine(line);
            if (!value)
                continue;
            const std::string text = unescapedString(*value);
            if (text.find(HelperBundleName) != std::string::npos) {
                found.emplace_back(path.string(), programOfExecText(text));
                break;
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A path as one quoted Exec argument: the quoting escapes, then the string
// escapes on top (so a backslash becomes four), and % doubled.
std::string quotedExecArgument(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        switch (c) {
        case '"':
        case '`':
        case '$':
            quoted += "\\";
            quoted += c;
            break;
        case '\\':
            quoted += "\\\\\\\\";
            break;
        case '%':
            quoted += "%%";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\r':
            quoted += "\\r";
            break;
        default:
            quoted += c;
            break;
        }
    }
    return quoted + "\"";
}

} // namespace

void caseInsensitiveReplace(std::string& text, std::string_view target,
                            std::string_view replacement)
{
    // An empty target matches everywhere and would never let the search move on.
    if (target.empty())
        return;
    std::size_t at = 0;
    while (at + target.size() <= text.size()) {
        const bool match =
            std::equal(target.begin(), target.end(), text.begin() + at,
                       [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
        if (!match) {
            ++at;
            continue;
        }
        text.replace(at, target.size(), replacement);
        at += replacement.size();
    }
}

int versionNumberOfString(std::string_view version)
{
    std::string text(version);
    caseInsensitiveReplace(text, "A", "1");
    caseInsensitiveReplace(text, "B", "2");

    // The leading decimal number, read without regard to the locale (a
    // comma-decimal locale must not turn 3.4 into 3).
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    if (at < text.size() && text[at] == '+')
        ++at;
    float f = 0;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    if (std::from_chars(first, last, f, std::chars_format::fixed).ec != std::errc())
        f = 0;
    const float scaled = f * 10000.0f;
    // Out of range (or "inf") saturates rather than overflow the conversion.
    const double wide = scaled;
    int n = wide > INT_MIN && wide < INT_MAX ? static_cast<int>(scaled)
            : wide > 0                       ? INT_MAX
                                             : INT_MIN;
    if (n % 1000 == 0)
        n += 999;
    return n;
}

int bundleVersionNumber(const std::string& bundlePath)
{
    PropertyValue plist;
    if (!readPropertyListFile(bundlePath + "/Contents/Info.plist", &plist))
        return 0;
    const PropertyDictionary* dictionary = plist.asDictionary();
    const PropertyValue* value = dictionary ? dictionary->find("CFBundleVersion") : nullptr;
    const std::string* version = value ? value->asString() : nullptr;
    return version ? versionNumberOfString(*version) : 0;
}

std::string applicationResourceDirectory()
{
    const fs::path program = readLink("/proc/self/exe");
    return (program.parent_path() / ".." / "share" / "vantrel").lexically_normal().string();
}

std::string bundledHelperPath()
{
    return applicationResourceDirectory() + "/" + HelperBundleName;
}

std::string installedHelperPath()
{
    return dataDirectory() + "/" + HelperBundleName;
}

std::string helperProgramPath(const std::string& bundlePath)
{
    return bundlePath + "/Contents/bin/" + HelperProgramName;
}

bool isHelperProcess(pid_t pid, const std::string& installedBundle)
{
    if (pid <= 0 || realUidOfProcess(pid) != static_cast<long long>(getuid()))
        return false;
    std::string running = readLink("/proc/" + std::to_string(pid) + "/exe");
    if (running.empty())
        return false;
    std::error_code error;
    const std::string program =
        fs::weakly_canonical(helperProgramPath(installedBundle), error).string();
    if (error || program.empty())
        return false;
    // A helper whose program was replaced by an update runs on as "(deleted)".
    const std::string deleted = " (deleted)";
    return running == program || running == program + deleted;
}

StoppingHelper::~StoppingHelper()
{
    if (m_fd >= 0)
        close(m_fd);
}

StoppingHelper::StoppingHelper(StoppingHelper&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_pid(std::exchange(other.m_pid, 0)),
      m_signalled(std::exchange(other.m_signalled, false))
{}

StoppingHelper& StoppingHelper::operator=(StoppingHelper&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_pid = std::exchange(other.m_pid, 0);
        m_signalled = std::exchange(other.m_signalled, false);
    }
    return *this;
}

bool StoppingHelper::waitForEnd(std::chrono::milliseconds limit) const
{
    if (m_fd < 0)
        return !m_signalled;
    // The descriptor becomes readable when the process ends.
    pollfd process{m_fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = poll(&process, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool StoppingHelper::hasEnded() const
{
    return waitForEnd(std::chrono::milliseconds(0));
}

void StoppingHelper::kill() const
{
    if (m_fd < 0 || hasEnded())
        return;
    signalProcess(m_fd, m_pid, SIGKILL);
    waitForEnd(std::chrono::seconds(10));
}

StoppingHelper stopHelperProcess(std::optional<std::int64_t> processId,
                                 const std::string& installedBundle)
{
    StoppingHelper stopping;
    const std::optional<pid_t> pid = pidOf(processId);
    if (!pid)
        return stopping;
    const int processDescriptor = openProcess(*pid);
    if (processDescriptor < 0 && errno == ESRCH)
        return stopping;
    stopping.m_fd = processDescriptor;
    stopping.m_pid = *pid;
    if (isHelperProcess(*pid, installedBundle))
        stopping.m_signalled = signalProcess(processDescriptor, *pid, SIGTERM);
    return stopping;
}

void waitForHelperEnd(const StoppingHelper& helper)
{
    if (helper.signalled() && !helper.waitForEnd(HelperExchangeLimit))
        helper.kill();
}

bool installOrUpdateHelper(const std::string& bundled, const std::string& installed,
                           std::optional<std::int64_t> processId, const HelperEndWait& wait)
{
    std::error_code error;
    const fs::path target(installed);
    if (!isExecutableFile(helperProgramPath(bundled)))
        return false;
    const bool present = fs::exists(fs::symlink_status(target, error));
    if (present && bundleVersionNumber(installed) >= bundleVersionNumber(bundled))
        return false;
    if (!makeDirectories(target.parent_path().string()))
        return false;

    // Copied beside the target first, so that a failed copy leaves the old
    // helper installed and running.
    const fs::path name = target.filename();
    const fs::path copy = target.parent_path() / ("." + name.string() + ".installing");
    fs::remove_all(copy, error);
    fs::copy(bundled, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(copy, error);
        return false;
    }

    // The old folder is removed where it lies (not moved aside), so that a
    // helper still running from it keeps its program's path, marked
    // "(deleted)", and is still recognised.
    // Nothing is replaced under a helper still in an exchange, and no new
    // copy is started while the old one holds the single-copy lock.
    const StoppingHelper stopping = stopHelperProcess(processId, installed);
    if (stopping.signalled() && wait)
        wait(stopping);
    if (present)
        fs::remove_all(target, error);
    if (!error)
        fs::rename(copy, target, error);
    if (error) {
        fs::remove_all(copy, error);
        return false;
    }
    return true;
}

bool startHelperDetached(const std::string& installedBundle)
{
    const std::string program = helperProgramPath(installedBundle);
    if (!isExecutableFile(program))
        return false;

    // Everything the children need is prepared here: between fork and exec
    // only async-signal-safe calls are allowed.
    std::vector<char> programText(program.begin(), program.end());
    programText.push_back('\0');
    char* const arguments[] = {programText.data(), nullptr};
    rlimit files{};
    const int openLimit = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                              ? static_cast<int>(std::min<rlim_t>(files.rlim_cur, 65536))
                              : 1024;
    // Tells the parent whether exec failed: closed unread when it succeeds.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;

    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The middle process ends at once, so the helper is reparented and
        // leaves no zombie behind; the helper leads a session of its own,
        // without a terminal (the driver opens ports with O_NOCTTY).
        close(report[0]);
        const pid_t grandchild = fork();
        if (grandchild != 0)
            _exit(grandchild < 0 ? 1 : 0);
        if (setsid() < 0) {
            const int failure = errno;
            (void)!write(report[1], &failure, sizeof failure);
            _exit(127);
        }

        // The report pipe moves to descriptor 3; everything above it closes.
        if (report[1] != 3) {
            if (dup2(report[1], 3) < 0)
                _exit(127);
            close(report[1]);
        }
        fcntl(3, F_SETFD, FD_CLOEXEC);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 3)
                close(null);
        }
#ifdef SYS_close_range
        if (syscall(SYS_close_range, 4U, ~0U, 0U) != 0)
#endif
            for (int fd = 4; fd < openLimit; ++fd)
                close(fd);
        // Blocked or ignored signals survive exec; the helper starts clean.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int number = 1; number < NSIG; ++number)
            signal(number, SIG_DFL);
        execv(arguments[0], arguments);
        const int failure = errno;
        (void)!write(3, &failure, sizeof failure);
        _exit(127);
    }

    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int failure = 0;
    ssize_t got;
    while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

std::string autostartDirectory()
{
    return configHome() + "/autostart";
}

std::string helperAutostartEntryPath()
{
    return autostartDirectory() + "/" + AutostartEntryName;
}

bool hasHelperAutostartEntry()
{
    return !helperAutostartEntries().empty();
}

bool addHelperAutostartEntry(const std::string& installedBundle)
{
    if (hasHelperAutostartEntry())
        return true;
    if (!makeDirectories(autostartDirectory()))
        return false;
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Vantrel Helper\n"
                              "Comment=Sends the Vantrel schedule to the CP290 interface daily\n"
                              "Exec=" +
                              quotedExecArgument(helperProgramPath(installedBundle)) +
                              "\n"
                              "Terminal=false\n"
                              "NoDisplay=true\n"
                              "X-GNOME-Autostart-enabled=true\n";
    return writeFileAtomically(helperAutostartEntryPath(), entry);
}

bool removeHelperAutostartEntry()
{
    const auto entries = helperAutostartEntries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        std::error_code error;
        if (it->second.empty() || !fs::exists(it->second, error))
            continue;
        return fs::remove(it->first, error);
    }
    return false;
}

} // namespace vantrel
