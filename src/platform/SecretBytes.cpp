#include "platform/SecretBytes.h"

#include <sodium.h>

#include <QByteArray>

#include <algorithm>
#include <array>

void wipeMemory(void* data, std::size_t size)
{
    if (data != nullptr && size > 0) {
        sodium_memzero(data, size);
    }
}

SecretBytes::SecretBytes(const char* data, std::size_t size) : m_bytes(data, data + size) {}

SecretBytes::SecretBytes(const SecretBytes& other) : m_bytes(other.m_bytes) {}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept : m_bytes(std::move(other.m_bytes))
{
    other.m_bytes.clear();
}

SecretBytes& SecretBytes::operator=(const SecretBytes& other)
{
    if (this != &other) {
        clear();
        m_bytes = other.m_bytes;
    }
    return *this;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        clear();
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
    }
    return *this;
}

SecretBytes::~SecretBytes()
{
    clear();
}

SecretBytes SecretBytes::fromUtf8(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    SecretBytes bytes(utf8.constData(), std::size_t(utf8.size()));
    wipeMemory(utf8.data(), std::size_t(utf8.size()));
    return bytes;
}

void SecretBytes::resize(std::size_t size)
{
    if (size <= m_bytes.size()) {
        wipeMemory(m_bytes.data() + size, m_bytes.size() - size);
        m_bytes.resize(size);
        return;
    }
    // Growing may move the bytes; copy them into a fresh buffer and wipe the old one.
    std::vector<char> grown(size, '\0');
    std::copy(m_bytes.begin(), m_bytes.end(), grown.begin());
    clear();
    m_bytes = std::move(grown);
}

void SecretBytes::clear()
{
    wipeMemory(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

bool SecretBytes::operator==(const SecretBytes& other) const
{
    return m_bytes.size() == other.m_bytes.size() &&
           (m_bytes.empty() ||
            sodium_memcmp(m_bytes.data(), other.m_bytes.data(), m_bytes.size()) == 0);
}

QByteArray SecretBytes::digest() const
{
    static const std::array<unsigned char, crypto_generichash_KEYBYTES> key = [] {
        std::array<unsigned char, crypto_generichash_KEYBYTES> made{};
        if (sodium_init() >= 0) {
            randombytes_buf(made.data(), made.size());
        }
        return made;
    }();
    QByteArray digest(crypto_generichash_BYTES, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(digest.data()), std::size_t(digest.size()),
                       reinterpret_cast<const unsigned char*>(m_bytes.data()), m_bytes.size(),
                       key.data(), key.size());
    return digest;
}
