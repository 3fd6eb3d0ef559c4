#pragma once

// The scanf "%d" conversion over a bounded range of characters, for the event
// text and the field formatters. scanf itself cannot be told where its input
// ends and follows the C locale of the moment; this does neither.

#include <climits>

namespace vantrel {

// White space as the C locale's isspace() sees it: what "%d" skips.
inline bool isScanSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// One "%d" over [p, end): leading white space, an optional sign, at least one
// digit. Returns the position after the digits, or nullptr when no number is
// there. A number beyond the range of int reads as INT_MAX (INT_MIN when
// negative), where scanf's result is undefined; every caller refuses such
// values as out of range.
inline const char* scanInt(const char* p, const char* end, int* value)
{
    while (p < end && isScanSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p >= end || !isDecimalDigit(*p))
        return nullptr;
    long long magnitude = 0;
    for (; p < end && isDecimalDigit(*p); ++p) {
        if (magnitude <= INT_MAX)
            magnitude = magnitude * 10 + (*p - '0');
    }
    if (negative)
        *value = magnitude > INT_MAX ? INT_MIN : static_cast<int>(-magnitude);
    else
        *value = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    return p;
}

} // namespace vantrel
