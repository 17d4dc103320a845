// Times the item list over keychain files of 1,000 and 10,000 entries: open and load
// everything, add, rename, read a password, the four sorts, delete. Prints the median
// of several runs in milliseconds. Key derivation runs at its cheapest cost and is
// timed on its own, so the figures show the store's own work.

#include "platform/Dialogs.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/FileKeychainServices.h"
#include "store/NetKeyloftStringUtils.h"
#include "store/NetKeyloft_Item.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const QString password = QStringLiteral("bench password");

// Answers every password prompt; benchmarks show no windows.
class BenchDialogs final : public Dialogs {
public:
    int runAlert(const Alert&) override { return 0; }
    std::optional<QString> chooseKeychainFile() override { return std::nullopt; }
    std::optional<SecretBytes> askKeychainPassword(const QString&, int) override
    {
        return SecretBytes::fromUtf8(password);
    }
    std::optional<SecretBytes> askNewKeychainPassword(const QString&) override
    {
        return SecretBytes::fromUtf8(password);
    }
};

// Writes a keychain file holding count entries in one go, as the program lays them out.
bool writeKeychain(const QString& path, int count)
{
    FileKeychainHeader header;
    std::unique_ptr<FileKeychainKey> key;
    if (FileKeychainKey::create(SecretBytes::fromUtf8(password), FileKeychainKdf::minimum(), header,
                                key) != errSecSuccess) {
        return false;
    }
    FileKeychainContent content;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        auto entry = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
            QStringLiteral("Entry %1").arg((i * 7919) % count), QStringLiteral("user%1").arg(i),
            QStringLiteral("pw-%1").arg(i), QStringLiteral("Notes for entry %1").arg(i), i + 1);
        entry.setCountUsed((i * 31) % 97);
        FileKeychainItem item;
        item.id = content.nextId++;
        item.itemClass = KeychainCodes::genericPasswordClass;
        using namespace KeychainCodes;
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
        item.created = now - (i * 3600) % (86400 * 365);
        item.modified = item.created;
        content.items.push_back(std::move(item));
    }
    const QByteArray file = key->seal(serializeFileKeychainBody(content), header);
    FileKeychainStamp stamp;
    return FileKeychainFile::writeAtomically(path, file, FileKeychainFile::Replace::Never, stamp) ==
           errSecSuccess;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void benchmark(int count, int runs)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.keychain"));
    if (!writeKeychain(path, count)) {
        std::fprintf(stderr, "could not write the keychain\n");
        return;
    }
    BenchDialogs dialogs;
    FileKeychainServices services(dialogs, FileKeychainKdf::minimum());
    UserDefaults defaults(folder.filePath(QStringLiteral("bench.conf")));
    defaults.setValue(NetKeyloft_Keychain::keychainPathKey, path);

    std::map<std::string, std::vector<double>> times;
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<NetKeyloft_KeychainController> list;
        times["key derivation"].push_back(millisecondsOf([&] {
            QByteArray bytes;
            FileKeychainStamp stamp;
            FileKeychainFile::read(path, bytes, stamp, FileKeychainHeader::size);
            std::unique_ptr<FileKeychainKey> key;
            FileKeychainKey::derive(SecretBytes::fromUtf8(password),
                                    *FileKeychainHeader::parse(bytes), key);
        }));
        times["open + load all"].push_back(millisecondsOf([&] {
            list = NetKeyloft_KeychainController::create({services, defaults, dialogs});
        }));
        if (!list || list->countOfKeychainItems() != unsigned(count)) {
            std::fprintf(stderr, "loading failed\n");
            return;
        }
        times["add one"].push_back(
            millisecondsOf([&] { list->newKeyChainItemWithLabel(QStringLiteral("Untitled")); }));
        const unsigned last = list->countOfKeychainItems() - 1;
        times["rename one"].push_back(millisecondsOf([&] {
            list->renameKeyChainItemAtIndexWithLabel(last, QStringLiteral("Renamed %1").arg(run));
        }));
        times["read one password"].push_back(
            millisecondsOf([&] { list->passwordForKeychainItemAtIndex(int(count / 2)); }));
        times["sort by index"].push_back(
            millisecondsOf([&] { list->sortKeychainItemsByIndexAscending(false); }));
        times["sort by label"].push_back(
            millisecondsOf([&] { list->sortKeychainItemsByLableAscending(true); }));
        times["sort by date created"].push_back(
            millisecondsOf([&] { list->sortKeychainItemsByDateCreatedAscending(true); }));
        times["sort by count used"].push_back(
            millisecondsOf([&] { list->sortKeychainItemsByCountUsedAscending(false); }));
        const ItemPtr added = list->keychainItemAtIndex(
            list->indexInKeychainItemsForItem(list->keychainItems().back().get()));
        times["delete one"].push_back(millisecondsOf([&] {
            list->sortKeychainItemsByIndexAscending(true);
            list->deleteKeychainItem(list->keychainItems().back().get());
        }));
    }
    std::printf("%d entries (median of %d runs, ms)\n", count, runs);
    for (const auto& [name, values] : times) {
        std::printf("  %-22s %8.2f\n", name.c_str(), median(values));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    benchmark(1000, runs);
    benchmark(10000, runs);
    return 0;
}
