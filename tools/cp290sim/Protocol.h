#pragma once

// The byte-level facts of the interface's serial protocol, kept apart from the
// device model so that framing and encodings can be tested on their own.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::cp290sim {

constexpr std::uint8_t SyncByte = 0xFF;
constexpr int ReplySyncCount = 6;
constexpr int SlotCount = 128;
constexpr std::uint8_t EmptySlotMode = 0xFF;

enum Command : std::uint8_t
{
    SetBaseHouseCode = 0,
    DirectCommand = 1,
    SetClock = 2,
    StoreEvent = 3,
    ReadClock = 4,
    ReadEvents = 5,
    SelfTest = 7,
};

enum Function : std::uint8_t
{
    AllUnitsOff = 0,
    AllLightsOn = 1,
    On = 2,
    Off = 3,
    Dim = 5,
};

// Data bytes that follow the command byte, or nullopt for a byte that is not a command.
std::optional<int> dataLength(std::uint8_t command);
bool hasChecksum(std::uint8_t command);
// The checksum the sender must append; command 3 leaves its two address bytes out.
std::uint8_t checksumOf(std::uint8_t command, std::span<const std::uint8_t> data);

// House code byte <-> index 0..15 (A..P); nullopt for a byte that is no house code.
std::optional<int> houseCodeIndex(std::uint8_t byte);
std::uint8_t houseCodeByte(int index);
char houseLetter(int index);

bool isValidFunctionByte(std::uint8_t byte);

// A status the command does not take as success: 0 for most, but command 0 takes 0
// as well and the self test takes only 0.
std::uint8_t refusedStatus(std::uint8_t command);

// What the interface puts on the power line for one switching, one text per
// addressed unit ("B3 DIM 50%", "A12 ON") or per house ("A ALL-UNITS-OFF").
std::vector<std::string> describeSwitching(std::uint8_t function, std::uint8_t house,
                                           std::uint8_t units9to16, std::uint8_t units1to8);

// The bytes after the status of the report the interface sends once it has
// put a switching on the power line: the house code (high nibble) with the
// function (low nibble), units 9-16, units 1-8, the base house code, and the
// low 8 bits of the sum of those four.
std::vector<std::uint8_t> switchingReport(std::uint8_t function, std::uint8_t house,
                                          std::uint8_t units9to16, std::uint8_t units1to8,
                                          std::uint8_t baseHouseCode);

// "01 85 E0": upper-case hex, space separated.
std::string hexBytes(std::span<const std::uint8_t> bytes);

struct Frame
{
    std::uint8_t command = 0;
    std::vector<std::uint8_t> data;
    std::optional<std::uint8_t> checksum;

    bool isChecksumValid() const;
    // The command byte, data and checksum as received (the preamble left out).
    std::vector<std::uint8_t> bytes() const;
};

// Finds frames in the incoming byte stream. Any run of 0xFF may come before a
// command byte; bytes that cannot start a frame are skipped until the next 0xFF.
// Once a command byte is seen its data is taken whatever its value, since
// bitmaps may legitimately be 0xFF.
class FrameReader
{
  public:
    std::optional<Frame> feed(std::uint8_t byte);
    bool hasPartialFrame() const { return m_inFrame; }
    // Forgets a frame cut short; returns the bytes that were dropped.
    std::vector<std::uint8_t> dropPartialFrame();

  private:
    bool m_seenSync = false;
    bool m_inFrame = false;
    int m_expected = 0;
    std::vector<std::uint8_t> m_pending;
};

} // namespace vantrel::cp290sim
