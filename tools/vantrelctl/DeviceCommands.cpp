// The CP290's direct commands from a terminal: switch a module, read and
// set the clock, set the base house code, run the self test. The driver
// reports failures through the console host, on standard error.

#include "tools/vantrelctl/Commands.h"

#include "platform/Preferences.h"
#include "platform/SerialDevices.h"

#include "cp290/ClockText.h"
#include "cp290/Driver.h"
#include "cp290/DriverHost.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace vantrel::ctl {
namespace {

constexpr int AllLightsUnit = 17;
constexpr int AllModulesUnit = 18;
// The status sheet's full scale; a console has no bar, but the driver's
// amounts stay those of the application.
constexpr double WholeProgress = CP290ProgressTotal;

// House code letter A-P (either case) to index 0-15, or -1.
int houseCodeIndexOfLetter(const std::string& text)
{
    if (text.size() != 1)
        return -1;
    const int letter = std::toupper(static_cast<unsigned char>(text[0]));
    return letter >= 'A' && letter <= 'P' ? letter - 'A' : -1;
}

// Unit 1-16, or 17/18 for the two pseudo-units, or -1.
int unitOfText(const std::string& text)
{
    if (text == "all-lights")
        return AllLightsUnit;
    if (text == "all-modules")
        return AllModulesUnit;
    if (text.empty() || text.size() > 2)
        return -1;
    int unit = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
        unit = unit * 10 + (c - '0');
    }
    return unit >= 1 && unit <= 16 ? unit : -1;
}

const CLI::Validator HouseCode(
    [](std::string& text) {
        return houseCodeIndexOfLetter(text) < 0 ? "'" + text + "' is not a house code A to P"
                                                : std::string();
    },
    "A-P");

const CLI::Validator Unit(
    [](std::string& text) {
        return unitOfText(text) < 0
                   ? "'" + text + "' is not a unit 1 to 16, all-lights or all-modules"
                   : std::string();
    },
    "1-16|all-lights|all-modules");

ConsoleDriverHost consoleHost;

volatile std::sig_atomic_t arrivedStopSignal = 0;
bool stopSignalsHeld = false;
bool deviceUsed = false;
sigset_t maskBeforeHolding;
sigset_t driverWaitMask;
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int signal)
{
    arrivedStopSignal = signal;
}

// A signal's default action would end the program with the port still
// exclusive and in raw 600-baud mode; the handler only records it, and the
// driver, which lets it in only while it waits, gives the port back.
void holdStopSignals()
{
    if (stopSignalsHeld)
        return;
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : StopSignals)
        sigaddset(&stops, signal);
    sigprocmask(SIG_BLOCK, &stops, &maskBeforeHolding);
    driverWaitMask = maskBeforeHolding;
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    action.sa_mask = stops;
    for (int signal : StopSignals) {
        sigdelset(&driverWaitMask, signal);
        sigaction(signal, &action, nullptr);
    }
    setCP290StopRequest(&arrivedStopSignal, &driverWaitMask);
    stopSignalsHeld = true;
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    }
    return "a signal";
}

// Runs one command on the device, turning its result into the exit status.
void runOnDevice(Context& context, const std::function<bool()>& command)
{
    useDevice(context);
    context.exitCode = command() ? ExitOk : ExitFailed;
}

CLI::App* addCommand(CLI::App& app, const std::string& name, const std::string& description)
{
    CLI::App* command = app.add_subcommand(name, description);
    // Lets --device follow the command's name as well as precede it.
    command->fallthrough();
    return command;
}

struct SwitchArguments
{
    std::string house;
    std::string unit;
    int brightness = 0;
};

void addSwitchArguments(CLI::App* command, SwitchArguments& arguments)
{
    command->add_option("HOUSE", arguments.house, "House code, A to P")
        ->required()
        ->check(HouseCode);
    command->add_option("UNIT", arguments.unit, "Unit 1 to 16, all-lights or all-modules")
        ->required()
        ->check(Unit);
}

} // namespace

void useConsoleDriver()
{
    holdStopSignals();
    setDriverHost(&consoleHost);
    CP290Verbose = true;
    CP290Close = true;
}

int stopSignal()
{
    return arrivedStopSignal;
}

std::string takeStopSignal()
{
    if (stopSignalsHeld)
        sigprocmask(SIG_SETMASK, &maskBeforeHolding, nullptr);
    const int signal = arrivedStopSignal;
    if (signal == 0)
        return {};
    std::string message = std::string("vantrelctl: stopped by ") + signalName(signal);
    if (deviceUsed)
        message += "; the serial port was closed and its settings restored";
    return message;
}

void useDevice(const Context& context)
{
    std::string path = context.device;
    if (path.empty()) {
        const Preferences application(ApplicationDomain);
        if (const auto name = application.stringValue(SerialDeviceKey))
            path = serialDevicePath(*name);
    }
    if (path.empty())
        throw UsageError("--device: no serial device given and none chosen in Vantrel; name "
                         "the CP290's port with --device PATH");
    useConsoleDriver();
    setCP290DeviceFilePath(path.c_str());
    deviceUsed = true;
}

void addDeviceCommands(CLI::App& app, Context& context)
{
    app.add_option("--device", context.device, "Serial device of the CP290, e.g. /dev/ttyUSB0");

    auto onArguments = std::make_shared<SwitchArguments>();
    CLI::App* on = addCommand(app, "on", "Switch a module on now");
    addSwitchArguments(on, *onArguments);
    on->callback([onArguments, &context] {
        const int unit = unitOfText(onArguments->unit);
        if (unit == AllModulesUnit)
            throw UsageError("UNIT: all-modules can only be switched off");
        runOnDevice(context, [&] {
            return CP290DoOnOffDim(houseCodeIndexOfLetter(onArguments->house), unit, CP290FunctionOn);
        });
    });

    auto offArguments = std::make_shared<SwitchArguments>();
    CLI::App* off = addCommand(app, "off", "Switch a module off now");
    addSwitchArguments(off, *offArguments);
    off->callback([offArguments, &context] {
        const int unit = unitOfText(offArguments->unit);
        if (unit == AllLightsUnit)
            throw UsageError(
                "UNIT: all-lights can only be switched on (X10 has no all-lights-off)");
        runOnDevice(context, [&] {
            return CP290DoOnOffDim(houseCodeIndexOfLetter(offArguments->house), unit, CP290FunctionOff);
        });
    });

    auto dimArguments = std::make_shared<SwitchArguments>();
    CLI::App* dim = addCommand(app, "dim", "Dim a lamp module now");
    addSwitchArguments(dim, *dimArguments);
    dim->add_option("BRIGHTNESS", dimArguments->brightness,
                    "Brightness 1 (dimmest) to 8, in eighths of full light")
        ->required()
        ->check(CLI::Range(1, 8));
    dim->callback([dimArguments, &context] {
        const int unit = unitOfText(dimArguments->unit);
        if (unit > 16)
            throw UsageError("UNIT: only a single unit 1 to 16 can be dimmed");
        runOnDevice(context, [&] {
            return CP290DoOnOffDim(houseCodeIndexOfLetter(dimArguments->house), unit,
                                   brightnessByte(dimArguments->brightness));
        });
    });

    CLI::App* clock = addCommand(app, "clock", "Print the CP290's clock");
    clock->callback([&context] {
        runOnDevice(context, [] {
            if (!CP290DoGetClock())
                return false;
            std::printf("%s\n", twelveHourClockText(gHour, gMinute).c_str());
            return true;
        });
    });

    CLI::App* setClock = addCommand(app, "set-clock", "Set the CP290's clock from this computer's");
    setClock->callback([&context] {
        runOnDevice(context, [] {
            gProgressBudget = WholeProgress;
            return CP290DoSetClock();
        });
    });

    auto letter = std::make_shared<std::string>();
    CLI::App* baseHouseCode = addCommand(
        app, "base-house-code", "Set the CP290's base house code (erases its stored events)");
    baseHouseCode->add_option("LETTER", *letter, "House code, A to P")
        ->required()
        ->check(HouseCode);
    baseHouseCode->callback([letter, &context] {
        runOnDevice(context, [&] {
            gProgressBudget = WholeProgress;
            if (!CP290DoSetBaseHouseCode(houseCodeIndexOfLetter(*letter)))
                return false;
            std::printf("Base house code set; the CP290's stored events have been erased.\n");
            return true;
        });
    });

    CLI::App* selfTest =
        addCommand(app, "self-test", "Run the CP290's self test (erases its stored events)");
    selfTest->callback([&context] {
        runOnDevice(context, [] {
            gProgressBudget = WholeProgress;
            if (!CP290DoSelfTest()) {
                if (!stopSignal())
                    std::fprintf(stderr, "vantrelctl: the self test failed\n");
                return false;
            }
            std::printf("Self test passed; the CP290's stored events have been erased.\n");
            return true;
        });
    });
}

} // namespace vantrel::ctl
