// Random, spliced and truncated lines thrown at the event-line parser. Under
// the sanitizers any read past the text or any overflow fails the run; the
// checks below add what the parser promises about the values it stores.

#include "schedule/EventTextParser.h"

#include "platform/DateTime.h"
#include "schedule/EventSummary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vantrel {
namespace {

const std::vector<std::string>& vocabulary()
{
    static const std::vector<std::string> words = {
        "Turn",        "turn",     "On",       "on",         "Off",       "off",
        "@",           "Sunset",   "sunrise",  "Sunrise",    "+",         "-",
        "(Security)",  "Security", "(Securit", "Every",      "Every Day", "Even Days",
        "Odd Days",    "&",        "& Every",  "Thereafter", "Days",      "Day",
        "AM",          "PM",       "a",        "p",          "am",        "pm",
        ":",           "/",        "%",        ".",          "12.5%",     "50.0%",
        ".M.W.F.",     "S.....S",  "SMTWTF",   "smtwtfs",    "7/4/2007",  "2/30/2008",
        "12:30",       "0:30",     "13",       "23:59",      "24:00",     "99999999999",
        "-2147483648", "\t",       " ",        "  ",         "\xC3\xA9",  "\xE2\x82\xAC",
        "\xFF",        "\xC3",     "07",       "365",        "366",       "-3",
        "1-1-1"};
    return words;
}

Event randomEvent(std::mt19937& rng)
{
    Event e;
    e.Date = static_cast<std::uint32_t>(rng());
    e.Time = static_cast<std::uint32_t>(rng());
    e.Adjust = static_cast<std::uint32_t>(rng());
    e.Brightness = static_cast<std::uint16_t>(rng() % 12);
    e.Repeat = static_cast<std::uint16_t>(rng());
    e.Flags = static_cast<std::uint16_t>(rng());
    return e;
}

// A well-formed event as the editor builds them: one time kind, security only
// on a weekly event, a representable date, no dimming.
Event canonicalEvent(std::mt19937& rng)
{
    Event e;
    DateTimeRec date;
    date.year = static_cast<std::int16_t>(1904 + rng() % 136);
    date.month = static_cast<std::int16_t>(1 + rng() % 12);
    date.day = static_cast<std::int16_t>(1 + rng() % 28);
    e.Date = dateToSeconds(date);
    DateTimeRec time;
    time.hour = static_cast<std::int16_t>(rng() % 24);
    time.minute = static_cast<std::int16_t>(rng() % 60);
    e.Time = dateToSeconds(time);
    e.Adjust = static_cast<std::uint32_t>((rng() % 24) * 3600 + (rng() % 60) * 60);
    e.Brightness = 9;
    e.Repeat = static_cast<std::uint16_t>(rng() % 366);
    const std::uint16_t rule = static_cast<std::uint16_t>(rng() % 4);
    const std::uint16_t kinds[] = {EventSunriseFlag, EventSunsetFlag, EventClockTimeFlag};
    e.Flags = static_cast<std::uint16_t>(
        rule | kinds[rng() % 3] | (rng() & 0x7F00) | (rng() % 2 ? EventOnFlag : 0) |
        (rng() % 2 ? EventOffsetBeforeFlag : 0) | (rng() % 2 ? EventRepeatFlag : 0));
    if (rule == EventRuleWeekly && rng() % 2)
        e.Flags |= EventSecurityFlag;
    return e;
}

std::string randomLine(std::mt19937& rng)
{
    std::string line;
    switch (rng() % 4) {
    case 0: { // raw bytes
        const std::size_t length = rng() % 24;
        for (std::size_t i = 0; i < length; ++i)
            line += static_cast<char>(rng() % 256);
        break;
    }
    case 1: { // printable ASCII, heavy on the grammar's characters
        static const std::string alphabet = " 0123456789:/-+&@%.()aApPmMsStTwWfFoOnNeEvVrRyYdD";
        const std::size_t length = rng() % 32;
        for (std::size_t i = 0; i < length; ++i)
            line += alphabet[rng() % alphabet.size()];
        break;
    }
    case 2: { // vocabulary, with or without blanks between
        const std::size_t count = rng() % 10;
        const auto& words = vocabulary();
        for (std::size_t i = 0; i < count; ++i) {
            line += words[rng() % words.size()];
            if (rng() % 3)
                line += ' ';
        }
        break;
    }
    default: { // a summary, cut short
        Event e = randomEvent(rng);
        line = eventSummary(e);
        line.resize(rng() % (line.size() + 1));
        break;
    }
    }
    return line;
}

TEST(EventTextFuzz, RandomAndTruncatedLinesKeepStoredValuesSane)
{
    std::mt19937 rng(20070704);
    EventTextParser parser;
    for (int i = 0; i < 300000; ++i) {
        const std::string line = randomLine(rng);
        const Event before = randomEvent(rng);
        Event after = before;
        parser.parse(line, after);
        // The text never touches the brightness.
        ASSERT_EQ(after.Brightness, before.Brightness) << line;
        if (after.Adjust != before.Adjust) {
            ASSERT_LE(after.Adjust, 23u * 3600 + 59 * 60) << line;
        }
        if (after.Repeat != before.Repeat) {
            ASSERT_LE(after.Repeat, 365) << line;
        }
        if (after.Date != before.Date) {
            const DateTimeRec date = secondsToDate(after.Date);
            ASSERT_EQ(dateToSeconds(date), after.Date) << line;
            ASSERT_EQ(date.hour, 0) << line;
        }
        if (after.Time != before.Time) {
            ASSERT_GE(after.Time, TimeOfDayBase) << line;
            ASSERT_LT(after.Time, TimeOfDayBase + SecondsPerDay) << line;
        }
        // Every cut of the line parses too, from the same start.
        if (i % 16 == 0) {
            for (std::size_t cut = 0; cut <= line.size(); ++cut) {
                Event cutEvent = before;
                parser.parse(std::string_view(line).substr(0, cut), cutEvent);
            }
        }
    }
}

TEST(EventTextFuzz, SummariesReadBackToTheSameSummary)
{
    std::mt19937 rng(1904);
    for (int i = 0; i < 20000; ++i) {
        const Event e = canonicalEvent(rng);
        const std::string summary = eventSummary(e);
        Event read = canonicalEvent(rng);
        read.Flags = static_cast<std::uint16_t>(
            read.Flags & ~(EventDayRuleMask | EventRepeatFlag | EventSecurityFlag));
        parseEventText(summary, read);
        ASSERT_EQ(eventSummary(read), summary);
    }
}

} // namespace
} // namespace vantrel
