#include "app/core/HelperInstallation.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vantrel {
namespace fs = std::filesystem;

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string canonical(const std::string& path)
{
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

// The program an Exec line runs: its first word, with the quoting and
// escapes of desktop entries undone.
std::string execProgram(std::string_view exec)
{
    std::string program;
    std::size_t at = 0;
    while (at < exec.size() && exec[at] == ' ')
        ++at;
    if (at < exec.size() && exec[at] == '"') {
        for (++at; at < exec.size() && exec[at] != '"'; ++at) {
            if (exec[at] == '\\' && at + 1 < exec.size())
                ++at;
            program += exec[at];
        }
        return program;
    }
    while (at < exec.size() && exec[at] != ' ')
        program += exec[at++];
    return program;
}

// The Exec value of a desktop entry's main group, or empty.
std::string execLine(const std::string& entryPath)
{
    std::string text;
    if (!readWholeFile(entryPath, &text))
        return {};
    std::istringstream lines(text);
    std::string line;
    bool mainGroup = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.front() == '[')
            mainGroup = line == "[Desktop Entry]";
        else if (mainGroup && line.rfind("Exec=", 0) == 0)
            return line.substr(5);
    }
    return {};
}

std::vector<std::string> helperEntries()
{
    std::vector<std::string> entries;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(autostartDirectory(), error)) {
        const std::string path = item.path().string();
        if (item.path().extension() == ".desktop" &&
            execLine(path).find(HelperBundleName) != std::string::npos)
            entries.push_back(path);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string quotedForExec(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

void caseInsensitiveReplace(std::string& text, std::string_view target,
                            std::string_view replacement)
{
    if (target.empty())
        return;
    std::size_t at = 0;
    while (at + target.size() <= text.size()) {
        if (equalIgnoringCase(std::string_view(text).substr(at, target.size()), target)) {
            text.replace(at, target.size(), replacement);
            at += replacement.size();
        } else {
            ++at;
        }
    }
}

int versionNumberOfString(std::string_view version)
{
    std::string text(version);
    caseInsensitiveReplace(text, "A", "1");
    caseInsensitiveReplace(text, "B", "2");
    // The leading decimal number, read in single precision as the version
    // numbers were always compared.
    const float value = std::strtof(text.c_str(), nullptr);
    const float scaled = value * 10000.0f;
    int number = static_cast<int>(scaled);
    if (number % 1000 == 0)
        number += 999;
    return number;
}

int bundleVersionNumber(const std::string& bundlePath)
{
    std::string xml;
    if (!readWholeFile(bundlePath + "/Contents/Info.plist", &xml))
        return 0;
    PropertyValue plist;
    std::string error;
    if (!propertyListFromXml(xml, &plist, &error))
        return 0;
    const PropertyDictionary* info = plist.asDictionary();
    const PropertyValue* version = info ? info->find("CFBundleVersion") : nullptr;
    const std::string* text = version ? version->asString() : nullptr;
    return text ? versionNumberOfString(*text) : 0;
}

std::string applicationResourceDirectory()
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return "share/vantrel";
    return (program.parent_path().parent_path() / "share" / "vantrel").string();
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
    return bundlePath + "/Contents/bin/vantrel-helper";
}

bool isHelperProcess(pid_t pid, const std::string& installedBundle)
{
    if (pid <= 0)
        return false;
    const std::string proc = "/proc/" + std::to_string(pid);
    struct stat status
    {
    };
    if (stat(proc.c_str(), &status) != 0 || status.st_uid != getuid())
        return false;
    std::error_code error;
    std::string executable = fs::read_symlink(proc + "/exe", error).string();
    if (error)
        return false;
    // A program replaced on disk since it started still counts.
    constexpr std::string_view Deleted = " (deleted)";
    if (executable.size() > Deleted.size() &&
        executable.compare(executable.size() - Deleted.size(), Deleted.size(), Deleted) == 0)
        executable.resize(executable.size() - Deleted.size());
    const std::string program = helperProgramPath(installedBundle);
    return executable == program || executable == canonical(program);
}

bool stopHelperProcess(std::optional<std::int64_t> processId, const std::string& installedBundle)
{
    if (!processId || *processId <= 0 || *processId > INT32_MAX)
        return false;
    const auto pid = static_cast<pid_t>(*processId);
    if (!isHelperProcess(pid, installedBundle))
        return false;
    return kill(pid, SIGTERM) == 0;
}

bool installOrUpdateHelper(const std::string& bundled, const std::string& installed,
                           std::optional<std::int64_t> processId)
{
    std::error_code error;
    if (!fs::exists(bundled + "/Contents/Info.plist", error))
        return false;
    if (fs::exists(installed, error) &&
        bundleVersionNumber(installed) >= bundleVersionNumber(bundled))
        return false;
    const fs::path target(installed);
    if (!makeDirectories(target.parent_path().string()))
        return false;
    // Copied beside the old one first, so a failed copy never leaves half a helper.
    const fs::path fresh = target.parent_path() / ("." + target.filename().string() + ".new");
    fs::remove_all(fresh, error);
    fs::copy(bundled, fresh, fs::copy_options::recursive, error);
    if (error) {
        fs::remove_all(fresh, error);
        return false;
    }
    stopHelperProcess(processId, installed);
    fs::remove_all(target, error);
    fs::rename(fresh, target, error);
    return !error;
}

bool startHelperDetached(const std::string& installedBundle)
{
    const std::string program = helperProgramPath(installedBundle);
    if (access(program.c_str(), X_OK) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // The first child starts a new session and leaves at once, so the
        // helper is nobody's child and has no terminal.
        if (setsid() < 0)
            _exit(1);
        const pid_t helper = fork();
        if (helper != 0)
            _exit(helper < 0 ? 1 : 0);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        const long last = sysconf(_SC_OPEN_MAX);
        for (long fd = STDERR_FILENO + 1; fd < (last > 0 ? last : 1024); ++fd)
            close(static_cast<int>(fd));
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const char* argv[] = {program.c_str(), nullptr};
        execv(program.c_str(), const_cast<char* const*>(argv));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string autostartDirectory()
{
    return configHome() + "/autostart";
}

std::string helperAutostartEntryPath()
{
    return autostartDirectory() + "/vantrel-helper.desktop";
}

bool hasHelperAutostartEntry()
{
    return !helperEntries().empty();
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
                              "Comment=Sends the Vantrel schedule to the CP290 every day\n"
                              "Exec=" +
                              quotedForExec(helperProgramPath(installedBundle)) +
                              "\n"
                              "NoDisplay=true\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    return writeFileAtomically(helperAutostartEntryPath(), entry);
}

bool removeHelperAutostartEntry()
{
    std::vector<std::string> entries = helperEntries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::string program = execProgram(execLine(*entry));
        std::error_code error;
        if (fs::exists(program, error))
            return fs::remove(*entry, error);
    }
    return false;
}

} // namespace vantrel
