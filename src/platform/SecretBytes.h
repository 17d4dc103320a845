#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

// A buffer for secret bytes (passwords, keys). Its memory is wiped when the
// buffer is destroyed, cleared or overwritten, so secrets do not linger on the heap.
class SecretBytes {
public:
    SecretBytes() = default;
    SecretBytes(const char* data, std::size_t size);
    SecretBytes(const SecretBytes& other);
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(const SecretBytes& other);
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    ~SecretBytes();

    static SecretBytes fromUtf8(const QString& text);

    const char* data() const { return m_bytes.data(); }
    char* data() { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }
    bool isEmpty() const { return m_bytes.empty(); }

    void resize(std::size_t size);
    void clear();

    bool operator==(const SecretBytes& other) const;

    // A keyed BLAKE2b digest of the bytes, under a key made at random for this process:
    // it tells whether two secrets are equal without keeping either, and cannot be
    // checked against guessed passwords by anything that does not also read the key.
    QByteArray digest() const;

private:
    std::vector<char> m_bytes;
};

// Wipes memory that held a secret; the compiler may not optimise it away.
void wipeMemory(void* data, std::size_t size);
