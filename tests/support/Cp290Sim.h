#pragma once

// Runs the virtual CP290 for one test: starts vantrel-cp290sim with a trace file in
// a fresh temporary folder, learns its terminal from the first line it prints, lets
// the test wait for trace lines, and makes sure the process is gone afterwards.
//
//   vantrel::test::Cp290Sim sim({"--fault", "no-reply@2"});
//   ASSERT_TRUE(sim.isRunning());
//   ... open sim.devicePath() ...
//   EXPECT_TRUE(sim.waitForTraceLine("x10 B3 DIM 50%"));

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef VANTREL_CP290SIM_PATH
#error "VANTREL_CP290SIM_PATH must name the vantrel-cp290sim program (vantrel_test_support sets it)"
#endif

extern char** environ;

namespace vantrel::test {

class Cp290Sim
{
  public:
    using Milliseconds = std::chrono::milliseconds;
    static constexpr Milliseconds DefaultTimeout{10000};

    // extraArgs go to the program as they are. fast adds --fast. A non-empty linkName
    // adds --link deviceDirectory()/linkName, for VANTREL_DEVICE_DIR.
    explicit Cp290Sim(std::vector<std::string> extraArgs = {}, bool fast = true,
                      const std::string& linkName = {})
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-cp290sim-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
            return;
        }
        m_directory = pattern;
        m_deviceDirectory = m_directory + "/dev";
        std::filesystem::create_directory(m_deviceDirectory);
        m_tracePath = m_directory + "/trace.txt";
        if (!linkName.empty())
            m_linkPath = m_deviceDirectory + "/" + linkName;

        std::vector<std::string> args = {VANTREL_CP290SIM_PATH, "--trace", m_tracePath};
        if (fast)
            args.push_back("--fast");
        if (!m_linkPath.empty()) {
            args.push_back("--link");
            args.push_back(m_linkPath);
        }
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        start(args);
    }

    ~Cp290Sim()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (!m_directory.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_directory, ignored);
        }
    }

    Cp290Sim(const Cp290Sim&) = delete;
    Cp290Sim& operator=(const Cp290Sim&) = delete;

    // Started, printed its terminal and not yet reaped.
    bool isRunning() const { return m_pid > 0 && !m_devicePath.empty(); }
    pid_t pid() const { return m_pid; }
    const std::string& devicePath() const { return m_devicePath; }
    const std::string& directory() const { return m_directory; }
    const std::string& deviceDirectory() const { return m_deviceDirectory; }
    const std::string& linkPath() const { return m_linkPath; }
    const std::string& tracePath() const { return m_tracePath; }

    // The complete lines of the trace so far.
    std::vector<std::string> traceLines() const
    {
        std::ifstream in(m_tracePath, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        const std::string text = buffer.str();
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // Index of the first line at or after fromLine that matches, or nullopt at the
    // deadline or once the program has ended without writing one.
    std::optional<std::size_t>
    waitForTraceLine(const std::function<bool(const std::string&)>& matches,
                     Milliseconds timeout = DefaultTimeout, std::size_t fromLine = 0)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch >= 0)
            inotify_add_watch(watch, m_tracePath.c_str(), IN_MODIFY);
        std::optional<std::size_t> found;
        for (;;) {
            const bool ended = !isAlive();
            const auto lines = traceLines();
            for (std::size_t i = fromLine; i < lines.size(); ++i) {
                if (matches(lines[i])) {
                    found = i;
                    break;
                }
            }
            const auto now = std::chrono::steady_clock::now();
            if (found || ended || now >= deadline)
                break;
            // The watch wakes us at once on a new line; the cap covers a missed event.
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - now);
            pollfd fd{watch, POLLIN, 0};
            ::poll(&fd, watch >= 0 ? 1 : 0,
                   static_cast<int>(std::min<long long>(left.count() + 1, watch >= 0 ? 100 : 10)));
            char drain[4096];
            while (watch >= 0 && ::read(watch, drain, sizeof drain) > 0) {
            }
        }
        if (watch >= 0)
            ::close(watch);
        return found;
    }

    std::optional<std::size_t> waitForTraceLine(const std::string& substring,
                                                Milliseconds timeout = DefaultTimeout,
                                                std::size_t fromLine = 0)
    {
        return waitForTraceLine(
            [&](const std::string& line) { return line.find(substring) != std::string::npos; },
            timeout, fromLine);
    }

    // Waits for the program to end by itself; its exit status, or -1 for a signal,
    // or nullopt at the deadline.
    std::optional<int> waitForExit(Milliseconds timeout = DefaultTimeout)
    {
        if (m_pid <= 0)
            return m_exitStatus;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
        for (;;) {
            if (!isAlive())
                break;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                break;
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - now);
            pollfd fd{pidfd, POLLIN, 0};
            ::poll(&fd, pidfd >= 0 ? 1 : 0,
                   static_cast<int>(std::min<long long>(left.count() + 1, pidfd >= 0 ? 1000 : 10)));
        }
        if (pidfd >= 0)
            ::close(pidfd);
        return m_pid > 0 ? std::nullopt : m_exitStatus;
    }

    // SIGTERM, then waits; the exit status as for waitForExit. Kills it if it hangs.
    std::optional<int> stop(Milliseconds timeout = DefaultTimeout)
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGTERM);
        auto status = waitForExit(timeout);
        if (!status && m_pid > 0) {
            ADD_FAILURE() << "vantrel-cp290sim did not stop on SIGTERM";
            ::kill(m_pid, SIGKILL);
            int ignored = 0;
            ::waitpid(m_pid, &ignored, 0);
            m_pid = -1;
        }
        return status;
    }

  private:
    bool isAlive()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            m_pid = -1;
            return false;
        }
        return true;
    }

    void start(const std::vector<std::string>& args)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return;
        }
        std::vector<char*> argv;
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A test runner that ignores SIGTERM must not pass that on: stop() relies on it.
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGINT);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        const int error = posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(out[1]);
        if (error != 0) {
            m_pid = -1;
            ::close(out[0]);
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(error);
            return;
        }

        // The first line is the terminal's path; the program prints it once ready.
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + DefaultTimeout;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<Milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{out[0], POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[256];
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            line.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(out[0]);
        const auto newline = line.find('\n');
        if (newline == std::string::npos) {
            ADD_FAILURE() << "vantrel-cp290sim printed no terminal path";
            return;
        }
        m_devicePath = line.substr(0, newline);
    }

    pid_t m_pid = -1;
    std::optional<int> m_exitStatus;
    std::string m_directory;
    std::string m_deviceDirectory;
    std::string m_tracePath;
    std::string m_linkPath;
    std::string m_devicePath;
};

} // namespace vantrel::test
