#pragma once

// Texts and readings of the module cells (house code, unit, type) and of the
// event editor's sun offset and its sign, with the checks that run on every
// keystroke. The window's validators call these; they hold no state.
//
// Texts are UTF-8. An insertion point is a byte offset into the proposed
// text; the typed character is the one just before it.

#include "schedule/CalendarDate.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// What a keystroke may do to a cell: stand as typed, be refused (the cell
// keeps its previous text), or turn the whole text into `text` with the
// given characters selected.
struct TypingCheck
{
    enum class Outcome
    {
        Accept,
        Refuse,
        Replace
    };

    Outcome outcome = Outcome::Refuse;
    std::string text;
    std::size_t selectionStart = 0;
    std::size_t selectionLength = 0;

    static TypingCheck accept() { return {Outcome::Accept, {}, 0, 0}; }
    static TypingCheck refuse() { return {Outcome::Refuse, {}, 0, 0}; }
    // The whole replacement, selected.
    static TypingCheck replace(std::string text)
    {
        const std::size_t length = text.size();
        return {Outcome::Replace, std::move(text), 0, length};
    }
    bool operator==(const TypingCheck&) const = default;
};

// House-code names, position i naming house code i.
inline constexpr std::array<std::string_view, 16> RkHouseCodes = {
    "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", "P"};

// Shown for a house code outside 0-15, which only a damaged file holds.
inline constexpr std::string_view UnknownHouseCodeText = "?";

std::string houseCodeText(std::int64_t houseCode);
// The text's position in RkHouseCodes; 0 (A) for any other text.
std::int64_t houseCodeFromText(std::string_view text);
// A letter A-P or a-p turns the cell into that capital, selected.
TypingCheck checkHouseCodeTyping(std::string_view proposed, std::size_t insertionPoint);

inline constexpr std::string_view AllLightsText = "All Lights";
inline constexpr std::string_view AllModulesText = "All Modules";

std::string moduleNumberText(std::int64_t unit);
// 18 for "All Modules", 17 for "All Lights", else the decimal number the text
// begins with (scanf "%d"); nothing when it begins with none, so the cell
// keeps its value.
std::optional<std::int64_t> moduleNumberFromText(std::string_view text);
// An "m" anywhere in the text makes it "All Modules", else an "l" "All
// Lights" (either case, selected); a text that is one number 1-16 stands;
// anything else is refused.
TypingCheck checkModuleNumberTyping(std::string_view proposed, std::size_t insertionPoint);

// "Appliance", "Light", empty for 2 (no type), and the number for any other
// type, which only a damaged file holds.
std::string moduleTypeText(std::int64_t type);
// 0 for "Appliance", 1 for "Light", 2 (no type) for any other text.
std::int64_t moduleTypeFromText(std::string_view text);
TypingCheck checkModuleTypeTyping(std::string_view proposed, std::size_t insertionPoint);

// "%H:%M" of the offset's hour and minute.
std::string timeOffsetText(const CalendarDate& offset);
// "h:mm" or minutes alone, nothing after; year, month and day 0. Nothing
// when refused (out of range, empty, trailing characters).
std::optional<CalendarDate> timeOffsetFromText(std::string_view text);

std::string timeOffsetSignText(std::string_view sign);
std::string timeOffsetSignFromText(std::string_view text);
// "-" or "_" gives "-", "+" or "=" gives "+", selected.
TypingCheck checkTimeOffsetSignTyping(std::string_view proposed, std::size_t insertionPoint);

} // namespace vantrel
