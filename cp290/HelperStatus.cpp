#include "cp290/HelperStatus.h"

#include "cp290/EventListing.h"

#include <cstdio>
#include <filesystem>
#include <signal.h>

namespace vantrel {
namespace {

const char* resultWord(HelperResult result)
{
    switch (result) {
    case HelperResult::Sent:
        return "Sent";
    case HelperResult::ClockSet:
        return "Clock Set";
    case HelperResult::Failed:
        return "Failed";
    }
    return "Failed";
}

std::optional<HelperResult> resultOfWord(const std::string& word)
{
    for (HelperResult result : {HelperResult::Sent, HelperResult::ClockSet, HelperResult::Failed})
        if (word == resultWord(result))
            return result;
    return std::nullopt;
}

std::tm localTime(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    return local;
}

bool sameDay(const std::tm& a, const std::tm& b)
{
    return a.tm_year == b.tm_year && a.tm_yday == b.tm_yday;
}

std::string clockText(std::time_t moment)
{
    const std::tm local = localTime(moment);
    return listingTimeText(local.tm_hour, local.tm_min);
}

// "today", "yesterday" or "on 12/05", as seen from now.
std::string dayText(std::time_t moment, std::time_t now)
{
    const std::tm when = localTime(moment);
    if (sameDay(when, localTime(now)))
        return "today";
    if (sameDay(when, localTime(now - 86400)))
        return "yesterday";
    char text[32];
    std::snprintf(text, sizeof text, "on %02d/%02d", when.tm_mon + 1, when.tm_mday);
    return text;
}

// "last night's", "today's", "yesterday's" or "the 12/05" send.
std::string sendName(std::time_t moment, std::time_t now)
{
    const std::tm when = localTime(moment);
    const std::string day = dayText(moment, now);
    if (day == "today")
        return when.tm_hour < 6 ? "last night's send" : "today's send";
    if (day == "yesterday")
        return when.tm_hour >= 18 ? "last night's send" : "yesterday's send";
    return "the send " + day;
}

std::string nextText(const HelperState& state, std::time_t now)
{
    if (!state.nextSend)
        return {};
    const std::string day = dayText(*state.nextSend, now);
    return clockText(*state.nextSend) + (day == "today" ? "" : " " + day);
}

} // namespace

bool HelperAttempt::succeeded() const
{
    return result != HelperResult::Failed && (!check || *check == VerifiedCheck);
}

void storeHelperAttempt(Preferences& preferences, const HelperAttempt& attempt)
{
    preferences.setUnixDate(LastAttemptKey, attempt.when);
    preferences.setValue(LastResultKey, std::string(resultWord(attempt.result)));
    if (attempt.result == HelperResult::Failed)
        preferences.setValue(LastFailureKey, attempt.failure);
    else
        preferences.removeValue(LastFailureKey);
    if (attempt.check)
        preferences.setValue(LastCheckKey, *attempt.check);
    else
        preferences.removeValue(LastCheckKey);
    preferences.setUnixDate(NextSendKey, attempt.nextSend);
}

std::optional<HelperAttempt> readHelperAttempt(const Preferences& preferences)
{
    const auto when = preferences.unixDateValue(LastAttemptKey);
    const auto word = preferences.stringValue(LastResultKey);
    const auto result = word ? resultOfWord(*word) : std::nullopt;
    if (!when || !result)
        return std::nullopt;
    HelperAttempt attempt;
    attempt.when = *when;
    attempt.result = *result;
    attempt.failure = preferences.stringValue(LastFailureKey).value_or("");
    attempt.check = preferences.stringValue(LastCheckKey);
    attempt.nextSend = preferences.unixDateValue(NextSendKey).value_or(0);
    return attempt;
}

bool isRunningHelper(pid_t pid)
{
    if (pid <= 0 || kill(pid, 0) != 0)
        return false;
    std::error_code error;
    std::string program =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
    const std::string deleted = " (deleted)";
    if (program.size() > deleted.size() && program.ends_with(deleted))
        program.resize(program.size() - deleted.size());
    return !error && std::filesystem::path(program).filename() == "vantrel-helper";
}

HelperState readHelperState()
{
    HelperState state;
    const Preferences application(ApplicationDomain);
    state.enabled = !application.contains(NoHelperKey);
    const Preferences helper(HelperDomain);
    if (const auto id = helper.integerValue(ProcessIDKey); id && *id > 0 && *id < (1LL << 31)) {
        state.processID = static_cast<pid_t>(*id);
        state.running = isRunningHelper(*state.processID);
    }
    state.last = readHelperAttempt(helper);
    if (state.last && state.last->nextSend)
        state.nextSend = state.last->nextSend;
    else if (const auto sendTime = helper.unixDateValue(SendTimeKey))
        state.nextSend = *sendTime;
    return state;
}

std::string helperStatusText(const HelperState& state, std::time_t now)
{
    if (!state.enabled)
        return "Helper: off";
    if (!state.running)
        return "Helper: not running";
    const std::string next = nextText(state, now);
    if (!state.last)
        return next.empty() ? "Helper: running" : "Helper: running; first send at " + next;
    const HelperAttempt& last = *state.last;
    std::string text;
    if (last.result == HelperResult::Failed) {
        text = "Helper: " + sendName(last.when, now) + " failed (" + last.failure + ")";
    } else {
        text = std::string("Helper: ") + (last.result == HelperResult::Sent ? "sent " : "clock set ") +
               dayText(last.when, now) + " at " + clockText(last.when);
        if (last.check && *last.check == VerifiedCheck)
            text += ", verified";
        else if (last.check)
            text += ", but the CP290 holds something else (" + *last.check + ")";
    }
    // After a success the next send is tomorrow's, as always.
    if (!last.succeeded() && !next.empty())
        text += "; next try at " + next;
    return text;
}

int helperStatusExitCode(const HelperState& state)
{
    if (!state.enabled || !state.running)
        return 2;
    return !state.last || state.last->succeeded() ? 0 : 1;
}

} // namespace vantrel
