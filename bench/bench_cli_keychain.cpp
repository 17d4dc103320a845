// Writes a keychain file for bench/bench_cli.sh: COUNT entries "Entry 0" ... (user names,
// notes and passwords "pw-N"), laid out as the program stores them, in one write, with
// the cheapest key derivation and the password "bench password". Adding that many
// entries one keyloft-cli command at a time would rewrite the file once per entry.
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainKey.h"
#include "store/NetKeyloft_Keychain.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <cstdlib>

namespace {

FileKeychainItem programItem(const NetKeyloft_Item& entry, std::int64_t created)
{
    using namespace KeychainCodes;
    FileKeychainItem item;
    item.itemClass = genericPasswordClass;
    setFileKeychainAttributes(
        item, {{generic, entry.encodedAttributes().toUtf8()},
               {label, entry.label().toUtf8()},
               {account, entry.userName().toUtf8()},
               {comment, entry.comments().toUtf8()},
               {description, NetKeyloft_Keychain::DescriptionItemAttrData().toUtf8()},
               {service, entry.uuid().toUtf8()},
               {creator, QByteArrayLiteral("Klft")},
               {type, QByteArrayLiteral("Klf1")}});
    item.secret = SecretBytes::fromUtf8(*entry.password());
    item.created = item.modified = created;
    return item;
}

bool writeKeychain(const QString& path, int count)
{
    FileKeychainHeader header;
    std::unique_ptr<FileKeychainKey> key;
    if (FileKeychainKey::create(SecretBytes::fromUtf8(QStringLiteral("bench password")),
                                FileKeychainKdf::minimum(), header, key) != errSecSuccess) {
        return false;
    }
    FileKeychainContent content;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        // The labels come in a shuffled order, as entries added over years would.
        const auto entry = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
            QStringLiteral("Entry %1").arg((qint64(i) * 7919) % count),
            QStringLiteral("user%1").arg(i), QStringLiteral("pw-%1").arg(i),
            QStringLiteral("Notes for entry %1").arg(i), i + 1);
        FileKeychainItem item = programItem(entry, now - (i * 3600) % (86400 * 365));
        item.id = content.nextId++;
        content.items.push_back(std::move(item));
    }
    const QByteArray file = key->seal(serializeFileKeychainBody(content), header);
    FileKeychainStamp stamp;
    return FileKeychainFile::writeAtomically(path, file, FileKeychainFile::Replace::Never, stamp) ==
           errSecSuccess;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: bench_cli_keychain PATH COUNT\n");
        return 2;
    }
    return writeKeychain(QString::fromLocal8Bit(argv[1]), std::atoi(argv[2])) ? 0 : 1;
}
