// Feeds arbitrary bytes to the keychain body (CBOR) parser, as if they had come out of a
// sealed file. A body that parses must serialise and parse back to the same content, and
// every attribute and time stamp of its items must be readable.
#include "platform/keychain/FileKeychainBody.h"

#include <cstdlib>

namespace {
bool sameItem(const FileKeychainItem& a, const FileKeychainItem& b)
{
    return a.id == b.id && a.itemClass == b.itemClass && a.attributes == b.attributes &&
           a.secret == b.secret && a.created == b.created && a.modified == b.modified;
}

bool sameContent(const FileKeychainContent& a, const FileKeychainContent& b)
{
    if (a.nextId != b.nextId || a.items.size() != b.items.size() ||
        a.tombstones.size() != b.tombstones.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.tombstones.size(); ++i) {
        if (a.tombstones[i].service != b.tombstones[i].service ||
            a.tombstones[i].deleted != b.tombstones[i].deleted) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        if (!sameItem(a.items[i], b.items[i])) {
            return false;
        }
    }
    return true;
}

void readEverything(const FileKeychainContent& content)
{
    for (const FileKeychainItem& item : content.items) {
        for (const FourCharCode tag :
             {KeychainCodes::creationDate, KeychainCodes::modificationDate}) {
            if (fileKeychainAttribute(item, tag).value_or(QByteArray()).size() != 16) {
                std::abort();
            }
        }
        for (const auto& [tag, data] : item.attributes) {
            if (fileKeychainAttribute(item, tag) != data) {
                std::abort();
            }
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // A body of either version; both are written back in the current one.
    std::optional<FileKeychainContent> content = parseFileKeychainBody(bytes);
    if (!content) {
        content = parseFileKeychainBody(bytes, 1);
    }
    if (!content) {
        return 0;
    }
    readEverything(*content);
    const SecretBytes written = serializeFileKeychainBody(*content);
    const std::optional<FileKeychainContent> again =
        parseFileKeychainBody(QByteArrayView(written.data(), qsizetype(written.size())));
    if (!again || !sameContent(*content, *again)) {
        std::abort();
    }
    return 0;
}
