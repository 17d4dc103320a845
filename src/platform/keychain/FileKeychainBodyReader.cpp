// Reading the sealed body of a keychain file.
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainBodyLayout.h"

#include <algorithm>

using namespace FileKeychainBodyLayout;

namespace {

// Reads the body straight from the plaintext: loading a large keychain reads tens of
// thousands of small values, so no general-purpose CBOR reader stands in between. It
// reads exactly the subset of CBOR the layout above allows (any head length, definite or
// indefinite containers, chunked byte strings) and refuses everything else: tags,
// negative or floating-point numbers, text strings, simple values, reserved heads.
class BodyReader {
public:
    BodyReader(QByteArrayView plaintext, std::uint16_t version)
        : m_at(reinterpret_cast<const std::uint8_t*>(plaintext.data())),
          m_end(m_at + plaintext.size()),
          m_bodyKeys(version < 2 ? firstVersionBodyKeyCount : bodyKeyCount)
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

    // Calls readEntry() for each entry of container until its end; false as soon as the
    // container or an entry is malformed.
    template <typename ReadEntry> bool readEntries(Container& container, ReadEntry readEntry)
    {
        for (;;) {
            switch (next(container)) {
            case Next::End:
                return true;
            case Next::Error:
                return false;
            case Next::Entry:
                break;
            }
            if (!readEntry()) {
                return false;
            }
        }
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
        static_assert(bodyKeyCount < 32 && itemKeyCount < 32 && tombstoneKeyCount < 32);
        Container map;
        if (!enter(majorMap, map)) {
            return false;
        }
        std::uint32_t seen = 0;
        const bool read = readEntries(map, [&] {
            std::uint64_t key = 0;
            if (!readUnsigned(key) || key >= keyCount || (seen & (std::uint32_t(1) << key)) != 0 ||
                !readValue(key)) {
                return false;
            }
            seen |= std::uint32_t(1) << key;
            return true;
        });
        return read && seen == (std::uint32_t(1) << keyCount) - 1;
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
        return readEntries(map, [&] {
            FourCharCode tag = 0;
            QByteArray data;
            return readUnsigned32(tag) && isStoredTag(tag) && readAttributeValue(tag, data) &&
                   attributes.emplace(tag, std::move(data)).second;
        });
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
        return readEntries(array, [&] { return readItem(items.emplace_back()); });
    }

    bool readTombstones(std::vector<FileKeychainTombstone>& tombstones)
    {
        Container array;
        if (!enter(majorArray, array)) {
            return false;
        }
        return readEntries(array, [&] {
            FileKeychainTombstone& tombstone = tombstones.emplace_back();
            return readKeyedMap(tombstoneKeyCount, [&](std::uint64_t key) {
                return key == tombstoneService ? readBytes(tombstone.service)
                                               : readTime(tombstone.deleted);
            });
        });
    }

    bool readBody(FileKeychainContent& content)
    {
        const bool read = readKeyedMap(m_bodyKeys, [&](std::uint64_t key) {
            switch (key) {
            case bodyNextId:
                return readUnsigned(content.nextId);
            case bodyItems:
                return readItems(content.items);
            default:
                return readTombstones(content.tombstones);
            }
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
    // How many keys the body of the file's version has.
    std::uint64_t m_bodyKeys;
    // The last value read under each of the first tags met.
    std::vector<std::pair<FourCharCode, QByteArray>> m_previousValues;
};

} // namespace

std::optional<FileKeychainContent> parseFileKeychainBody(QByteArrayView plaintext,
                                                         std::uint16_t version)
{
    BodyReader reader(plaintext, version);
    return reader.read();
}
