#include "platform/SecureRandom.h"

#include <sodium.h>

#include <cstdlib>

namespace SecureRandom {

std::uint32_t uniform(std::uint32_t upperBound)
{
    // sodium_init picks the system's random source once; it fails only when that
    // source cannot be opened, and a password must then not be made at all.
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        std::abort();
    }
    return upperBound < 2 ? 0 : randombytes_uniform(upperBound);
}

} // namespace SecureRandom
