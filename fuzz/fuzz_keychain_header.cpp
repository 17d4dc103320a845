// Feeds arbitrary bytes to the keychain file header parser. A header that parses must
// stay within the accepted key-derivation cost and serialise back to the same bytes.
#include "platform/keychain/FileKeychainHeader.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<FileKeychainHeader> header = FileKeychainHeader::parse(bytes);
    if (!header) {
        return 0;
    }
    const QByteArray written = header->serialize();
    if (!header->kdf.isAcceptable() || std::size_t(written.size()) != FileKeychainHeader::size ||
        std::memcmp(written.constData(), data, FileKeychainHeader::size) != 0 ||
        !header->sameKeyAs(*FileKeychainHeader::parse(written))) {
        std::abort();
    }
    return 0;
}
