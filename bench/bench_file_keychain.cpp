// Times the encrypted keychain file backend on files of 1,000 and 10,000 items with the
// cheapest key derivation: loading everything as the store does at start-up, and each
// kind of single change. Prints the median of several runs in milliseconds.
#include "BenchSupport.h"

#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/FileKeychainServices.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {
using Bench::FixedPasswordDialogs;
using Bench::password;
constexpr int runs = 7;

QByteArray serviceOf(int index)
{
    return QUuid::fromRfc4122(QByteArray::number(index).rightJustified(16, '0'))
        .toString(QUuid::WithoutBraces)
        .toUtf8();
}

// Writes a keychain of count items directly, as one write.
bool writeKeychain(const QString& path, int count)
{
    FileKeychainContent content;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        FileKeychainItem item;
        item.id = content.nextId++;
        item.itemClass = KeychainCodes::genericPasswordClass;
        const QByteArray service = serviceOf(i);
        item.attributes = {
            {KeychainCodes::generic,
             service + "<<NKL>>" + QByteArray::number(i) + "<<NKL>>" + QByteArray::number(i % 17)},
            {KeychainCodes::label, "Entry " + QByteArray::number(i)},
            {KeychainCodes::account, "user" + QByteArray::number(i) + "@example.org"},
            {KeychainCodes::comment, QByteArray("Some notes about this entry.")},
            {KeychainCodes::description, QByteArray("Keyloft Application")},
            {KeychainCodes::service, service},
            {KeychainCodes::creator, QByteArray("Klft")},
            {KeychainCodes::type, QByteArray("Klf1")}};
        item.secret = SecretBytes::fromUtf8(QStringLiteral("password-%1").arg(i));
        item.created = item.modified = now;
        content.items.push_back(std::move(item));
    }
    return Bench::writeKeychainContent(path, content);
}

std::unique_ptr<KeychainItemRef> findByService(Keychain& keychain, const QByteArray& service)
{
    std::unique_ptr<KeychainSearch> search;
    std::unique_ptr<KeychainItemRef> item;
    if (keychain.searchCreateFromAttributes(KeychainCodes::genericPasswordClass,
                                            {{KeychainCodes::service, service}},
                                            search) == errSecSuccess) {
        search->copyNext(item);
    }
    return item;
}

// Open, unlock, search the program's items and read the seven attributes of each, as the
// store does at start-up. keychain stays open and unlocked for the single changes.
int loadAll(FileKeychainServices& services, const QString& path,
            std::unique_ptr<Keychain>& keychain)
{
    std::unique_ptr<KeychainSearch> search;
    if (services.open(path, keychain) != errSecSuccess ||
        keychain->searchCreateFromAttributes(
            KeychainCodes::genericPasswordClass,
            {{KeychainCodes::creator, "Klft"}, {KeychainCodes::type, "Klf1"}},
            search) != errSecSuccess) {
        return -1;
    }
    const std::vector<FourCharCode> tags{
        KeychainCodes::generic, KeychainCodes::account,      KeychainCodes::label,
        KeychainCodes::comment, KeychainCodes::creationDate, KeychainCodes::modificationDate,
        KeychainCodes::service};
    int read = 0;
    std::unique_ptr<KeychainItemRef> item;
    KeychainAttributeList attributes;
    while (search->copyNext(item) == errSecSuccess) {
        read += keychain->itemCopyContent(*item, tags, &attributes, nullptr) == errSecSuccess;
    }
    return read;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<bool()>& step)
{
    QElapsedTimer timer;
    timer.start();
    if (!step()) {
        std::fprintf(stderr, "a step failed\n");
        std::exit(1);
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

void benchmark(int count)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.keychain"));
    if (!writeKeychain(path, count)) {
        std::fprintf(stderr, "cannot write the keychain\n");
        std::exit(1);
    }
    FixedPasswordDialogs dialogs;
    FileKeychainServices services(dialogs, FileKeychainKdf::minimum());
    std::map<QString, std::vector<double>> times;
    const QString names[] = {QStringLiteral("derive key"),      QStringLiteral("load all"),
                             QStringLiteral("create one"),      QStringLiteral("modify one"),
                             QStringLiteral("read one secret"), QStringLiteral("delete one")};
    for (int run = 0; run < runs; ++run) {
        times[names[0]].push_back(timeMs([&] {
            FileKeychainHeader header;
            std::unique_ptr<FileKeychainKey> key;
            return FileKeychainKey::create(SecretBytes::fromUtf8(password),
                                           FileKeychainKdf::minimum(), header,
                                           key) == errSecSuccess;
        }));
        std::unique_ptr<Keychain> keychain;
        times[names[1]].push_back(
            timeMs([&] { return loadAll(services, path, keychain) == count; }));
        const QByteArray service = "bench-" + QByteArray::number(run);
        times[names[2]].push_back(timeMs([&] {
            return keychain->itemCreateFromContent(
                       KeychainCodes::genericPasswordClass,
                       {{KeychainCodes::label, "new"}, {KeychainCodes::service, service}},
                       SecretBytes::fromUtf8(QStringLiteral("new password"))) == errSecSuccess;
        }));
        times[names[3]].push_back(timeMs([&] {
            auto item = findByService(*keychain, serviceOf(count / 2));
            return item &&
                   keychain->itemModifyAttributesAndData(
                       *item, {{KeychainCodes::generic, "changed"}}, nullptr) == errSecSuccess;
        }));
        times[names[4]].push_back(timeMs([&] {
            auto item = findByService(*keychain, serviceOf(count / 3));
            SecretBytes secret;
            return item && keychain->itemCopyContent(*item, {}, nullptr, &secret) == errSecSuccess;
        }));
        times[names[5]].push_back(timeMs([&] {
            auto item = findByService(*keychain, service);
            return item && keychain->itemDelete(*item) == errSecSuccess;
        }));
    }
    std::printf("%6d items:", count);
    for (const QString& name : names) {
        std::printf("  %s %.2f ms", qPrintable(name), median(times[name]));
    }
    std::printf("\n");
}
} // namespace

// The cost new keychains get: about half a second is the aim.
void standardDerivation()
{
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        times.push_back(timeMs([] {
            FileKeychainHeader header;
            std::unique_ptr<FileKeychainKey> key;
            return FileKeychainKey::create(SecretBytes::fromUtf8(password),
                                           FileKeychainKdf::standard(), header,
                                           key) == errSecSuccess;
        }));
    }
    const FileKeychainKdf standard = FileKeychainKdf::standard();
    std::printf("standard key derivation (opslimit %llu, memlimit %llu MiB): %.0f ms\n",
                static_cast<unsigned long long>(standard.opsLimit),
                static_cast<unsigned long long>(standard.memLimit >> 20), median(times));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    standardDerivation();
    std::printf("median of %d runs, cheapest key derivation\n", runs);
    for (const int count : {1000, 10000}) {
        benchmark(count);
    }
    return 0;
}
