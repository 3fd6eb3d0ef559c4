#pragma once

// An interface whose battery is flat forgets its clock, its events and its
// base house code in a power cut, and then answers status 0 to every command
// but setting the base house code, until that is set again. Each program
// remembers the base house code it last read from or set in the interface,
// so that a download can set it again and go on.

#include "platform/Preferences.h"

#include <cstdint>
#include <optional>

namespace vantrel {

// What a download may do when it finds the interface's memory lost.
struct MemoryRecovery
{
    // The base house code byte to set again; without one nothing is tried.
    std::optional<std::uint8_t> baseHouseCode;
    // Set once the interface was found without its memory and the base house
    // code was set again.
    bool reprogrammed = false;
};

// The last command failed the way an interface without its memory fails it:
// refused with status 0.
bool interfaceLostItsMemory();

// CP290DoSetClock. When the interface refuses it with status 0 and recovery
// has a base house code, that code is set and the clock then set again; the
// refusal is then not reported, since it has been mended.
bool CP290DoSetClockRecovering(MemoryRecovery& recovery);

// Stores the byte in the program's own domain with the time it was learnt
// (synchronizing is left to the caller).
void rememberBaseHouseCode(Preferences& own, std::uint8_t byte);

// The newer of the codes the application and the helper remember, as their
// files on disk hold them; nullopt when neither holds one.
std::optional<std::uint8_t> rememberedBaseHouseCode();

} // namespace vantrel
