// vantrelctl week: what the interface will switch over the coming days, as
// the helper's daily downloads would leave it, without any device.

#include "tools/vantrelctl/Commands.h"

#include "cp290/WeekAhead.h"
#include "platform/DateTime.h"

#include <cstdio>
#include <memory>

namespace vantrel::ctl {

void addWeekCommand(CLI::App& app, Context& context)
{
    struct WeekOptions
    {
        std::string file;
        std::string from;
        int days = WeekAheadDefaultDays;
        LocationOptions location;
    };
    auto options = std::make_shared<WeekOptions>();
    CLI::App* week = app.add_subcommand(
        "week", "Print what the CP290 will switch each day, and when, as the helper's daily "
                "3:00 AM downloads of FILE leave it (default: 7 days from today)");
    week->add_option("FILE", options->file, "A Vantrel schedule document")->required();
    week->add_option("--from", options->from, "The first day, as YYYY-MM-DD");
    week->add_option("--days", options->days, "How many days")
        ->check(CLI::Range(1, WeekAheadMaxDays));
    addLocationOptions(week, options->location);
    week->callback([options, &context] {
        DateTimeRec first = secondsToDate(GetDateTime());
        if (!options->from.empty()) {
            int year = 0, month = 0, day = 0;
            if (!parseDateArgument(options->from, &year, &month, &day))
                throw UsageError("--from: " + options->from + " is not a date YYYY-MM-DD");
            first.year = static_cast<std::int16_t>(year);
            first.month = static_cast<std::int16_t>(month);
            first.day = static_cast<std::int16_t>(day);
        }
        ModulesDocument document;
        if (!readScheduleDocument(options->file, &document)) {
            context.exitCode = ExitFailed;
            return;
        }
        applyLocationOptions(options->location);
        std::vector<WeekDay> days;
        std::string error;
        if (!computeWeekAhead(document.modules, document.eventRepeat, first.year, first.month,
                              first.day, options->days, &days, &error))
            throw UsageError((options->from.empty() ? "" : "--from " + options->from + ": ") +
                             error);
        std::fputs(weekAheadText(days, document.modules).c_str(), stdout);
        // A day whose download would not be sent is printed, but a script should notice it.
        context.exitCode = ExitOk;
        for (const WeekDay& day : days)
            if (!day.failure.empty())
                context.exitCode = ExitFailed;
    });
}

} // namespace vantrel::ctl
