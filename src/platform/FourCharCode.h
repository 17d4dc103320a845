#pragma once

#include <cstdint>

// Four-character codes: four ASCII characters read as a big-endian 32-bit number,
// the first character in the most significant byte. Keychain attribute tags and
// item codes and the system version selectors are such codes.
using FourCharCode = std::uint32_t;

constexpr FourCharCode fourCharCode(const char (&code)[5])
{
    return (FourCharCode(std::uint8_t(code[0])) << 24) |
           (FourCharCode(std::uint8_t(code[1])) << 16) |
           (FourCharCode(std::uint8_t(code[2])) << 8) | FourCharCode(std::uint8_t(code[3]));
}
