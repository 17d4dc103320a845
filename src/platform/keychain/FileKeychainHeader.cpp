#include "platform/keychain/FileKeychainHeader.h"

#include <sodium.h>

#include <algorithm>

// Layout of a keychain file, all integers big-endian:
//
//   offset size  field
//        0    8  magic "KLFTKCF\n"
//        8    2  format version, 1 or 2 (2 is written; the body's layout depends on it)
//       10    2  flags, 0 (any other value: a format this program does not know)
//       12    8  Argon2id opslimit
//       20    8  Argon2id memlimit in bytes
//       28   16  salt of the key derivation
//       44   16  key check: BLAKE2b-128 over bytes 0..43 with the version as 1, keyed
//                with a subkey of the derived key, so a wrong password is told apart
//                from a damaged body
//       60   24  nonce of the body's sealing, fresh for every write
//       84  ...  body: XChaCha20-Poly1305-IETF ciphertext with its 16-byte tag; the
//                84 header bytes are its associated data, so no header byte can be
//                changed without the body failing to open
//
// The body's plaintext is CBOR; FileKeychainBody.cpp describes it.

namespace {
constexpr char magic[] = {'K', 'L', 'F', 'T', 'K', 'C', 'F', '\n'};
constexpr std::size_t magicSize = sizeof(magic);
constexpr std::size_t versionOffset = 8;
constexpr std::size_t flagsOffset = 10;
constexpr std::size_t opsOffset = 12;
constexpr std::size_t memOffset = 20;
constexpr std::size_t saltOffset = 28;
constexpr std::size_t keyCheckOffset = 44;
constexpr std::size_t nonceOffset = 60;
static_assert(nonceOffset + FileKeychainHeader::nonceSize == FileKeychainHeader::size);

// Bounds of the cost a file may ask for: at most 1 GiB and 16 passes, which stays
// within a few seconds on a desktop machine.
constexpr std::uint64_t maxOpsLimit = 16;
constexpr std::uint64_t maxMemLimit = std::uint64_t(1) << 30;

std::uint64_t readBigEndian(const unsigned char* bytes, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void writeBigEndian(unsigned char* bytes, std::size_t count, std::uint64_t value)
{
    for (std::size_t i = count; i > 0; --i) {
        bytes[i - 1] = static_cast<unsigned char>(value & 0xff);
        value >>= 8;
    }
}
} // namespace

FileKeychainKdf FileKeychainKdf::standard()
{
    // Measured at about 0.5 s on a two-core machine.
    return FileKeychainKdf{2, std::uint64_t(128) << 20};
}

FileKeychainKdf FileKeychainKdf::minimum()
{
    return FileKeychainKdf{crypto_pwhash_argon2id_OPSLIMIT_MIN,
                           crypto_pwhash_argon2id_MEMLIMIT_MIN};
}

bool FileKeychainKdf::isAcceptable() const
{
    const FileKeychainKdf least = minimum();
    return opsLimit >= least.opsLimit && opsLimit <= maxOpsLimit && memLimit >= least.memLimit &&
           memLimit <= maxMemLimit;
}

std::optional<FileKeychainHeader> FileKeychainHeader::parse(QByteArrayView bytes)
{
    if (std::size_t(bytes.size()) < size || !std::equal(magic, magic + magicSize, bytes.data())) {
        return std::nullopt;
    }
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::uint64_t version = readBigEndian(raw + versionOffset, 2);
    if (version < firstVersion || version > currentVersion ||
        readBigEndian(raw + flagsOffset, 2) != 0) {
        return std::nullopt;
    }
    FileKeychainHeader header;
    header.version = std::uint16_t(version);
    header.kdf.opsLimit = readBigEndian(raw + opsOffset, 8);
    header.kdf.memLimit = readBigEndian(raw + memOffset, 8);
    if (!header.kdf.isAcceptable()) {
        return std::nullopt;
    }
    std::copy_n(raw + saltOffset, saltSize, header.salt.begin());
    std::copy_n(raw + keyCheckOffset, keyCheckSize, header.keyCheck.begin());
    std::copy_n(raw + nonceOffset, nonceSize, header.nonce.begin());
    return header;
}

QByteArray FileKeychainHeader::fixedPart() const
{
    QByteArray bytes(qsizetype(keyCheckOffset), '\0');
    auto* raw = reinterpret_cast<unsigned char*>(bytes.data());
    std::copy(magic, magic + magicSize, bytes.data());
    writeBigEndian(raw + versionOffset, 2, firstVersion);
    writeBigEndian(raw + flagsOffset, 2, 0);
    writeBigEndian(raw + opsOffset, 8, kdf.opsLimit);
    writeBigEndian(raw + memOffset, 8, kdf.memLimit);
    std::copy(salt.begin(), salt.end(), raw + saltOffset);
    return bytes;
}

bool FileKeychainHeader::mayStartFile(QByteArrayView bytes)
{
    const std::size_t compared = std::min(std::size_t(bytes.size()), magicSize);
    return std::equal(magic, magic + compared, bytes.data());
}

QByteArray FileKeychainHeader::serialize() const
{
    QByteArray bytes = fixedPart();
    writeBigEndian(reinterpret_cast<unsigned char*>(bytes.data()) + versionOffset, 2, version);
    bytes.append(reinterpret_cast<const char*>(keyCheck.data()), qsizetype(keyCheckSize));
    bytes.append(reinterpret_cast<const char*>(nonce.data()), qsizetype(nonceSize));
    return bytes;
}

bool FileKeychainHeader::sameKeyAs(const FileKeychainHeader& other) const
{
    return kdf == other.kdf && salt == other.salt && keyCheck == other.keyCheck;
}
