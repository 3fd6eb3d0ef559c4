// The schedule's download from a terminal: preview what the interface would
// store today, send it, and list what the interface holds. Times come from
// this machine's clock and time zone, so the commands can be run as of
// another moment under a faked clock.

#include "tools/vantrelctl/Commands.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/EventListing.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "platform/DateTime.h"
#include "schedule/ModulesDocument.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace vantrel::ctl {
namespace {

constexpr double WholeProgress = CP290ProgressTotal;

struct ScheduleOptions
{
    std::string file;
    LocationOptions location;
    bool verify = false;
};

CLI::App* addScheduleCommand(CLI::App& app, const std::string& name, const std::string& description,
                             ScheduleOptions& options, bool takesFile)
{
    CLI::App* command = app.add_subcommand(name, description);
    // Lets --device follow the command's name as well as precede it.
    command->fallthrough();
    if (takesFile)
        command->add_option("FILE", options.file, "A Vantrel schedule document")->required();
    addLocationOptions(command, options.location);
    return command;
}

bool readDocument(const std::string& path, ModulesDocument* document)
{
    std::string error;
    if (readModulesFile(path, document, &error))
        return true;
    // Some reasons name the file already.
    if (error.rfind(path, 0) == 0)
        std::fprintf(stderr, "vantrelctl: %s\n", error.c_str());
    else
        std::fprintf(stderr, "vantrelctl: %s: %s\n", path.c_str(), error.c_str());
    return false;
}

std::span<const TimerEventEntry> downloadTable()
{
    return {CP290TimerEvent, NumEvents};
}

// The listing ends with a line break after its last event, but not after "None.".
void printListing(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stdout);
}

void readBackFailed(Context& context)
{
    if (!stopSignal())
        std::fprintf(stderr, "vantrelctl: Getting Events From CP290 Failed\n");
    context.exitCode = ExitFailed;
}

// The comparison's words, and its verdict as the exit status.
void printCheck(Context& context, const std::vector<SlotDifference>& differences, unsigned count)
{
    std::printf("%s\n", verificationText(differences, count).c_str());
    context.exitCode = differences.empty() ? ExitOk : ExitFailed;
}

// Reads FILE and compiles what a download of it would store now. On failure
// the reason has been said and the exit status set.
bool prepareFromFile(const ScheduleOptions& options, Context& context, ModulesDocument* document,
                     bool* hadEvents = nullptr)
{
    if (!readDocument(options.file, document)) {
        context.exitCode = ExitFailed;
        return false;
    }
    applyLocationOptions(options.location);
    // Too many events or a damaged module: the console host has said why.
    if (!prepareDownload(document->modules, document->eventRepeat, hadEvents)) {
        context.exitCode = ExitFailed;
        return false;
    }
    return true;
}

} // namespace

bool readScheduleDocument(const std::string& path, ModulesDocument* document)
{
    return readDocument(path, document);
}

void addScheduleCommands(CLI::App& app, Context& context)
{
    auto previewOptions = std::make_shared<ScheduleOptions>();
    CLI::App* preview = addScheduleCommand(
        app, "preview",
        "Print the CP290 events a download of FILE would store now, without any device",
        *previewOptions, true);
    preview->callback([previewOptions, &context] {
        useConsoleDriver();
        ModulesDocument document;
        if (!prepareFromFile(*previewOptions, context, &document))
            return;
        printListing(eventListingText(downloadTable(), NowSecs));
        std::printf("%u of %d CP290 events\n", static_cast<unsigned>(NumEvents), CP290MaxEvents);
        context.exitCode = ExitOk;
    });

    auto sendOptions = std::make_shared<ScheduleOptions>();
    CLI::App* send = addScheduleCommand(app, "send",
                                        "Download the events of FILE to the CP290, with the "
                                        "document's repeat counts; a CP290 that lost its "
                                        "memory first gets back the base house code Vantrel "
                                        "or its helper last saw",
                                        *sendOptions, true);
    send->callback([sendOptions, &context] {
        useDevice(context);
        ModulesDocument document;
        bool hadEvents = false;
        if (!prepareFromFile(*sendOptions, context, &document, &hadEvents))
            return;
        if (!hadEvents) {
            std::printf("There are no events to send.\n");
            context.exitCode = ExitOk;
            return;
        }
        const std::optional<std::uint8_t> baseHouseCode = rememberedBaseHouseCode();
        const DownloadReport report = finishDownload(baseHouseCode, sendOptions->verify);
        if (report.reprogrammed)
            std::printf("The CP290 had lost its memory; its base house code %c was set again and "
                        "the schedule sent again.\n",
                        static_cast<char>('A' + houseCodeIndexOfByte(*baseHouseCode)));
        if (!report.sent) {
            if (!stopSignal())
                std::fprintf(stderr, "vantrelctl: Sending events failed.\n");
            context.exitCode = ExitFailed;
            return;
        }
        if (report.count == 0)
            std::printf("No event falls on today or tomorrow; the CP290's stored events were "
                        "erased.\n");
        else
            std::printf("%u of %d CP290 events sent.\n", report.count, CP290MaxEvents);
        context.exitCode = ExitOk;
        if (!report.checkAsked)
            return;
        if (!report.differences)
            readBackFailed(context);
        else
            printCheck(context, *report.differences, report.count);
    });
    send->add_flag("--verify", sendOptions->verify,
                   "Then read the events back and compare them with what was sent, as verify "
                   "does; exit 1 when they differ");

    auto verifyOptions = std::make_shared<ScheduleOptions>();
    CLI::App* verify = addScheduleCommand(
        app, "verify",
        "Check slot by slot that the CP290 holds what a download of FILE would store now",
        *verifyOptions, true);
    verify->callback([verifyOptions, &context] {
        useDevice(context);
        ModulesDocument document;
        if (!prepareFromFile(*verifyOptions, context, &document))
            return;
        const SlotTable expected = downloadedSlots();
        gProgressBudget = WholeProgress;
        if (const auto differences = CP290DoVerifyEvents(expected))
            printCheck(context, *differences, expected.count);
        else
            readBackFailed(context);
    });

    auto eventsOptions = std::make_shared<ScheduleOptions>();
    CLI::App* events = addScheduleCommand(app, "events", "List the events stored in the CP290",
                                          *eventsOptions, false);
    events->callback([eventsOptions, &context] {
        useDevice(context);
        applyLocationOptions(eventsOptions->location);
        const std::uint32_t now = GetDateTime();
        gProgressBudget = WholeProgress;
        if (!CP290DoGetEvents()) {
            readBackFailed(context);
            return;
        }
        const std::string text = eventListingText(CP290TimerEvent, now);
        printListing(text);
        // A garbled read-back is printed as the listing, but a script should notice it.
        context.exitCode = text == EventListingGarbled ? ExitFailed : ExitOk;
    });
}

} // namespace vantrel::ctl
