#pragma once

// Byte-order helpers for the binary event items: documents keep them
// big-endian, memory and the helper's copy keep host order.

#include <bit>
#include <cstdint>

namespace vantrel {

constexpr std::uint16_t byteSwap16(std::uint16_t v)
{
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

constexpr std::uint32_t byteSwap32(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

constexpr bool hostIsBigEndian()
{
    return std::endian::native == std::endian::big;
}

constexpr std::uint16_t CFSwapInt16HostToBig(std::uint16_t v)
{
    return hostIsBigEndian() ? v : byteSwap16(v);
}
constexpr std::uint32_t CFSwapInt32HostToBig(std::uint32_t v)
{
    return hostIsBigEndian() ? v : byteSwap32(v);
}
constexpr std::uint16_t CFSwapInt16BigToHost(std::uint16_t v)
{
    return CFSwapInt16HostToBig(v);
}
constexpr std::uint32_t CFSwapInt32BigToHost(std::uint32_t v)
{
    return CFSwapInt32HostToBig(v);
}

} // namespace vantrel
