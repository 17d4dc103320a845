#pragma once

#include <cstdint>

// Random numbers fit for secrets, from the operating system's generator through
// libsodium.
namespace SecureRandom {

// A number in [0, upperBound), every value equally likely (no modulo bias); 0 when
// upperBound is below 2.
std::uint32_t uniform(std::uint32_t upperBound);

} // namespace SecureRandom
