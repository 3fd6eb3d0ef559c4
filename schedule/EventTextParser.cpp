#include "schedule/EventTextParser.h"

#include "platform/DateTime.h"
#include "schedule/TextScanning.h"

#include <cstdint>

namespace vantrel {
namespace {

// "%d<sep>%d<sep>%d%n": the position after the third number, or nullptr
// when three numbers were not read.
const char* scanThree(const char* p, const char* end, char separator, int* a, int* b, int* c)
{
    p = scanInt(p, end, a);
    if (!p || p >= end || *p != separator)
        return nullptr;
    p = scanInt(p + 1, end, b);
    if (!p || p >= end || *p != separator)
        return nullptr;
    return scanInt(p + 1, end, c);
}

bool equalsIgnoringCase(std::string_view text, std::string_view keyword)
{
    if (text.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(text[i]) != lowerAscii(keyword[i]))
            return false;
    }
    return true;
}

// The date value of a day, or false when the day does not exist (2/30) or
// lies outside what a 32-bit seconds value since 1904 can hold.
bool dateValue(int year, int month, int day, std::uint32_t* value)
{
    if (year < 1904 || year > 2040)
        return false;
    DateTimeRec rec;
    rec.year = static_cast<std::int16_t>(year);
    rec.month = static_cast<std::int16_t>(month);
    rec.day = static_cast<std::int16_t>(day);
    const std::uint32_t seconds = dateToSeconds(rec);
    const DateTimeRec back = secondsToDate(seconds);
    if (back.year != year || back.month != month || back.day != day)
        return false;
    *value = seconds;
    return true;
}

} // namespace

std::string eventTextToLatin1(std::string_view utf8)
{
    constexpr char Replacement = '?';
    std::string out;
    out.reserve(utf8.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = byte(i);
        if (lead == 0)
            break;
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong three- and four-byte forms, surrogates and values past
        // U+10FFFF are not characters either.
        if (valid && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (!valid) {
            out += Replacement;
            ++i;
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : Replacement;
        i += length;
    }
    return out;
}

void EventTextParser::reset()
{
    m_text.clear();
    cp = m_text.c_str();
    hours = 0;
    minutes = 0;
}

void EventTextParser::setText(std::string_view text)
{
    m_text = eventTextToLatin1(text);
    cp = m_text.c_str();
}

std::string_view EventTextParser::rest() const
{
    const char* end = m_text.c_str() + m_text.size();
    if (!cp || cp < m_text.c_str() || cp > end)
        return {};
    return {cp, static_cast<std::size_t>(end - cp)};
}

const char* EventTextParser::skipBlanks()
{
    const char* end = m_text.c_str() + m_text.size();
    while (cp < end && *cp == ' ')
        ++cp;
    return cp;
}

bool EventTextParser::foundTime(bool ampm)
{
    const char* end = m_text.c_str() + m_text.size();
    skipBlanks();
    if (cp < end && (*cp == '+' || *cp == '-'))
        return false;

    int first = 0;
    int second = 0;
    const char* afterHour = scanInt(cp, end, &first);
    const char* afterMinute = nullptr;
    if (afterHour && afterHour < end && *afterHour == ':')
        afterMinute = scanInt(afterHour + 1, end, &second);
    if (afterMinute) {
        hours = first;
        minutes = second;
        // A negative hour gets here only through white space other than a
        // blank before a minus sign; it is no clock time either.
        if (first < 0 || first > 23 || second < 0 || second > 59)
            return false;
        cp = afterMinute;
    } else if (afterHour) {
        hours = first;
        if (first < 0 || first > 23)
            return false;
        minutes = 0;
        // "7/4/2007" and "7-4-2007" begin a date.
        if (afterHour < end && (*afterHour == '/' || *afterHour == '-'))
            return false;
        cp = afterHour;
    } else {
        return false;
    }

    if (!ampm)
        return true;
    skipBlanks();
    const std::string_view here = rest();
    bool am = false;
    bool pm = false;
    if (here.size() >= 2 && equalsIgnoringCase(here.substr(0, 2), "am")) {
        am = true;
        cp += 2;
    } else if (here.size() >= 2 && equalsIgnoringCase(here.substr(0, 2), "pm")) {
        pm = true;
        cp += 2;
    } else if (!here.empty() && here[0] == 'a') {
        // Only the small letter: "7A" is seven in the morning by accident only.
        am = true;
        ++cp;
    } else if (!here.empty() && here[0] == 'p') {
        pm = true;
        ++cp;
    }
    if (pm && hours != 12)
        hours += 12;
    else if (am && hours == 12)
        hours = 0;
    // "13 pm" has moved the cursor but is no time.
    return hours <= 23;
}

void EventTextParser::parse(std::string_view text, Event& event)
{
    setText(text);
    const char* end = m_text.c_str() + m_text.size();
    // Keywords match as prefixes, ignoring case: "Turning" is "turn".
    const auto at = [&](std::string_view keyword) {
        const std::string_view here = rest();
        return here.size() >= keyword.size() &&
               equalsIgnoringCase(here.substr(0, keyword.size()), keyword);
    };
    std::uint16_t& flags = event.Flags;

    skipBlanks();
    if (at("turn"))
        cp += 4;

    skipBlanks();
    if (at("on")) {
        flags |= EventOnFlag;
        cp += 2;
    } else if (at("off")) {
        flags &= static_cast<std::uint16_t>(~EventOnFlag);
        cp += 3;
    }

    // The summary of a dimmed event carries its brightness here ("Turn On
    // 12.5% @ ..."). The grammar has no place for it, and read on it would
    // give the time 12:00 and the day letters ".5% @ 0"; stopping keeps an
    // edit of such a summary to its on/off word.
    skipBlanks();
    {
        const char* p = cp;
        const char* digits = p;
        while (p < end && isDecimalDigit(*p))
            ++p;
        if (p > digits) {
            if (p < end && *p == '.') {
                ++p;
                while (p < end && isDecimalDigit(*p))
                    ++p;
            }
            if (p < end && *p == '%')
                return;
        }
    }

    if (cp < end && *cp == '@')
        ++cp;

    constexpr std::uint16_t TimeKindFlags = EventSunriseFlag | EventSunsetFlag |
                                            EventClockTimeFlag | EventSecurityFlag |
                                            EventOffsetBeforeFlag;
    if (foundTime(true)) {
        flags = static_cast<std::uint16_t>((flags & ~TimeKindFlags) | EventClockTimeFlag);
        DateTimeRec time;
        time.hour = static_cast<std::int16_t>(hours);
        time.minute = static_cast<std::int16_t>(minutes);
        event.Time = dateToSeconds(time);
        skipBlanks();
    } else if (at("sunset")) {
        flags = static_cast<std::uint16_t>((flags & ~TimeKindFlags) | EventSunsetFlag);
        event.Adjust = 0;
        cp += 6;
    } else if (at("sunrise")) {
        flags = static_cast<std::uint16_t>((flags & ~TimeKindFlags) | EventSunriseFlag);
        event.Adjust = 0;
        cp += 7;
    }

    if (flags & (EventSunriseFlag | EventSunsetFlag)) {
        skipBlanks();
        if (cp < end && *cp == '+') {
            flags &= static_cast<std::uint16_t>(~EventOffsetBeforeFlag);
            ++cp;
        }
        skipBlanks();
        if (cp < end && *cp == '-') {
            flags |= EventOffsetBeforeFlag;
            ++cp;
        }
        if (foundTime(false))
            event.Adjust = static_cast<std::uint32_t>(hours * 3600 + minutes * 60);
    }

    skipBlanks();
    if (event.dayRule() == EventRuleWeekly) {
        if (at("(Security)")) {
            flags |= EventSecurityFlag;
            cp += 10;
        } else if (at("Security")) {
            flags |= EventSecurityFlag;
            cp += 8;
        }
    }

    skipBlanks();
    if (at("On")) {
        cp += 2;
        skipBlanks();
    }

    const auto setDayRule = [&](std::uint16_t rule) {
        flags = static_cast<std::uint16_t>((flags & ~EventDayRuleMask) | rule);
    };
    if (at("Even")) {
        flags &= static_cast<std::uint16_t>(~EventSecurityFlag);
        setDayRule(EventRuleEvenDays);
    } else if (at("Odd")) {
        flags &= static_cast<std::uint16_t>(~EventSecurityFlag);
        setDayRule(EventRuleOddDays);
    } else if (at("Every Day") || equalsIgnoringCase(rest(), "Every")) {
        setDayRule(EventRuleWeekly);
        flags |= EventDaysMask;
    } else if (rest().size() > 6 && (*cp == '.' || *cp == 'S' || *cp == 's')) {
        static constexpr struct
        {
            char letter;
            std::uint16_t flag;
        } week[] = {
            {'s', EventSundayFlag},    {'m', EventMondayFlag},   {'t', EventTuesdayFlag},
            {'w', EventWednesdayFlag}, {'t', EventThursdayFlag}, {'f', EventFridayFlag},
            {'s', EventSaturdayFlag},
        };
        for (std::size_t i = 0; i < 7; ++i) {
            if (lowerAscii(cp[i]) == week[i].letter)
                flags |= week[i].flag;
            else
                flags &= static_cast<std::uint16_t>(~week[i].flag);
        }
        cp += 6;
    } else {
        int month = 0;
        int day = 0;
        int year = 0;
        const char* after = scanThree(cp, end, '/', &month, &day, &year);
        if (!after)
            after = scanThree(cp, end, '-', &month, &day, &year);
        if (after) {
            cp = after;
            if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
                if (year <= 99)
                    year += 2000;
                std::uint32_t date = 0;
                if (dateValue(year, month, day, &date)) {
                    flags &= static_cast<std::uint16_t>(~EventSecurityFlag);
                    setDayRule(EventRuleDate);
                    event.Date = date;
                }
            }
        }
    }

    skipBlanks();
    const bool andEvery = at("& Every");
    if ((event.dayRule() == EventRuleDate && (andEvery || at("Every"))) ||
        (cp < end && *cp == '&')) {
        if (andEvery)
            cp += 7;
        else if (*cp == '&')
            ++cp;
        else
            cp += 5;
        skipBlanks();
        int repeat = 0;
        // A negative interval has no meaning; it is left out like one above 365.
        if (scanInt(cp, end, &repeat) && repeat >= 0 && repeat <= 365) {
            flags |= EventRepeatFlag;
            event.Repeat = static_cast<std::uint16_t>(repeat);
        }
    }
}

void parseEventText(std::string_view text, Event& event)
{
    EventTextParser parser;
    parser.parse(text, event);
}

} // namespace vantrel
