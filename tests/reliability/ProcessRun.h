#pragma once

// A program the reliability tests start, watch and end: its output (standard
// output and error together) goes to a file read at the end, its end is
// waited for on a pidfd, never by polling.

#include "support/FolderWait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vantrel::test {

class Process
{
  public:
    struct Result
    {
        int exitCode = -1; // -1 when it did not end by itself in time, or by a signal
        std::string output;
    };

    explicit Process(std::vector<std::string> arguments)
    {
        char pattern[] = "/tmp/vantrel-output-XXXXXX";
        const int out = mkstemp(pattern);
        if (out < 0)
            return;
        m_outputPath = pattern;
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        if (posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(out);
        m_pidfd = m_pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    }
    ~Process()
    {
        if (m_pid > 0)
            signalAndReap(SIGKILL);
        if (m_pidfd >= 0)
            close(m_pidfd);
        if (!m_outputPath.empty())
            std::remove(m_outputPath.c_str());
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return m_pid > 0 && m_pidfd >= 0; }

    // Waits for span; false when it ended by itself before that.
    bool runFor(std::chrono::microseconds span)
    {
        pollfd fd{m_pidfd, POLLIN, 0};
        const timespec timeout{static_cast<time_t>(span.count() / 1'000'000),
                               static_cast<long>(span.count() % 1'000'000) * 1000};
        return ppoll(&fd, 1, &timeout, nullptr) == 0;
    }

    // Waits for it to end by itself; kills it at the deadline.
    Result wait(std::chrono::milliseconds timeout)
    {
        if (m_pid > 0 && runFor(timeout)) {
            ADD_FAILURE() << "a program did not end in time";
            signalAndReap(SIGKILL);
            return {-1, output()};
        }
        const int status = m_pid > 0 ? signalAndReap(0) : m_status;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output()};
    }

    // SIGKILL now; true when that is what ended it.
    bool killNow()
    {
        const int status = signalAndReap(SIGKILL);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // SIGTERM, then its exit status.
    Result terminate(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        if (m_pid > 0)
            kill(m_pid, SIGTERM);
        return wait(timeout);
    }

    std::string output() const
    {
        std::ifstream in(m_outputPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    int signalAndReap(int signal)
    {
        if (m_pid <= 0)
            return m_status;
        if (signal)
            kill(m_pid, signal);
        waitpid(m_pid, &m_status, 0);
        m_pid = -1;
        return m_status;
    }

    pid_t m_pid = -1;
    int m_pidfd = -1;
    int m_status = 0;
    std::string m_outputPath;
};

} // namespace vantrel::test
