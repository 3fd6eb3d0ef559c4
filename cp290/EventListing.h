#pragma once

// The text that lists timer events: those read back from the interface, and
// those a download would store (the preview). One line per used slot, in
// time-of-day order, decoded from the ten bytes of a table entry. The text
// never follows the user's locale.

#include "cp290/Driver.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vantrel {

using TimerEventEntry = std::uint8_t[CP290TimerEventSize];

// A slot read back from the interface is empty when its mode byte is this.
constexpr std::uint8_t CP290EmptySlotMode = 0xFF;

inline constexpr const char* EventListingGarbled =
    "Events from CP290 garbled; Try sending events again.";

// "Events from CP290 as of Mon 03/05/07 03:00 AM:\n\n" for the given seconds value.
std::string eventListingHeader(std::uint32_t nowSecs);

// The wording the listing gives a level/function byte ("On", "Off",
// "On 50.0%"), or nullopt when the interface is never sent that byte.
std::optional<std::string> listingActionText(std::uint8_t function);
// A clock time as the listing writes it: "12:05 AM", "5:25 PM".
std::string listingTimeText(int hour, int minute);
// 'A' to 'P' for a house code byte, '?' for a byte outside the table.
char listingHouseCodeLetter(std::uint8_t houseCodeByte);

// One line for one slot (with its newline), or nullopt when its
// level/function byte is not one the interface is sent.
std::optional<std::string> eventListingLine(const TimerEventEntry& slot);

// The whole listing of the used slots (mode byte not 0xFF): the header, the
// lines sorted by hour and minute (the later slot first on a tie) or "None.",
// or, when any used slot has an unknown function byte, only the garbled
// message. Pass the 128 slots read back, or the NumEvents entries of a
// download.
std::string eventListingText(std::span<const TimerEventEntry> slots, std::uint32_t nowSecs);

// The number of used slots.
int usedSlotCount(std::span<const TimerEventEntry> slots);

} // namespace vantrel
