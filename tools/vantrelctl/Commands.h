#pragma once

// The command groups of vantrelctl. Each add*() registers its subcommands on
// the app; a subcommand's callback runs the command and leaves its exit
// status in the context.

#include "schedule/ModulesDocument.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace vantrel::ctl {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1; // the interface failed, or a file could not be read or written
constexpr int ExitUsage = 2;  // bad arguments

// Thrown by a command for a bad argument found after parsing (an index out of
// range, a date that does not exist): main prints it as one line, exit 2.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct LocationOptions
{
    std::optional<int> latitude;
    std::optional<int> longitude;
    std::optional<long> gmtOffset;
};

struct Context
{
    int exitCode = ExitOk;
    std::string device; // --device, before or after the command's name
    LocationOptions location;
};

// --latitude, --longitude, --gmt-offset on a subcommand, checked for range.
void addLocationOptions(CLI::App* command, LocationOptions& options);
// Installs the given location options for the sun times of this process.
void applyLocationOptions(const LocationOptions& options);

// Driver alerts go to standard error; every exchange opens and closes the
// port. From here on SIGINT, SIGTERM and SIGHUP are held back except while
// the driver waits, where one ends the exchange with the port given back.
void useConsoleDriver();
// The stop signal that arrived, or 0. Commands say nothing of a failure it caused.
int stopSignal();
// Lets a held-back stop signal arrive; the one-line message main prints for
// it, or an empty string when none came.
std::string takeStopSignal();
// Points the driver at the CP290 for this command, with alerts printed to
// standard error: --device when given, else the device the application
// chose (its "SerialDevice" preference). Throws UsageError when neither is set.
void useDevice(const Context& context);

// A YYYY-MM-DD date, checked only for its form and the ranges of its fields.
bool parseDateArgument(const std::string& text, int* year, int* month, int* day);
// Reads a schedule document; false after saying why on standard error.
bool readScheduleDocument(const std::string& path, ModulesDocument* document);

void addSunCommand(CLI::App& app, Context& context);
void addDeviceCommands(CLI::App& app, Context& context);
void addScheduleCommands(CLI::App& app, Context& context);
void addEditCommands(CLI::App& app, Context& context);
void addWeekCommand(CLI::App& app, Context& context);
// status: the helper's health.
void addStatusCommand(CLI::App& app, Context& context);

} // namespace vantrel::ctl
