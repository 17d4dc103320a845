#include "platform/keychain/FileKeychainBody.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QIODevice>

#include <algorithm>
#include <chrono>
#include <cstdio>

// The body's plaintext is one CBOR map with small unsigned integer keys:
//
//   0: the id the next new item gets (unsigned)
//   1: array of items in creation order, each a map:
//        0: id (unsigned, strictly rising from item to item, below the next id)
//        1: item class, a four-character code (unsigned, 32 bits)
//        2: attributes: map of tag (unsigned, 32 bits) to byte string; tags are canonical
//           (never the label's alias 7) and never "cdat" or "mdat"
//        3: secret (byte string)
//        4: creation time, seconds since 1970 UTC (unsigned)
//        5: modification time, seconds since 1970 UTC (unsigned)
//
// Every key is required exactly once; an unknown key, a duplicate key, a falling id or a
// value of another type makes the body invalid. Strings may be chunked.

namespace {
enum BodyKey : quint64 { bodyNextId = 0, bodyItems = 1, bodyKeyCount };
enum ItemKey : quint64 {
    itemId = 0,
    itemClass = 1,
    itemAttributes = 2,
    itemSecret = 3,
    itemCreated = 4,
    itemModified = 5,
    itemKeyCount
};

// A write-only device over memory that is wiped whenever it moves or goes, so the
// serialised secrets leave no copies on the heap.
class WipingBufferDevice final : public QIODevice {
public:
    // Writes into buffer from its start, growing it as needed. expectedSize is a bound
    // on what will be written, so the buffer grows at most once.
    WipingBufferDevice(SecretBytes& buffer, std::size_t expectedSize) : m_bytes(buffer)
    {
        if (m_bytes.size() < expectedSize) {
            m_bytes.resize(expectedSize);
        }
        // Unbuffered: no copy of the plaintext in a buffer of QIODevice's own.
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    std::size_t used() const { return m_used; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const auto needed = m_used + std::size_t(size);
        if (needed > m_bytes.size()) {
            m_bytes.resize(std::max(needed, m_bytes.size() * 2));
        }
        std::copy(data, data + size, m_bytes.data() + m_used);
        m_used = needed;
        return size;
    }

private:
    SecretBytes& m_bytes;
    std::size_t m_used = 0;
};

// Attributes are stored under their canonical tag only, and the time stamps apart from
// them; anything else would be an attribute that no tag reads back.
bool isStoredTag(FourCharCode tag)
{
    return tag == KeychainCodes::canonicalTag(tag) && tag != KeychainCodes::creationDate &&
           tag != KeychainCodes::modificationDate;
}

class BodyReader {
public:
    explicit BodyReader(QByteArrayView plaintext)
        : m_bytes(QByteArray::fromRawData(plaintext.data(), plaintext.size())), m_reader(m_bytes)
    {}

    std::optional<FileKeychainContent> read()
    {
        FileKeychainContent content;
        if (!readBody(content) || m_reader.lastError() != QCborError::NoError ||
            m_reader.hasNext() || m_reader.currentOffset() != m_bytes.size()) {
            return std::nullopt;
        }
        return content;
    }

private:
    // Reads a map whose keys are small unsigned integers below keyCount, calling
    // readValue(key) for each; every key must appear exactly once.
    template <typename ReadValue> bool readKeyedMap(quint64 keyCount, ReadValue readValue)
    {
        if (!m_reader.isMap() || !m_reader.enterContainer()) {
            return false;
        }
        std::vector<bool> seen(keyCount, false);
        while (m_reader.hasNext()) {
            std::uint64_t key = 0;
            if (!readUnsigned(key) || key >= keyCount || seen[key] || !readValue(key)) {
                return false;
            }
            seen[key] = true;
        }
        return m_reader.lastError() == QCborError::NoError && m_reader.leaveContainer() &&
               std::all_of(seen.begin(), seen.end(), [](bool s) { return s; });
    }

    bool readUnsigned(std::uint64_t& value)
    {
        if (!m_reader.isUnsignedInteger()) {
            return false;
        }
        value = m_reader.toUnsignedInteger();
        return m_reader.next();
    }

    bool readUnsigned32(std::uint32_t& value)
    {
        std::uint64_t wide = 0;
        if (!readUnsigned(wide) || wide > 0xffffffffu) {
            return false;
        }
        value = std::uint32_t(wide);
        return true;
    }

    bool readTime(std::int64_t& value)
    {
        std::uint64_t wide = 0;
        if (!readUnsigned(wide) || wide > quint64(fileKeychainLatestTime)) {
            return false;
        }
        value = std::int64_t(wide);
        return true;
    }

    bool readBytes(QByteArray& value)
    {
        if (!m_reader.isByteArray()) {
            return false;
        }
        value.clear();
        auto chunk = m_reader.readByteArray();
        while (chunk.status == QCborStreamReader::Ok) {
            value += chunk.data;
            chunk = m_reader.readByteArray();
        }
        return chunk.status == QCborStreamReader::EndOfString;
    }

    // Reads a secret straight into wiped memory, chunk by chunk.
    bool readSecret(SecretBytes& value)
    {
        if (!m_reader.isByteArray()) {
            return false;
        }
        value.clear();
        for (;;) {
            // The declared size is unchecked until the chunk is read: a crafted one must
            // not make us allocate more than the input could hold.
            const qsizetype chunkSize = m_reader.currentStringChunkSize();
            if (chunkSize < 0 || chunkSize > m_bytes.size() - m_reader.currentOffset()) {
                return false;
            }
            const std::size_t used = value.size();
            value.resize(used + std::size_t(chunkSize));
            const auto chunk = m_reader.readStringChunk(value.data() + used, chunkSize);
            if (chunk.status == QCborStreamReader::EndOfString) {
                value.resize(used);
                return true;
            }
            if (chunk.status != QCborStreamReader::Ok || chunk.data != chunkSize) {
                return false;
            }
            if (!m_reader.isByteArray()) {
                return false;
            }
        }
    }

    bool readAttributes(std::map<FourCharCode, QByteArray>& attributes)
    {
        if (!m_reader.isMap() || !m_reader.enterContainer()) {
            return false;
        }
        while (m_reader.hasNext()) {
            FourCharCode tag = 0;
            QByteArray data;
            if (!readUnsigned32(tag) || !isStoredTag(tag) || !readBytes(data) ||
                !attributes.emplace(tag, std::move(data)).second) {
                return false;
            }
        }
        return m_reader.lastError() == QCborError::NoError && m_reader.leaveContainer();
    }

    bool readItem(FileKeychainItem& item)
    {
        return readKeyedMap(itemKeyCount, [&](quint64 key) {
            switch (key) {
            case itemId:
                return readUnsigned(item.id);
            case itemClass:
                return readUnsigned32(item.itemClass);
            case itemAttributes:
                return readAttributes(item.attributes);
            case itemSecret:
                return readSecret(item.secret);
            case itemCreated:
                return readTime(item.created);
            default:
                return readTime(item.modified);
            }
        });
    }

    bool readItems(std::vector<FileKeychainItem>& items)
    {
        if (!m_reader.isArray()) {
            return false;
        }
        if (m_reader.isLengthKnown()) {
            // The length is only a hint: a crafted one must not reserve gigabytes.
            items.reserve(std::size_t(std::min<quint64>(m_reader.length(), 4096)));
        }
        if (!m_reader.enterContainer()) {
            return false;
        }
        while (m_reader.hasNext()) {
            FileKeychainItem item;
            if (!readItem(item)) {
                return false;
            }
            items.push_back(std::move(item));
        }
        return m_reader.lastError() == QCborError::NoError && m_reader.leaveContainer();
    }

    bool readBody(FileKeychainContent& content)
    {
        const bool read = readKeyedMap(bodyKeyCount, [&](quint64 key) {
            return key == bodyNextId ? readUnsigned(content.nextId) : readItems(content.items);
        });
        return read && idsAreSound(content);
    }

    // Ids rise strictly in creation order and stay below the next id, so an item is
    // found by binary search and a new one never takes an id already used.
    static bool idsAreSound(const FileKeychainContent& content)
    {
        std::uint64_t previous = 0;
        for (const FileKeychainItem& item : content.items) {
            if (item.id >= content.nextId ||
                (&item != &content.items.front() && item.id <= previous)) {
                return false;
            }
            previous = item.id;
        }
        return true;
    }

    QByteArray m_bytes;
    QCborStreamReader m_reader;
};

// An upper bound of the CBOR size of content: every head takes at most 9 bytes.
std::size_t serializedSizeBound(const FileKeychainContent& content)
{
    constexpr std::size_t head = 9;
    std::size_t size = 8 * head;
    for (const FileKeychainItem& item : content.items) {
        size += 16 * head + item.secret.size();
        for (const auto& [tag, data] : item.attributes) {
            size += 2 * head + std::size_t(data.size());
        }
    }
    return size;
}

void writeItem(QCborStreamWriter& writer, const FileKeychainItem& item)
{
    writer.startMap(itemKeyCount);
    writer.append(quint64(itemId));
    writer.append(quint64(item.id));
    writer.append(quint64(itemClass));
    writer.append(quint64(item.itemClass));
    writer.append(quint64(itemAttributes));
    writer.startMap(quint64(item.attributes.size()));
    for (const auto& [tag, data] : item.attributes) {
        writer.append(quint64(tag));
        writer.appendByteString(data.constData(), data.size());
    }
    writer.endMap();
    writer.append(quint64(itemSecret));
    writer.appendByteString(item.secret.data(), qsizetype(item.secret.size()));
    writer.append(quint64(itemCreated));
    writer.append(quint64(std::clamp<std::int64_t>(item.created, 0, fileKeychainLatestTime)));
    writer.append(quint64(itemModified));
    writer.append(quint64(std::clamp<std::int64_t>(item.modified, 0, fileKeychainLatestTime)));
    writer.endMap();
}
} // namespace

std::optional<FileKeychainContent> parseFileKeychainBody(QByteArrayView plaintext)
{
    BodyReader reader(plaintext);
    return reader.read();
}

std::size_t serializeFileKeychainBody(const FileKeychainContent& content, SecretBytes& buffer)
{
    WipingBufferDevice device(buffer, serializedSizeBound(content));
    QCborStreamWriter writer(&device);
    writer.startMap(bodyKeyCount);
    writer.append(quint64(bodyNextId));
    writer.append(quint64(content.nextId));
    writer.append(quint64(bodyItems));
    writer.startArray(quint64(content.items.size()));
    for (const FileKeychainItem& item : content.items) {
        writeItem(writer, item);
    }
    writer.endArray();
    writer.endMap();
    return device.used();
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
    // Room for any int the compiler may imagine; the clamp above keeps it to 15 characters.
    char text[64] = {};
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
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
    const auto found = item.attributes.find(tag);
    if (found == item.attributes.end()) {
        return std::nullopt;
    }
    return found->second;
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
