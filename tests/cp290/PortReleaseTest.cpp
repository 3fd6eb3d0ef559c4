// An alert about a failed exchange may wait for hours for its OK; the port
// must be free all that time, or the helper's nightly download finds it taken.

#include "LinkTestSupport.h"
#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "cp290/Recovery.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"
#include "support/Cp290Sim.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vantrel {
namespace {

const std::string NotResponding = "alert CP290 Not Responding";

class PortRelease : public ::testing::Test
{
  protected:
    void startDevice(const std::string& fault)
    {
        sim.emplace(std::vector<std::string>{"--fault", fault});
        ASSERT_TRUE(sim->isRunning());
        const std::optional<termios> settings = test::settingsOf(sim->devicePath());
        ASSERT_TRUE(settings);
        before = *settings;
        host.emplace(sim->devicePath(), before);
        setDriverHost(&*host);
        setCP290DeviceFilePath(sim->devicePath().c_str());
    }

    void SetUp() override
    {
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
        setLocationOverride({0, 0, 0});
        setDriverTickForTests(std::chrono::milliseconds(1));
    }
    void TearDown() override
    {
        setDriverHost(nullptr);
        setLocationOverride({});
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
    }

    std::optional<test::Cp290Sim> sim;
    std::optional<test::PortCheckingHost> host;
    termios before{};
};

TEST_F(PortRelease, SingleCommandThatGetsNoReply)
{
    ASSERT_NO_FATAL_FAILURE(startDevice("no-reply@1-"));
    ASSERT_EQ(test::anotherProcessTakesThePort(sim->devicePath(), before), 0);

    EXPECT_FALSE(CP290DoGetClock());

    ASSERT_EQ(host->events, (std::vector<std::string>{"statusEnd", NotResponding}));
    EXPECT_EQ(host->portWhileUp, std::vector<int>{0}) << "1: open refused, 2: locked, 3: raw";
}

struct BatchCase
{
    const char* legend;
    const char* fault;
    std::optional<std::uint8_t> rememberedBaseHouseCode;
};

void PrintTo(const BatchCase& row, std::ostream* out)
{
    *out << row.legend;
}

class PortReleaseInBatch : public PortRelease, public ::testing::WithParamInterface<BatchCase>
{
};

TEST_P(PortReleaseInBatch, DownloadThatGetsNoReply)
{
    ASSERT_NO_FATAL_FAILURE(startDevice(GetParam().fault));
    test::FixedClock clock(2007, 3, 5, 12, 0);
    CP290Verbose = false;
    ASSERT_TRUE(prepareDownload({test::moduleWith({test::clockEvent(EventRuleWeekly, 7, 0)}, 0, 1)},
                                {1, 1}));
    CP290Verbose = true;

    MemoryRecovery recovery{GetParam().rememberedBaseHouseCode};
    EXPECT_FALSE(CP290DoSendEventEnd(&recovery));

    ASSERT_EQ(host->events, (std::vector<std::string>{"statusEnd", NotResponding}));
    EXPECT_EQ(host->portWhileUp, std::vector<int>{0}) << "1: open refused, 2: locked, 3: raw";
    EXPECT_TRUE(CP290Close);
}

INSTANTIATE_TEST_SUITE_P(Failures, PortReleaseInBatch,
                         ::testing::Values(BatchCase{"first event unanswered", "no-reply@4-",
                                                     std::nullopt},
                                           // The report is held while the recovery may still mend
                                           // the failure, and shown afterwards.
                                           BatchCase{"clock unanswered, recovery held the report",
                                                     "no-reply@1-", std::uint8_t{0x60}}));

} // namespace
} // namespace vantrel
