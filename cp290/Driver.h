#pragma once

// The CP290 driver: the serial link, one command exchange with its retries,
// and the interface's commands. Process-wide state, as both programs run one
// exchange at a time on their main thread.

#include <csignal>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vantrel {

// Command codes of the interface.
constexpr std::uint8_t CP290SetBaseHouseCode = 0;
constexpr std::uint8_t CP290DirectCommand = 1;
constexpr std::uint8_t CP290SetClock = 2;
constexpr std::uint8_t CP290DownloadEvent = 3;
constexpr std::uint8_t CP290GetClock = 4;
constexpr std::uint8_t CP290GetEvents = 5;
constexpr std::uint8_t CP290SelfTest = 7;

constexpr int CP290MaxEvents = 128;
constexpr int CP290TimerEventSize = 10;
constexpr std::size_t CP290DeviceFilePathSize = 256;

// Driver state.
extern char CP290DeviceFilePath[CP290DeviceFilePathSize];
extern int CP290FileDescriptor;
extern bool CP290Close;
extern bool CP290Verbose;
extern double gProgressBudget;
// What a whole exchange adds to the progress bar, spread over its steps.
constexpr int CP290ProgressTotal = 130;

// Level/function bytes of the pseudo-units and of plain switching.
constexpr std::uint8_t CP290FunctionAllUnitsOff = 0;
constexpr std::uint8_t CP290FunctionAllLightsOn = 1;
constexpr std::uint8_t CP290FunctionOn = 2;
constexpr std::uint8_t CP290FunctionOff = 3;

// Replies of commands 4 and 5.
extern std::uint8_t gMinute;
extern std::uint8_t gHour;
extern std::uint8_t gBaseHouseCode;
// The download table, also filled by reading the events back.
extern std::uint8_t CP290TimerEvent[CP290MaxEvents][CP290TimerEventSize];
extern std::uint16_t NumEvents;

// Lets a signal stop an exchange. The program keeps its stop signals blocked
// and names the flag its handler sets and the mask to wait with (its own
// with those signals let through): the driver's waits are then the only
// place they arrive, so none slips in between a look at the flag and a
// wait. Once the flag is set the exchange ends at once, without further
// attempts or an alert, and the port is closed (exclusive use released,
// settings restored) whatever CP290Close says. A null flag turns this off.
void setCP290StopRequest(volatile std::sig_atomic_t* flag, const sigset_t* waitMask);

// The status the interface answered when the last failed command was
// refused; nullopt when it failed another way (or nothing failed yet).
std::optional<std::uint8_t> lastRefusalStatus();

// While held, a command that fails keeps its "CP290 Not Responding" report
// instead of showing it, so a caller that can still mend the failure says
// nothing about it; showHeldCP290FailureReport() shows the one kept.
void holdCP290FailureReport(bool hold);
// Why the last exchange failed, in a few words ("CP290 Not Responding",
// "Permission denied"), for reports that have no room for the alert.
std::string lastCP290FailureSummary();
void showHeldCP290FailureReport();

// Called with the base house code byte whenever an exchange has read it
// (command 4) or set it (command 0), so the program can remember it.
void setBaseHouseCodeObserver(std::function<void(std::uint8_t)> observer);

// Puts every piece of driver state back to its initial value (tests).
void resetDriverState();

void setCP290DeviceFilePath(const char* path);
// The "Cannot Open Serial Device" message for an open of devicePath that
// failed with error; a refused permission adds how to get access.
std::string cannotOpenMessage(int error, const char* devicePath);
int openCP290();
void closeCP290();
bool SendByte(std::uint8_t byte);
bool GetByte(std::uint8_t* byte);
bool SendCP290Command(std::uint8_t command, const std::uint8_t* data, std::int16_t count);

// Encodings of the interface.
std::uint8_t houseCodeByte(int houseCodeIndex); // 0-15 -> table byte
int houseCodeIndexOfByte(std::uint8_t byte);    // -1 when not in the table
std::uint8_t brightnessByte(int brightness);    // 1-9 -> level/function byte
std::uint8_t dayByteOfWeekday(int dayOfWeek);   // DateTimeRec dayOfWeek, 1 = Sunday

bool CP290DoOnOffDim(int houseCodeIndex, int unit, std::uint8_t levelFunction);
bool CP290DoGetClock();
bool CP290DoSetBaseHouseCode(int houseCodeIndex);
bool CP290DoSetClock();
bool CP290DoGetEvents();
bool CP290DoSelfTest();

} // namespace vantrel
