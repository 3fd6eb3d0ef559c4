// vantrelctl status: the helper at a glance, for the user's own monitoring.

#include "cp290/HelperStatus.h"
#include "platform/DateTime.h"
#include "platform/SerialDevices.h"
#include "tools/vantrelctl/Commands.h"

#include <cstdio>

namespace vantrel::ctl {

namespace {

std::string localText(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

void addStatusCommand(CLI::App& app, Context& context)
{
    CLI::App* status = app.add_subcommand(
        "status", "The helper: running, enabled, its last attempt and next send; exits 0 when "
                  "the last attempt succeeded, 1 when it failed, 2 when the helper is off or "
                  "not running");
    status->callback([&context] {
        const HelperState state = readHelperState();
        std::printf("%s\n", helperStatusText(state, unixNow()).c_str());
        if (state.running)
            std::printf("running: yes, process %d\n", static_cast<int>(*state.processID));
        else
            std::printf("running: no\n");
        std::printf("enabled: %s\n", state.enabled ? "yes" : "no");
        if (state.last) {
            const HelperAttempt& last = *state.last;
            std::printf("last attempt: %s, %s", localText(last.when).c_str(),
                        last.result == HelperResult::Sent       ? "sent"
                        : last.result == HelperResult::ClockSet ? "clock set"
                                                                : "failed");
            if (last.result == HelperResult::Failed)
                std::printf(" (%s)", last.failure.c_str());
            if (last.check)
                std::printf(", check: %s", last.check->c_str());
            std::printf("\n");
        } else {
            std::printf("last attempt: none yet\n");
        }
        if (state.nextSend)
            std::printf("next send: %s\n", localText(*state.nextSend).c_str());
        const Preferences application(ApplicationDomain);
        const auto device = application.stringValue(SerialDeviceKey);
        std::printf("device: %s\n",
                    device ? (*device + " (" + serialDevicePath(*device) + ")").c_str() : "none chosen");
        context.exitCode = helperStatusExitCode(state);
    });
}

} // namespace vantrel::ctl
