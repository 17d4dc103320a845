// The keychain body's own CBOR reader and writer against Qt's general-purpose ones, which
// they replaced: the reader must accept exactly the first version's bodies Qt's reader
// accepted, with the same content, and the writer must write the same bytes followed by
// the later version's (here empty) records of deleted items.
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainBodyLayout.h"

#include <QBuffer>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace FileKeychainBodyLayout;

namespace {

// The reader as it was, on QCborStreamReader.
class ReferenceReader {
public:
    explicit ReferenceReader(QByteArrayView plaintext)
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

    bool readAttributes(FileKeychainAttributes& attributes)
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
        const bool read = readKeyedMap(firstVersionBodyKeyCount, [&](quint64 key) {
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

// The writer as it was, on QCborStreamWriter.
QByteArray referenceWrite(const FileKeychainContent& content)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    writer.startMap(firstVersionBodyKeyCount);
    writer.append(quint64(bodyNextId));
    writer.append(quint64(content.nextId));
    writer.append(quint64(bodyItems));
    writer.startArray(quint64(content.items.size()));
    for (const FileKeychainItem& item : content.items) {
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
    writer.endArray();
    writer.endMap();
    return bytes;
}

// A first version's body of no more than 23 items as the current version writes it: a
// map of three keys, the last one an empty array of deleted items.
QByteArray currentVersion(QByteArray body)
{
    body[0] = char(0xa3);
    return body + QByteArray::fromHex("0280");
}

QByteArray write(const FileKeychainContent& content)
{
    const SecretBytes plaintext = serializeFileKeychainBody(content);
    return QByteArray(plaintext.data(), qsizetype(plaintext.size()));
}

bool sameContent(const FileKeychainContent& a, const FileKeychainContent& b)
{
    if (a.nextId != b.nextId || a.items.size() != b.items.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const FileKeychainItem& x = a.items[i];
        const FileKeychainItem& y = b.items[i];
        if (x.id != y.id || x.itemClass != y.itemClass || !(x.attributes == y.attributes) ||
            !(x.secret == y.secret) || x.created != y.created || x.modified != y.modified) {
            return false;
        }
    }
    return true;
}

// Numbers whose shortest CBOR heads take every length: 1, 2, 3, 5 and 9 bytes.
const std::vector<std::uint64_t>& edgeNumbers()
{
    static const std::vector<std::uint64_t> numbers{
        0, 1, 23, 24, 255, 256, 65535, 65536, 0xffffffffu, 0x100000000u, 0xffffffffffffffffu};
    return numbers;
}

// A content of several program-like items with values of every head length.
FileKeychainContent sampleContent(QRandomGenerator& random, int count)
{
    FileKeychainContent content;
    for (int i = 0; i < count; ++i) {
        FileKeychainItem item;
        item.id = content.nextId;
        content.nextId += 1 + random.bounded(70000);
        item.itemClass = i % 3 == 0 ? KeychainCodes::genericPasswordClass
                                    : std::uint32_t(edgeNumbers()[std::size_t(i) % 10]);
        item.attributes = {{KeychainCodes::creator, QByteArray("Klft")},
                           {KeychainCodes::type, QByteArray("Klf1")},
                           {KeychainCodes::label, QByteArray::number(i)},
                           {0xffffffffu, QByteArray()},
                           {std::uint32_t(random.bounded(30)) + 8,
                            QByteArray(int(random.bounded(300)), char('a' + i % 26))}};
        // Large secrets (heads of 3 and 5 bytes) only in the larger contents.
        const QByteArray secret(int(random.bounded(i % 4 == 0 && count >= 12 ? 70000 : 40)),
                                char(i));
        item.secret = SecretBytes(secret.constData(), std::size_t(secret.size()));
        item.created = std::int64_t(edgeNumbers()[std::size_t(i) % 9]);
        item.modified = i % 5 == 0 ? -7 : fileKeychainLatestTime + (i % 2);
        content.items.push_back(std::move(item));
    }
    return content;
}

// body changed at random: bytes replaced, added, removed or repeated, or cut short.
QByteArray mutated(QByteArray body, QRandomGenerator& random)
{
    const int changes = 1 + int(random.bounded(3));
    for (int change = 0; change < changes; ++change) {
        const auto at = qsizetype(random.bounded(int(body.size()) + 1));
        switch (random.bounded(6)) {
        case 0:
            if (at < body.size()) {
                body[at] = char(random.bounded(256));
            }
            break;
        case 1:
            if (at < body.size()) {
                // A head's low bits: lengths and small values.
                body[at] = char((uchar(body[at]) & 0xe0) | random.bounded(32));
            }
            break;
        case 2:
            body.insert(at, char(random.bounded(256)));
            break;
        case 3:
            body.remove(at, 1 + random.bounded(4));
            break;
        case 4:
            body.insert(at, body.mid(at, 1 + random.bounded(12)));
            break;
        default:
            body.truncate(at);
        }
    }
    return body;
}
} // namespace

class TestFileKeychainBody : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writerWritesWhatQtsWriterWrote();
    void readerAgreesWithQtsReader();
    void equalValuesShareMemoryOnly();
    void attributesActAsAMap();
};

void TestFileKeychainBody::writerWritesWhatQtsWriterWrote()
{
    QRandomGenerator random(7);
    for (const int count : {0, 1, 3, 40}) {
        const FileKeychainContent content = sampleContent(random, count);
        QCOMPARE(write(content), currentVersion(referenceWrite(content)));
    }
    // The buffer handed in may be too small, or larger than the body.
    const FileKeychainContent content = sampleContent(random, 12);
    for (const std::size_t size : {std::size_t(0), std::size_t(5), std::size_t(1) << 20}) {
        SecretBytes buffer;
        buffer.resize(size);
        const std::size_t used = serializeFileKeychainBody(content, buffer);
        QVERIFY(buffer.size() >= used);
        QCOMPARE(QByteArray(buffer.data(), qsizetype(used)),
                 currentVersion(referenceWrite(content)));
    }
}

void TestFileKeychainBody::readerAgreesWithQtsReader()
{
    QRandomGenerator random(11);
    std::vector<QByteArray> seeds;
    for (const int count : {0, 1, 2, 5}) {
        seeds.push_back(referenceWrite(sampleContent(random, count)));
    }
    // Indefinite lengths and chunked strings: {_ 0: 5, 1: [_ item]}, the secret chunked.
    seeds.push_back(QByteArray::fromHex("bf0005019fa6000301 1a67656e70 02a1 1a6c61626c 5f417741"
                                        "77ff 035f41704177ff 040005 00ffff"));
    seeds.push_back(QByteArray::fromHex("bf0005019fbf0003011a67656e7002bf1a6c61626c5f41614162ff"
                                        "ff035f4170ff04000500ffffff"));
    int accepted = 0;
    int rejected = 0;
    for (int round = 0; round < 30000; ++round) {
        const QByteArray& seed = seeds[std::size_t(round) % seeds.size()];
        const QByteArray body = round < int(seeds.size()) ? seed : mutated(seed, random);
        ReferenceReader reference(body);
        const std::optional<FileKeychainContent> want = reference.read();
        const std::optional<FileKeychainContent> got = parseFileKeychainBody(body, 1);
        if (want.has_value() != got.has_value() || (want && !sameContent(*want, *got))) {
            QFAIL(
                qPrintable(QStringLiteral("round %1, body %2: Qt's reader %3, ours %4")
                               .arg(round)
                               .arg(QString::fromLatin1(body.toHex()))
                               .arg(want ? QStringLiteral("accepts") : QStringLiteral("refuses"))
                               .arg(got ? QStringLiteral("accepts") : QStringLiteral("refuses"))));
        }
        (want ? accepted : rejected) += 1;
    }
    // Both outcomes were met often enough to mean something.
    QVERIFY(accepted > 1000);
    QVERIFY(rejected > 1000);
    QVERIFY(parseFileKeychainBody(seeds[5], 1));
}

void TestFileKeychainBody::equalValuesShareMemoryOnly()
{
    QRandomGenerator random(3);
    const QByteArray body = write(sampleContent(random, 3));
    std::optional<FileKeychainContent> content = parseFileKeychainBody(body);
    QVERIFY(content);
    std::vector<FileKeychainItem>& items = content->items;
    const QByteArray& first = items[0].attributes.at(KeychainCodes::creator);
    QCOMPARE(items[2].attributes.at(KeychainCodes::creator), QByteArray("Klft"));
    QCOMPARE(items[2].attributes.at(KeychainCodes::creator).constData(), first.constData());
    // A change to one item's value leaves the other items' alone.
    setFileKeychainAttributes(items[1], {{KeychainCodes::creator, QByteArray("Othr")}});
    items[2].attributes[KeychainCodes::creator][0] = 'X';
    QCOMPARE(items[0].attributes.at(KeychainCodes::creator), QByteArray("Klft"));
    QCOMPARE(items[1].attributes.at(KeychainCodes::creator), QByteArray("Othr"));
    QCOMPARE(items[2].attributes.at(KeychainCodes::creator), QByteArray("Xlft"));
    QCOMPARE(items[1].attributes.at(KeychainCodes::label), QByteArray("1"));
}

void TestFileKeychainBody::attributesActAsAMap()
{
    FileKeychainAttributes attributes{{KeychainCodes::type, QByteArray("t")},
                                      {KeychainCodes::account, QByteArray("a")},
                                      {KeychainCodes::type, QByteArray("second")}};
    QCOMPARE(attributes.size(), std::size_t(2));
    QCOMPARE(attributes.begin()->first, KeychainCodes::account);
    QCOMPARE(attributes.at(KeychainCodes::type), QByteArray("t"));
    QVERIFY(attributes.find(KeychainCodes::label) == attributes.end());
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, attributes.at(KeychainCodes::label));
    attributes[KeychainCodes::label] = "l";
    QVERIFY(!attributes.emplace(KeychainCodes::label, QByteArray("other")).second);
    QVERIFY(attributes.emplace(1, QByteArray("one")).second);
    std::vector<FourCharCode> tags;
    for (const auto& [tag, data] : attributes) {
        tags.push_back(tag);
    }
    QVERIFY(std::is_sorted(tags.begin(), tags.end()));
    QCOMPARE(tags.size(), std::size_t(4));
    QCOMPARE(attributes.at(KeychainCodes::label), QByteArray("l"));
    FileKeychainAttributes copy = attributes;
    QVERIFY(copy == attributes);
    copy[KeychainCodes::label] = "m";
    QVERIFY(!(copy == attributes));
}

QTEST_GUILESS_MAIN(TestFileKeychainBody)
#include "tst_filekeychainbody.moc"
