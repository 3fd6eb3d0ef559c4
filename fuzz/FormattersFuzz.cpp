// The field formatters' readings and typing checks on any cell text, with an
// insertion point anywhere in it and just past its end.

#include "schedule/FieldFormatters.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The first byte places the insertion point; past the end is allowed on
    // purpose, as a validator may be handed a stale position.
    const std::size_t point = data[0] % (text.size() + 2);

    (void)houseCodeText(houseCodeFromText(text));
    if (const auto unit = moduleNumberFromText(text))
        (void)moduleNumberText(*unit);
    (void)moduleTypeText(moduleTypeFromText(text));
    if (const auto offset = timeOffsetFromText(text))
        (void)timeOffsetText(*offset);
    (void)timeOffsetSignText(timeOffsetSignFromText(text));
    (void)timeOffsetSignText(text);

    (void)checkHouseCodeTyping(text, point);
    (void)checkModuleNumberTyping(text, point);
    (void)checkModuleTypeTyping(text, point);
    (void)checkTimeOffsetSignTyping(text, point);
    return 0;
}
