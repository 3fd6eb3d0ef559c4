// The lock that keeps one helper per preferences: a second taker waits for
// the holder to let go, for a bounded time, and can be called off.

#include "platform/InstanceLock.h"

#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using Result = InstanceLock::Result;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class InstanceLockTest : public ::testing::Test
{
  protected:
    std::string path() const { return home.root() + "/helper.lock"; }
    test::TemporaryHome home;
};

TEST_F(InstanceLockTest, SecondTakerWaitsForTheHolderAndThenGetsIt)
{
    std::optional<InstanceLock> first;
    first.emplace();
    ASSERT_EQ(first->acquire(path()), Result::Acquired);

    // Held throughout: the wait runs out.
    InstanceLock second;
    auto start = std::chrono::steady_clock::now();
    std::string error;
    EXPECT_EQ(second.acquire(path(), 200ms, -1, &error), Result::Held);
    EXPECT_GE(secondsSince(start), 0.2);
    EXPECT_EQ(error, path() + ": held by another process");

    // Let go during the wait: taken as soon as the holder closes the file.
    std::thread release([&] {
        std::this_thread::sleep_for(100ms);
        first.reset();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(second.acquire(path(), 10s), Result::Acquired);
    release.join();
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_TRUE(second.isHeld());
}

TEST_F(InstanceLockTest, WaitIsCalledOffByTheInterruptDescriptor)
{
    InstanceLock first;
    ASSERT_EQ(first.acquire(path()), Result::Acquired);
    int request[2];
    ASSERT_EQ(pipe2(request, O_CLOEXEC), 0);
    ASSERT_EQ(write(request[1], "x", 1), 1);

    InstanceLock second;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(second.acquire(path(), 10s, request[0]), Result::Interrupted);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_FALSE(second.isHeld());
    close(request[0]);
    close(request[1]);
}

TEST_F(InstanceLockTest, AFileThatCannotBeMadeIsAFailureWithItsReason)
{
    std::filesystem::create_directory(path());
    InstanceLock lock;
    std::string error;
    EXPECT_EQ(lock.acquire(path(), 10s, -1, &error), Result::Failed);
    EXPECT_EQ(error, path() + ": Is a directory");
    EXPECT_FALSE(lock.isHeld());
}

} // namespace
} // namespace vantrel
