// Saving and reading whole files: what documents and preferences files go
// through, so links, modes, killed saves and odd paths are tried here once.

#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::atomic<bool> failingSync{false};
}

// Takes the place of the C library's fsync for the code under test, so that
// a failing disk can be played.
extern "C" int fsync(int fd)
{
    if (failingSync) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileSaving : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vantrel-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::string path(const std::string& name) const { return m_root + "/" + name; }
    // Names in the folder other than the given ones.
    std::vector<std::string> othersIn(const std::string& folder,
                                      std::initializer_list<std::string> known) const
    {
        std::vector<std::string> others;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (std::find(known.begin(), known.end(), name) == known.end())
                others.push_back(name);
        }
        return others;
    }
    std::string m_root;
};

TEST_F(FileSaving, ALinkIsSavedThroughToItsTarget)
{
    fs::create_directories(path("dotfiles"));
    ASSERT_TRUE(writeFileAtomically(path("dotfiles/real.plist"), "old"));
    fs::create_symlink("dotfiles/real.plist", path("link.plist"));
    fs::create_symlink(path("link.plist"), path("second.plist"));
    // A link whose target does not exist yet: the save creates the target.
    fs::create_symlink("dotfiles/new.plist", path("dangling.plist"));

    std::string error;
    ASSERT_TRUE(writeFileAtomically(path("second.plist"), "new", &error)) << error;
    ASSERT_TRUE(writeFileAtomically(path("dangling.plist"), "created", &error)) << error;

    EXPECT_TRUE(fs::is_symlink(path("link.plist")));
    EXPECT_TRUE(fs::is_symlink(path("second.plist")));
    EXPECT_TRUE(fs::is_symlink(path("dangling.plist")));
    EXPECT_EQ(contents(path("dotfiles/real.plist")), "new");
    EXPECT_EQ(contents(path("dotfiles/new.plist")), "created");
    EXPECT_EQ(othersIn(m_root, {"dotfiles", "link.plist", "second.plist", "dangling.plist"}),
              std::vector<std::string>{});
    EXPECT_EQ(othersIn(path("dotfiles"), {"real.plist", "new.plist"}), std::vector<std::string>{});
}

TEST_F(FileSaving, KeepsTheModeOfAnExistingFileAndGivesANewOneTheUmasksMode)
{
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0444)}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(writeFileAtomically(path("doc.plist"), "one"));
        ASSERT_EQ(chmod(path("doc.plist").c_str(), mode), 0);
        ASSERT_TRUE(writeFileAtomically(path("doc.plist"), "two"));
        struct stat info
        {
        };
        ASSERT_EQ(stat(path("doc.plist").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        ASSERT_EQ(unlink(path("doc.plist").c_str()), 0);
    }
    const mode_t old = umask(027);
    const bool written = writeFileAtomically(path("fresh.plist"), "x");
    umask(old);
    ASSERT_TRUE(written);
    struct stat info
    {
    };
    ASSERT_EQ(stat(path("fresh.plist").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// A child that saves under a file-size limit whose signal is left at its
// default: the kernel ends it half way through the write, as a kill would.
void killedSave(const std::string& file)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        const rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        writeFileAtomically(file, std::string(1 << 20, 'x'));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save was not cut short";
}

TEST_F(FileSaving, KilledSavesLeaveOneHiddenFileThatTheNextSaveTakesAway)
{
    ASSERT_TRUE(writeFileAtomically(path("doc.plist"), "kept"));
    killedSave(path("doc.plist"));
    killedSave(path("doc.plist"));
    EXPECT_EQ(contents(path("doc.plist")), "kept");
    const std::vector<std::string> left = othersIn(m_root, {"doc.plist"});
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(m_root + "/" + left[0], atomicSaveTemporaryPath(path("doc.plist")));
    EXPECT_EQ(left[0][0], '.');

    ASSERT_TRUE(writeFileAtomically(path("doc.plist"), "saved"));
    EXPECT_EQ(contents(path("doc.plist")), "saved");
    EXPECT_EQ(othersIn(m_root, {"doc.plist"}), std::vector<std::string>{});

    // The longest name a folder holds still has a temporary name that fits.
    const std::string longName(255, 'n');
    EXPECT_TRUE(writeFileAtomically(path(longName), "long"));
    EXPECT_EQ(contents(path(longName)), "long");
}

TEST_F(FileSaving, SavesOfOneFileFromSeveralProgramsAtOnceNeverMix)
{
    // The temporary name is shared, so each save must have it to itself.
    const std::string file = path("doc.plist");
    std::vector<pid_t> children;
    for (char fill : {'a', 'b', 'c', 'd'}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool allWritten = true;
            for (int round = 0; round < 30; ++round)
                allWritten = writeFileAtomically(file, std::string(200000, fill)) && allWritten;
            _exit(allWritten ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string saved = contents(file);
    ASSERT_EQ(saved.size(), 200000u);
    EXPECT_EQ(saved.find_first_not_of(saved[0]), std::string::npos);
    EXPECT_EQ(othersIn(m_root, {"doc.plist"}), std::vector<std::string>{});
}

TEST_F(FileSaving, AFailedSyncClosesTheFileAndLeavesTheOldOne)
{
    ASSERT_TRUE(writeFileAtomically(path("doc.plist"), "old"));
    const auto openDescriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto before = openDescriptors();
    std::string error;
    failingSync = true;
    const bool written = writeFileAtomically(path("doc.plist"), "new", &error);
    failingSync = false;
    EXPECT_FALSE(written);
    EXPECT_NE(error.find(std::strerror(EIO)), std::string::npos) << error;
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(contents(path("doc.plist")), "old");
    EXPECT_EQ(othersIn(m_root, {"doc.plist"}), std::vector<std::string>{});

    // A folder that is not there is reported at once.
    EXPECT_FALSE(writeFileAtomically(path("absent/doc.plist"), "new", &error));
    EXPECT_NE(error.find(std::strerror(ENOENT)), std::string::npos) << error;
}

TEST_F(FileSaving, AFolderThatTakesNoFileIsNamedNotTheHiddenFile)
{
    std::string error;
    // A missing folder fails where a read-only one does (root passes
    // permission checks, so that cannot be arranged here), in making the
    // temporary file.
    EXPECT_FALSE(writeFileAtomically(path("absent/doc.plist"), "new", &error));
    EXPECT_EQ(error, "Cannot save in the folder " + path("absent") + ": " + std::strerror(ENOENT));
    EXPECT_EQ(error.find(".saving"), std::string::npos) << error;

    if (geteuid() != 0) {
        fs::create_directory(path("locked"));
        fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(writeFileAtomically(path("locked/doc.plist"), "new", &error));
        fs::permissions(path("locked"), fs::perms::owner_all);
        EXPECT_EQ(error,
                  "Cannot save in the folder " + path("locked") + ": " + std::strerror(EACCES));
    }
}

TEST_F(FileSaving, WhatIsNotARegularFileIsNeitherReadNorReplaced)
{
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("zero"));
    fs::create_directories(path("folder"));
    // Sparse: a file beyond the limit without filling the disk.
    {
        std::ofstream(path("huge")).close();
        fs::resize_file(path("huge"), MaxReadFileSize + 1);
    }
    struct Row
    {
        const char* name;
        const char* reason;
    };
    // A reader that blocked or ran on would be stopped by the alarm.
    alarm(20);
    for (const Row& row :
         {Row{"fifo", "a FIFO, not a regular file"}, Row{"zero", "a device, not a regular file"},
          Row{"folder", "a folder, not a regular file"}, Row{"huge", "larger than 64 MiB"}}) {
        SCOPED_TRACE(row.name);
        std::string data = "untouched";
        std::string error;
        EXPECT_FALSE(readWholeFile(path(row.name), &data, &error));
        EXPECT_EQ(data, "untouched");
        EXPECT_EQ(error.rfind(path(row.name) + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    alarm(0);

    std::string error;
    EXPECT_FALSE(writeFileAtomically(path("fifo"), "x", &error));
    EXPECT_NE(error.find("a FIFO"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_FALSE(writeFileAtomically(path("zero"), "x", &error));
    EXPECT_NE(error.find("/dev/zero: a device"), std::string::npos) << error;
}

} // namespace
} // namespace vantrel
