// Times merging two keychain files of 1,000 and 10,000 entries, as a conflict copy left by
// a sync program is merged: the copy has a tenth of the entries changed, 500 entries
// added and 100 deleted; the keychain has 500 entries of its own added. Prints the median
// time of the merge (reading the copy, merging, writing the keychain) without the key
// derivation for the copy, and that derivation's time at the cheapest cost.
#include "BenchSupport.h"

#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/FileKeychainMerge.h"

#include <cstdio>

namespace {
using namespace Bench;

// Appends count new entries, numbered after the content's last.
void addNewEntries(FileKeychainContent& content, int count)
{
    for (FileKeychainItem& item : programKeychainContent(count).items) {
        item.id = content.nextId++;
        content.items.push_back(std::move(item));
    }
}

// The copy of ours that another machine changed: every tenth entry, 500 added, 100 deleted.
FileKeychainContent changedElsewhere(const FileKeychainContent& ours)
{
    FileKeychainContent theirs = ours;
    for (std::size_t i = 0; i < theirs.items.size(); i += 10) {
        FileKeychainItem& item = theirs.items[i];
        item.secret = SecretBytes::fromUtf8(QStringLiteral("changed-%1").arg(i));
        item.modified += 60;
    }
    for (std::size_t i = 0; i < 100; ++i) {
        const auto at = theirs.items.begin() + qsizetype(5 + i * 7);
        recordFileKeychainDeletion(theirs, *at, at->modified + 120);
        theirs.items.erase(at);
    }
    addNewEntries(theirs, 500);
    return theirs;
}

void benchmark(int count, int runs)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.keychain"));
    const QString copy = folder.filePath(QStringLiteral("bench.sync-conflict-copy.keychain"));
    FixedPasswordDialogs dialogs;
    FileKeychainServices services(dialogs, FileKeychainKdf::minimum());
    Timings timings;
    for (int run = 0; run < runs; ++run) {
        FileKeychainContent ours = programKeychainContent(count);
        const FileKeychainContent theirs = changedElsewhere(ours);
        addNewEntries(ours, 500);
        // Each file is written with a salt of its own, so the copy needs a derivation.
        if (!writeKeychainContent(path, ours) || !writeKeychainContent(copy, theirs)) {
            std::fprintf(stderr, "could not write the keychains\n");
            std::exit(1);
        }
        std::unique_ptr<Keychain> keychain;
        std::unique_ptr<KeychainSearch> search;
        if (services.open(path, keychain) != errSecSuccess ||
            keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass, {}, search) !=
                errSecSuccess) {
            std::fprintf(stderr, "could not open the keychain\n");
            std::exit(1);
        }
        const double derivation = millisecondsOf([] {
            FileKeychainHeader header;
            std::unique_ptr<FileKeychainKey> key;
            FileKeychainKey::create(SecretBytes::fromUtf8(password), FileKeychainKdf::minimum(),
                                    header, key);
        });
        KeychainMergeSummary summary;
        const double merge = millisecondsOf([&] {
            if (keychain->mergeKeychainFile(copy, true, summary) != errSecSuccess) {
                std::fprintf(stderr, "the merge failed\n");
                std::exit(1);
            }
        });
        if (run == 0) {
            std::printf("%d entries: the merge added %d, changed %d and deleted %d\n", count,
                        summary.added, summary.changed, summary.deleted);
        }
        timings.add("key derivation", derivation);
        timings.add("merge beyond the derivation", merge - derivation);
    }
    const QByteArray heading =
        QByteArray::number(count) + " entries, median of " + QByteArray::number(runs) + " runs";
    timings.print(heading.constData());
}
} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, &benchmark);
}
