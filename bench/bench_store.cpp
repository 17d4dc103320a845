// Times the item list over keychain files of 1,000 and 10,000 entries: open and load
// everything, add, rename, read a password, the four sorts, delete. Prints the median
// of several runs in milliseconds. Key derivation runs at its cheapest cost and is
// timed on its own, so the figures show the store's own work.

#include "BenchSupport.h"

#include "platform/UserDefaults.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/FileKeychainServices.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

using namespace Bench;

void benchmark(int count, int runs)
{
    ProgramKeychainFile keychain(count);
    if (!keychain.written) {
        return;
    }

    Timings times;
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<NetKeyloft_KeychainController> list;
        times.time("key derivation", [&] {
            QByteArray bytes;
            FileKeychainStamp stamp;
            FileKeychainFile::read(keychain.path, bytes, stamp, FileKeychainHeader::size);
            std::unique_ptr<FileKeychainKey> key;
            FileKeychainKey::derive(SecretBytes::fromUtf8(password),
                                    *FileKeychainHeader::parse(bytes), key);
        });
        times.time("open + load all", [&] {
            list = NetKeyloft_KeychainController::create(
                {keychain.services, keychain.defaults, keychain.dialogs});
        });
        if (!list || list->countOfKeychainItems() != unsigned(count)) {
            std::fprintf(stderr, "loading failed\n");
            return;
        }
        times.time("add one", [&] { list->newKeyChainItemWithLabel(QStringLiteral("Untitled")); });
        const unsigned last = list->countOfKeychainItems() - 1;
        times.time("rename one", [&] {
            list->renameKeyChainItemAtIndexWithLabel(last, QStringLiteral("Renamed %1").arg(run));
        });
        times.time("read one password",
                   [&] { list->passwordForKeychainItemAtIndex(int(count / 2)); });
        times.time("sort by index", [&] { list->sortKeychainItems(SortKey::Index, false); });
        times.time("sort by label", [&] { list->sortKeychainItems(SortKey::Label, true); });
        times.time("sort by date created",
                   [&] { list->sortKeychainItems(SortKey::DateCreated, true); });
        times.time("sort by count used",
                   [&] { list->sortKeychainItems(SortKey::CountUsed, false); });
        times.time("delete one", [&] {
            list->sortKeychainItems(SortKey::Index, true);
            list->deleteKeychainItem(list->keychainItems().back().get());
        });
    }
    times.print(qPrintable(QStringLiteral("%1 entries, %2 runs").arg(count).arg(runs)));
}

} // namespace

int main(int argc, char** argv)
{
    return Bench::runBenchmarks(argc, argv, &benchmark);
}
