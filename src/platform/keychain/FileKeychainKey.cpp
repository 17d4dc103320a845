#include "platform/keychain/FileKeychainKey.h"

#include <sodium.h>

#include <new>

namespace {
// Subkeys of the password-derived key: one proves the password, one seals the body.
constexpr char subkeyContext[crypto_kdf_CONTEXTBYTES + 1] = "KlftKchn";
constexpr std::uint64_t keyCheckSubkey = 1;
constexpr std::uint64_t sealSubkey = 2;
constexpr std::size_t keySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
static_assert(FileKeychainHeader::nonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(FileKeychainHeader::saltSize == crypto_pwhash_SALTBYTES);
static_assert(crypto_kdf_KEYBYTES == keySize);

// A buffer in locked memory, wiped and freed when it goes.
class LockedBuffer {
public:
    explicit LockedBuffer(std::size_t size)
        : m_data(static_cast<unsigned char*>(sodium_malloc(size)))
    {}
    ~LockedBuffer() { sodium_free(m_data); }
    LockedBuffer(const LockedBuffer&) = delete;
    LockedBuffer& operator=(const LockedBuffer&) = delete;
    unsigned char* data() const { return m_data; }

private:
    unsigned char* m_data;
};
} // namespace

FileKeychainKey::FileKeychainKey() : m_key(static_cast<unsigned char*>(sodium_malloc(keySize))) {}

FileKeychainKey::~FileKeychainKey()
{
    sodium_free(m_key);
}

OSStatus FileKeychainKey::derive(const SecretBytes& password, const FileKeychainHeader& header,
                                 std::unique_ptr<FileKeychainKey>& key)
{
    FileKeychainHeader copy = header;
    return deriveChecked(password, copy, false, key);
}

OSStatus FileKeychainKey::create(const SecretBytes& password, const FileKeychainKdf& kdf,
                                 FileKeychainHeader& header, std::unique_ptr<FileKeychainKey>& key)
{
    header.kdf = kdf;
    randombytes_buf(header.salt.data(), header.salt.size());
    return deriveChecked(password, header, true, key);
}

OSStatus FileKeychainKey::deriveChecked(const SecretBytes& password, FileKeychainHeader& header,
                                        bool fillCheck, std::unique_ptr<FileKeychainKey>& key)
{
    if (sodium_init() < 0) {
        return errSecAllocate;
    }
    LockedBuffer master(keySize);
    LockedBuffer checkKey(keySize);
    std::unique_ptr<FileKeychainKey> derived(new (std::nothrow) FileKeychainKey);
    if (master.data() == nullptr || checkKey.data() == nullptr || !derived ||
        derived->m_key == nullptr) {
        return errSecAllocate;
    }
    if (crypto_pwhash(master.data(), keySize, password.data(), password.size(), header.salt.data(),
                      header.kdf.opsLimit, std::size_t(header.kdf.memLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return errSecAllocate;
    }
    crypto_kdf_derive_from_key(checkKey.data(), keySize, keyCheckSubkey, subkeyContext,
                               master.data());
    crypto_kdf_derive_from_key(derived->m_key, keySize, sealSubkey, subkeyContext, master.data());

    const QByteArray fixed = header.fixedPart();
    std::array<unsigned char, FileKeychainHeader::keyCheckSize> check{};
    crypto_generichash(check.data(), check.size(),
                       reinterpret_cast<const unsigned char*>(fixed.constData()),
                       std::size_t(fixed.size()), checkKey.data(), keySize);
    if (fillCheck) {
        header.keyCheck = check;
    } else if (sodium_memcmp(check.data(), header.keyCheck.data(), check.size()) != 0) {
        return errSecAuthFailed;
    }
    key = std::move(derived);
    return errSecSuccess;
}

QByteArray FileKeychainKey::seal(const SecretBytes& plaintext,
                                 const FileKeychainHeader& header) const
{
    QByteArray file;
    seal(plaintext, plaintext.size(), header, file);
    return file;
}

void FileKeychainKey::seal(const SecretBytes& plaintext, std::size_t size,
                           FileKeychainHeader header, QByteArray& file) const
{
    randombytes_buf(header.nonce.data(), header.nonce.size());
    const QByteArray head = header.serialize();
    file.resize(head.size() + qsizetype(size) +
                qsizetype(crypto_aead_xchacha20poly1305_ietf_ABYTES));
    std::copy(head.begin(), head.end(), file.begin());
    unsigned long long sealedSize = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        reinterpret_cast<unsigned char*>(file.data()) + head.size(), &sealedSize,
        reinterpret_cast<const unsigned char*>(plaintext.data()), size,
        reinterpret_cast<const unsigned char*>(head.constData()), std::size_t(head.size()), nullptr,
        header.nonce.data(), m_key);
}

bool FileKeychainKey::open(QByteArrayView file, SecretBytes& plaintext, std::size_t& size) const
{
    const std::optional<FileKeychainHeader> header = FileKeychainHeader::parse(file);
    if (!header || std::size_t(file.size()) <
                       FileKeychainHeader::size + crypto_aead_xchacha20poly1305_ietf_ABYTES) {
        return false;
    }
    const std::size_t sealedSize = std::size_t(file.size()) - FileKeychainHeader::size;
    size = sealedSize - crypto_aead_xchacha20poly1305_ietf_ABYTES;
    if (plaintext.size() < size) {
        // With room to spare, so that writing the body back after a change or two
        // (serializeFileKeychainBody into the same buffer) needs no fresh memory.
        plaintext.clear();
        plaintext.resize(size + size / 32 + 4096);
    }
    const auto* raw = reinterpret_cast<const unsigned char*>(file.data());
    unsigned long long openedSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char*>(plaintext.data()), &openedSize, nullptr,
            raw + FileKeychainHeader::size, sealedSize, raw, FileKeychainHeader::size,
            header->nonce.data(), m_key) != 0) {
        wipeMemory(plaintext.data(), size);
        size = 0;
        return false;
    }
    return true;
}
