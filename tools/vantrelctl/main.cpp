// vantrelctl: the schedule and the CP290 from a terminal, for machines
// without a desktop. Each group of commands registers itself from its own file.

#include "tools/vantrelctl/Commands.h"

#include "platform/Preferences.h"

#include <CLI/CLI.hpp>

#include <cstdio>

int main(int argc, char** argv)
{
    // The user's own coordinates, when set, win over the time zone's city.
    vantrel::installLocationPreferences();
    vantrel::setPreferencesWarningSink([](const std::string& message) {
        std::fprintf(stderr, "vantrelctl: %s\n", message.c_str());
    });

    CLI::App app{"vantrelctl: drive the X10 CP290 interface and edit Vantrel schedules"};
    app.require_subcommand(1);
    vantrel::ctl::Context context;
    vantrel::ctl::addSunCommand(app, context);
    vantrel::ctl::addDeviceCommands(app, context);
    vantrel::ctl::addScheduleCommands(app, context);
    vantrel::ctl::addEditCommands(app, context);
    vantrel::ctl::addWeekCommand(app, context);
    vantrel::ctl::addStatusCommand(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line naming what is wrong; usage problems exit 2.
        std::fprintf(stderr, "vantrelctl: %s\n", e.what());
        return vantrel::ctl::ExitUsage;
    } catch (const vantrel::ctl::UsageError& e) {
        std::fprintf(stderr, "vantrelctl: %s\n", e.what());
        return vantrel::ctl::ExitUsage;
    }
    if (const std::string stopped = vantrel::ctl::takeStopSignal(); !stopped.empty()) {
        std::fprintf(stderr, "%s\n", stopped.c_str());
        return 128 + vantrel::ctl::stopSignal();
    }
    return context.exitCode;
}
