// Writing the sealed body of a keychain file, and the items and attributes it holds.
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainBodyLayout.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

using namespace FileKeychainBodyLayout;

namespace {

// The size of the shortest head that carries argument.
std::size_t headSize(std::uint64_t argument)
{
    return argument < 24             ? 1
           : argument <= 0xff        ? 2
           : argument <= 0xffff      ? 3
           : argument <= 0xffffffffu ? 5
                                     : 9;
}

std::uint64_t storedTime(std::int64_t time)
{
    return std::uint64_t(std::clamp<std::int64_t>(time, 0, fileKeychainLatestTime));
}

// The exact CBOR size of content, as BodyWriter writes it.
std::size_t serializedSize(const FileKeychainContent& content)
{
    std::size_t size = headSize(bodyKeyCount) + headSize(bodyNextId) + headSize(content.nextId) +
                       headSize(bodyItems) + headSize(content.items.size());
    for (const FileKeychainItem& item : content.items) {
        // The map's head and its six one-byte keys.
        size += headSize(itemKeyCount) + itemKeyCount;
        size += headSize(item.id) + headSize(item.itemClass) + headSize(item.attributes.size());
        for (const auto& [tag, data] : item.attributes) {
            size += headSize(tag) + headSize(std::uint64_t(data.size())) + std::size_t(data.size());
        }
        size += headSize(item.secret.size()) + item.secret.size();
        size += headSize(storedTime(item.created)) + headSize(storedTime(item.modified));
    }
    size += headSize(bodyTombstones) + headSize(content.tombstones.size());
    for (const FileKeychainTombstone& tombstone : content.tombstones) {
        size += headSize(tombstoneKeyCount) + tombstoneKeyCount +
                headSize(std::uint64_t(tombstone.service.size())) +
                std::size_t(tombstone.service.size()) + headSize(storedTime(tombstone.deleted));
    }
    return size;
}

// Writes the body into the start of a buffer of wiped memory, in the shortest form of
// every head and with definite lengths throughout (the form a general CBOR writer gives).
class BodyWriter {
public:
    // expectedSize is what will be written: a buffer too small for it is replaced once,
    // without copying what it held.
    BodyWriter(SecretBytes& buffer, std::size_t expectedSize) : m_bytes(buffer)
    {
        if (m_bytes.size() < expectedSize) {
            m_bytes.clear();
            m_bytes.resize(expectedSize);
        }
    }

    std::size_t used() const { return m_used; }

    void head(std::uint8_t major, std::uint64_t argument)
    {
        std::uint8_t bytes[9];
        std::size_t length = 1;
        const auto initial = std::uint8_t(major << 5);
        if (argument < 24) {
            bytes[0] = std::uint8_t(initial | argument);
        } else {
            const std::size_t size = argument <= 0xff          ? 1
                                     : argument <= 0xffff      ? 2
                                     : argument <= 0xffffffffu ? 4
                                                               : 8;
            bytes[0] = std::uint8_t(initial | (size == 1   ? 24
                                               : size == 2 ? 25
                                               : size == 4 ? 26
                                                           : 27));
            for (std::size_t i = 0; i < size; ++i) {
                bytes[size - i] = std::uint8_t(argument >> (8 * i));
            }
            length += size;
        }
        put(reinterpret_cast<const char*>(bytes), length);
    }

    void unsignedValue(std::uint64_t value) { head(majorUnsigned, value); }

    void byteString(const char* data, std::size_t size)
    {
        head(majorBytes, size);
        put(data, size);
    }

private:
    void put(const char* data, std::size_t size)
    {
        const std::size_t needed = m_used + size;
        if (needed > m_bytes.size()) {
            m_bytes.resize(std::max(needed, m_bytes.size() * 2));
        }
        std::copy(data, data + size, m_bytes.data() + m_used);
        m_used = needed;
    }

    SecretBytes& m_bytes;
    std::size_t m_used = 0;
};

void writeItem(BodyWriter& writer, const FileKeychainItem& item)
{
    writer.head(majorMap, itemKeyCount);
    writer.unsignedValue(itemId);
    writer.unsignedValue(item.id);
    writer.unsignedValue(itemClass);
    writer.unsignedValue(item.itemClass);
    writer.unsignedValue(itemAttributes);
    writer.head(majorMap, item.attributes.size());
    for (const auto& [tag, data] : item.attributes) {
        writer.unsignedValue(tag);
        writer.byteString(data.constData(), std::size_t(data.size()));
    }
    writer.unsignedValue(itemSecret);
    writer.byteString(item.secret.data(), item.secret.size());
    writer.unsignedValue(itemCreated);
    writer.unsignedValue(storedTime(item.created));
    writer.unsignedValue(itemModified);
    writer.unsignedValue(storedTime(item.modified));
}
} // namespace

std::size_t serializeFileKeychainBody(const FileKeychainContent& content, SecretBytes& buffer)
{
    BodyWriter writer(buffer, serializedSize(content));
    writer.head(majorMap, bodyKeyCount);
    writer.unsignedValue(bodyNextId);
    writer.unsignedValue(content.nextId);
    writer.unsignedValue(bodyItems);
    writer.head(majorArray, content.items.size());
    for (const FileKeychainItem& item : content.items) {
        writeItem(writer, item);
    }
    writer.unsignedValue(bodyTombstones);
    writer.head(majorArray, content.tombstones.size());
    for (const FileKeychainTombstone& tombstone : content.tombstones) {
        writer.head(majorMap, tombstoneKeyCount);
        writer.unsignedValue(tombstoneService);
        writer.byteString(tombstone.service.constData(), std::size_t(tombstone.service.size()));
        writer.unsignedValue(tombstoneDeleted);
        writer.unsignedValue(storedTime(tombstone.deleted));
    }
    return writer.used();
}

SecretBytes serializeFileKeychainBody(const FileKeychainContent& content)
{
    SecretBytes buffer;
    buffer.resize(serializeFileKeychainBody(content, buffer));
    return buffer;
}

QByteArray fileKeychainTimeStamp(std::int64_t secondsSinceEpoch)
{
    using namespace std::chrono;
    const std::int64_t seconds =
        std::clamp<std::int64_t>(secondsSinceEpoch, 0, fileKeychainLatestTime);
    const sys_days day = floor<days>(sys_seconds(std::chrono::seconds(seconds)));
    const year_month_day date(day);
    const hh_mm_ss time(sys_seconds(std::chrono::seconds(seconds)) - day);
    // Written digit by digit: loading reads two stamps for every item. The clamp above
    // keeps the year to four digits.
    char text[16];
    const auto put = [&text](std::size_t at, std::size_t width, unsigned value) {
        for (std::size_t i = at + width; i > at; --i) {
            text[i - 1] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(0, 4, unsigned(int(date.year())));
    put(4, 2, unsigned(date.month()));
    put(6, 2, unsigned(date.day()));
    put(8, 2, unsigned(time.hours().count()));
    put(10, 2, unsigned(time.minutes().count()));
    put(12, 2, unsigned(time.seconds().count()));
    text[14] = 'Z';
    text[15] = '\0';
    return QByteArray(text, 16);
}

std::optional<QByteArray> fileKeychainAttribute(const FileKeychainItem& item, FourCharCode tag)
{
    tag = KeychainCodes::canonicalTag(tag);
    if (tag == KeychainCodes::creationDate) {
        return fileKeychainTimeStamp(item.created);
    }
    if (tag == KeychainCodes::modificationDate) {
        return fileKeychainTimeStamp(item.modified);
    }
    const QByteArray* value = fileKeychainStoredAttribute(item, tag);
    if (value == nullptr) {
        return std::nullopt;
    }
    return *value;
}

const QByteArray* fileKeychainStoredAttribute(const FileKeychainItem& item, FourCharCode tag)
{
    const auto found = item.attributes.find(KeychainCodes::canonicalTag(tag));
    return found == item.attributes.end() ? nullptr : &found->second;
}

void setFileKeychainAttributes(FileKeychainItem& item, const KeychainAttributeList& attributes)
{
    for (const KeychainAttribute& attribute : attributes) {
        const FourCharCode tag = KeychainCodes::canonicalTag(attribute.tag);
        if (tag != KeychainCodes::creationDate && tag != KeychainCodes::modificationDate) {
            item.attributes[tag] = attribute.data;
        }
    }
}

// --- FileKeychainAttributes -------------------------------------------------------------

FileKeychainAttributes::FileKeychainAttributes(std::initializer_list<value_type> list)
{
    m_entries.reserve(list.size());
    for (const value_type& entry : list) {
        emplace(entry.first, entry.second);
    }
}

FileKeychainAttributes::iterator FileKeychainAttributes::lowerBound(FourCharCode tag)
{
    return std::lower_bound(
        m_entries.begin(), m_entries.end(), tag,
        [](const value_type& entry, FourCharCode wanted) { return entry.first < wanted; });
}

FileKeychainAttributes::iterator FileKeychainAttributes::find(FourCharCode tag)
{
    const iterator found = lowerBound(tag);
    return found != m_entries.end() && found->first == tag ? found : m_entries.end();
}

FileKeychainAttributes::const_iterator FileKeychainAttributes::find(FourCharCode tag) const
{
    return const_cast<FileKeychainAttributes*>(this)->find(tag);
}

const QByteArray& FileKeychainAttributes::at(FourCharCode tag) const
{
    const const_iterator found = find(tag);
    if (found == m_entries.end()) {
        throw std::out_of_range("FileKeychainAttributes::at");
    }
    return found->second;
}

QByteArray& FileKeychainAttributes::operator[](FourCharCode tag)
{
    return emplace(tag, QByteArray()).first->second;
}

std::pair<FileKeychainAttributes::iterator, bool> FileKeychainAttributes::emplace(FourCharCode tag,
                                                                                  QByteArray data)
{
    // Files hold the tags in rising order, so reading appends.
    if (m_entries.empty() || m_entries.back().first < tag) {
        m_entries.emplace_back(tag, std::move(data));
        return {m_entries.end() - 1, true};
    }
    const iterator at = lowerBound(tag);
    if (at != m_entries.end() && at->first == tag) {
        return {at, false};
    }
    return {m_entries.emplace(at, tag, std::move(data)), true};
}
