#include "BenchSupport.h"

#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/FileKeychainKey.h"
#include "store/NetKeyloft_Item.h"
#include "store/NetKeyloft_Keychain.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace Bench {

std::optional<SecretBytes> FixedPasswordDialogs::askKeychainPassword(const QString&, int)
{
    return SecretBytes::fromUtf8(password);
}

std::optional<SecretBytes> FixedPasswordDialogs::askNewKeychainPassword(const QString&)
{
    return SecretBytes::fromUtf8(password);
}

bool writeKeychainContent(const QString& path, const FileKeychainContent& content)
{
    FileKeychainHeader header;
    std::unique_ptr<FileKeychainKey> key;
    if (FileKeychainKey::create(SecretBytes::fromUtf8(password), FileKeychainKdf::minimum(), header,
                                key) != errSecSuccess) {
        return false;
    }
    const QByteArray file = key->seal(serializeFileKeychainBody(content), header);
    FileKeychainStamp stamp;
    return FileKeychainFile::writeAtomically(path, file, FileKeychainFile::Replace::Existing,
                                             stamp) == errSecSuccess;
}

bool writeProgramKeychain(const QString& path, int count)
{
    return writeKeychainContent(path, programKeychainContent(count));
}

FileKeychainContent programKeychainContent(int count)
{
    FileKeychainContent content;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        // The labels come in a shuffled order, as entries added over years would.
        auto entry = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
            QStringLiteral("Entry %1").arg((qint64(i) * 7919) % count),
            QStringLiteral("user%1").arg(i), QStringLiteral("pw-%1").arg(i),
            QStringLiteral("Notes for entry %1").arg(i), i + 1);
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
    return content;
}

ProgramKeychainFile::ProgramKeychainFile(int count)
    : path(folder.filePath(QStringLiteral("bench.keychain"))),
      written(writeProgramKeychain(path, count)), services(dialogs, FileKeychainKdf::minimum()),
      defaults(folder.filePath(QStringLiteral("bench.conf")))
{
    if (!written) {
        std::fprintf(stderr, "could not write the keychain\n");
    }
    defaults.setValue(NetKeyloft_Keychain::keychainPathKey, path);
}

int runBenchmarks(int argc, char** argv, void (*benchmark)(int count, int runs))
{
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    for (const int count : {1000, 10000}) {
        benchmark(count, runs);
    }
    return 0;
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void Timings::time(const std::string& name, const std::function<void()>& work)
{
    add(name, millisecondsOf(work));
}

void Timings::print(const char* heading) const
{
    std::printf("%s (median, ms)\n", heading);
    for (auto [name, values] : m_series) {
        std::sort(values.begin(), values.end());
        std::printf("  %-34s %9.2f\n", name.c_str(), values[values.size() / 2]);
    }
}

} // namespace Bench
