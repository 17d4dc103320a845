#include "platform/keychain/FileKeychainBody.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

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

// The CBOR major types the body uses.
enum Major : std::uint8_t { majorUnsigned = 0, majorBytes = 2, majorArray = 4, majorMap = 5 };
constexpr std::uint8_t indefiniteLength = 31;
constexpr std::uint8_t breakCode = 0xff;
// The fewest bytes an item can take: a map head, six one-byte keys and six one-byte
// values. Bounds what a crafted array length may make the reader reserve.
constexpr std::size_t smallestItemSize = 13;

// Attributes are stored under their canonical tag only, and the time stamps apart from
// them; anything else would be an attribute that no tag reads back.
bool isStoredTag(FourCharCode tag)
{
    return tag == KeychainCodes::canonicalTag(tag) && tag != KeychainCodes::creationDate &&
           tag != KeychainCodes::modificationDate;
}

// Reads the body straight from the plaintext: loading a large keychain reads tens of
// thousands of small values, so no general-purpose CBOR reader stands in between. It
// reads exactly the subset of CBOR the layout above allows (any head length, definite or
// indefinite containers, chunked byte strings) and refuses everything else: tags,
// negative or floating-point numbers, text strings, simple values, reserved heads.
class BodyReader {
public:
    explicit BodyReader(QByteArrayView plaintext)
        : m_at(reinterpret_cast<const std::uint8_t*>(plaintext.data())),
          m_end(m_at + plaintext.size())
    {}

    std::optional<FileKeychainContent> read()
    {
        FileKeychainContent content;
        if (!readBody(content) || m_at != m_end) {
            return std::nullopt;
        }
        return content;
    }

private:
    // The head of a data item: its major type and argument (a value, a length or a count).
    struct Head {
        std::uint8_t major = 0;
        bool indefinite = false;
        std::uint64_t argument = 0;
    };

    // A map or array being read: the entries still to come, or up to a break.
    struct Container {
        bool indefinite = false;
        std::uint64_t remaining = 0;
    };

    enum class Next { Entry, End, Error };

    bool readHead(Head& head)
    {
        if (m_at == m_end) {
            return false;
        }
        const std::uint8_t initial = *m_at++;
        head.major = std::uint8_t(initial >> 5);
        const std::uint8_t info = initial & 0x1f;
        head.indefinite = info == indefiniteLength;
        head.argument = 0;
        if (info < 24 || head.indefinite) {
            head.argument = head.indefinite ? 0 : info;
            return true;
        }
        if (info > 27) {
            return false;
        }
        const std::size_t length = std::size_t(1) << (info - 24);
        if (std::size_t(m_end - m_at) < length) {
            return false;
        }
        for (std::size_t i = 0; i < length; ++i) {
            head.argument = (head.argument << 8) | *m_at++;
        }
        return true;
    }

    bool enter(std::uint8_t major, Container& container)
    {
        Head head;
        if (!readHead(head) || head.major != major) {
            return false;
        }
        container.indefinite = head.indefinite;
        container.remaining = head.argument;
        return true;
    }

    // Whether another entry (a pair in a map) of container follows; at its end the
    // container is left, its break read.
    Next next(Container& container)
    {
        if (container.indefinite) {
            if (m_at == m_end) {
                return Next::Error;
            }
            if (*m_at == breakCode) {
                ++m_at;
                return Next::End;
            }
            return Next::Entry;
        }
        if (container.remaining == 0) {
            return Next::End;
        }
        --container.remaining;
        return Next::Entry;
    }

    bool readUnsigned(std::uint64_t& value)
    {
        Head head;
        if (!readHead(head) || head.major != majorUnsigned || head.indefinite) {
            return false;
        }
        value = head.argument;
        return true;
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

    // Reads a byte string, handing take(data, size) each of its chunks in order. A
    // chunk's declared size is checked against the input before anything is taken.
    template <typename Take> bool readByteString(Take take)
    {
        Head head;
        if (!readHead(head) || head.major != majorBytes) {
            return false;
        }
        if (!head.indefinite) {
            return readChunk(head.argument, take);
        }
        for (;;) {
            if (m_at == m_end) {
                return false;
            }
            if (*m_at == breakCode) {
                ++m_at;
                return true;
            }
            Head chunk;
            if (!readHead(chunk) || chunk.major != majorBytes || chunk.indefinite ||
                !readChunk(chunk.argument, take)) {
                return false;
            }
        }
    }

    template <typename Take> bool readChunk(std::uint64_t size, Take& take)
    {
        if (size > std::uint64_t(m_end - m_at)) {
            return false;
        }
        take(reinterpret_cast<const char*>(m_at), std::size_t(size));
        m_at += size;
        return true;
    }

    bool readBytes(QByteArray& value)
    {
        value.clear();
        return readByteString([&value](const char* data, std::size_t size) {
            if (size == 0) {
                return;
            }
            if (value.isEmpty()) {
                value = QByteArray(data, qsizetype(size));
            } else {
                value.append(data, qsizetype(size));
            }
        });
    }

    // Reads an attribute's value. A value equal to the one the previous item has under
    // the same tag shares that one's memory: several attributes (the creator, the type,
    // the description) are the same in every item of a program.
    bool readAttributeValue(FourCharCode tag, QByteArray& value)
    {
        QByteArray* previous = nullptr;
        for (auto& [seenTag, seenValue] : m_previousValues) {
            if (seenTag == tag) {
                previous = &seenValue;
                break;
            }
        }
        if (previous != nullptr && !previous->isEmpty()) {
            // Compared where it lies, so an equal value is never copied at all.
            const std::uint8_t* const start = m_at;
            Head head;
            if (readHead(head) && head.major == majorBytes && !head.indefinite &&
                head.argument == std::uint64_t(previous->size()) &&
                head.argument <= std::uint64_t(m_end - m_at) &&
                std::equal(previous->cbegin(), previous->cend(),
                           reinterpret_cast<const char*>(m_at))) {
                m_at += head.argument;
                value = *previous;
                return true;
            }
            m_at = start;
        }
        if (!readBytes(value)) {
            return false;
        }
        if (previous == nullptr) {
            if (m_previousValues.size() < 16) {
                m_previousValues.emplace_back(tag, value);
            }
        } else if (*previous == value) {
            value = *previous;
        } else {
            *previous = value;
        }
        return true;
    }

    // Reads a secret straight into wiped memory.
    bool readSecret(SecretBytes& value)
    {
        value.clear();
        return readByteString([&value](const char* data, std::size_t size) {
            if (value.isEmpty()) {
                value = SecretBytes(data, size);
                return;
            }
            const std::size_t used = value.size();
            value.resize(used + size);
            std::copy(data, data + size, value.data() + used);
        });
    }

    // Reads a map whose keys are small unsigned integers below keyCount, calling
    // readValue(key) for each; every key must appear exactly once.
    template <typename ReadValue> bool readKeyedMap(std::uint64_t keyCount, ReadValue readValue)
    {
        static_assert(bodyKeyCount < 32 && itemKeyCount < 32);
        Container map;
        if (!enter(majorMap, map)) {
            return false;
        }
        std::uint32_t seen = 0;
        for (;;) {
            switch (next(map)) {
            case Next::End:
                return seen == (std::uint32_t(1) << keyCount) - 1;
            case Next::Error:
                return false;
            case Next::Entry:
                break;
            }
            std::uint64_t key = 0;
            if (!readUnsigned(key) || key >= keyCount || (seen & (std::uint32_t(1) << key)) != 0 ||
                !readValue(key)) {
                return false;
            }
            seen |= std::uint32_t(1) << key;
        }
    }

    bool readAttributes(FileKeychainAttributes& attributes)
    {
        Container map;
        if (!enter(majorMap, map)) {
            return false;
        }
        if (!map.indefinite) {
            attributes.reserve(std::size_t(std::min<std::uint64_t>(map.remaining, 16)));
        }
        for (;;) {
            switch (next(map)) {
            case Next::End:
                return true;
            case Next::Error:
                return false;
            case Next::Entry:
                break;
            }
            FourCharCode tag = 0;
            QByteArray data;
            if (!readUnsigned32(tag) || !isStoredTag(tag) || !readAttributeValue(tag, data) ||
                !attributes.emplace(tag, std::move(data)).second) {
                return false;
            }
        }
    }

    bool readItem(FileKeychainItem& item)
    {
        return readKeyedMap(itemKeyCount, [&](std::uint64_t key) {
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
        Container array;
        if (!enter(majorArray, array)) {
            return false;
        }
        if (!array.indefinite) {
            // The length is only a claim: a crafted one must not reserve more items than
            // the rest of the input could hold.
            items.reserve(std::size_t(std::min<std::uint64_t>(
                array.remaining, std::uint64_t(m_end - m_at) / smallestItemSize)));
        }
        for (;;) {
            switch (next(array)) {
            case Next::End:
                return true;
            case Next::Error:
                return false;
            case Next::Entry:
                break;
            }
            FileKeychainItem& item = items.emplace_back();
            if (!readItem(item)) {
                return false;
            }
        }
    }

    bool readBody(FileKeychainContent& content)
    {
        const bool read = readKeyedMap(bodyKeyCount, [&](std::uint64_t key) {
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

    const std::uint8_t* m_at;
    const std::uint8_t* m_end;
    // The last value read under each of the first tags met.
    std::vector<std::pair<FourCharCode, QByteArray>> m_previousValues;
};

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

std::optional<FileKeychainContent> parseFileKeychainBody(QByteArrayView plaintext)
{
    BodyReader reader(plaintext);
    return reader.read();
}

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
