#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Argon2id cost of the key derivation for a keychain file.
struct FileKeychainKdf {
    std::uint64_t opsLimit = 0;
    std::uint64_t memLimit = 0; // bytes

    // About half a second of derivation on a small desktop machine; used for new keychains.
    static FileKeychainKdf standard();
    // The cheapest cost the library accepts; for tests and benchmarks only.
    static FileKeychainKdf minimum();
    // Whether a keychain file may ask for this cost. Costs outside the range make the
    // file invalid, so a crafted file can neither hang the program nor exhaust memory.
    bool isAcceptable() const;

    bool operator==(const FileKeychainKdf&) const = default;
};

// The fixed-size header at the start of every keychain file. The layout is described
// in FileKeychainHeader.cpp, next to the code that reads it.
struct FileKeychainHeader {
    static constexpr std::size_t saltSize = 16;
    static constexpr std::size_t keyCheckSize = 16;
    static constexpr std::size_t nonceSize = 24;
    static constexpr std::size_t size = 84;
    // Version 2 added the deleted items' records to the body. Files of version 1 are
    // read as they are and written as version 2.
    static constexpr std::uint16_t currentVersion = 2;
    static constexpr std::uint16_t firstVersion = 1;

    // The version the file was read in; FileKeychain writes the current one.
    std::uint16_t version = currentVersion;
    FileKeychainKdf kdf;
    std::array<unsigned char, saltSize> salt{};
    // Proves that a derived key is the right one before the body is opened, so a
    // wrong password and a damaged body give different results.
    std::array<unsigned char, keyCheckSize> keyCheck{};
    // A fresh random nonce for every write of the body.
    std::array<unsigned char, nonceSize> nonce{};

    // The header of a file, or no value when bytes does not start with a header of a
    // keychain file this program can read. Bytes past the header are ignored.
    static std::optional<FileKeychainHeader> parse(QByteArrayView bytes);
    // Whether bytes may be the start of a keychain file, however short (an empty file
    // too): tells an interrupted write's temporary copy from other files.
    static bool mayStartFile(QByteArrayView bytes);
    QByteArray serialize() const;

    // The part of the header that the key check covers: everything that stays the same
    // across writes (magic, version, cost, salt). The check is made over it with the
    // version field as the first version had it, so a file upgraded at a write keeps
    // its key check and needs no password for that.
    QByteArray fixedPart() const;

    // Whether a key derived for other's cost and salt also fits this header.
    bool sameKeyAs(const FileKeychainHeader& other) const;
};
