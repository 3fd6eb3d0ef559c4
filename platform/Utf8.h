#pragma once

// Checks on UTF-8 text, for writers that must not pass on what is not text.

#include <cstddef>
#include <string_view>

namespace vantrel {

// The length of the well-formed UTF-8 sequence that starts at text[at], or 0
// when none does (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF). ASCII characters are sequences of length 1.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

} // namespace vantrel
