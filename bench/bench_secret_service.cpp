// Measures the Secret Service backend against the running Secret Service of the
// session: loading all entries (one search, then the seven attributes the store
// reads of each item), and one change (find an item by its service attribute, then
// rewrite its attributes). Its items carry the type code "KlfB", so it never loads,
// changes or deletes a real entry; it removes its own items when done.
//
//     bench_secret_service [number of items, default 1000] [--keep]
//
// --keep leaves the items in place for other tools to time.
//
// Run it inside a private session, e.g. like tests/run-tests.sh does.
#include "platform/secretservice/SecretServiceKeychainServices.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const QByteArray creator("Klft");
const QByteArray benchType("KlfB");
const std::vector<FourCharCode> loadTags = {
    KeychainCodes::generic, KeychainCodes::account,      KeychainCodes::label,
    KeychainCodes::comment, KeychainCodes::creationDate, KeychainCodes::modificationDate,
    KeychainCodes::service};

QByteArray uuidOf(int i)
{
    return QByteArray("bench-") + QByteArray::number(i).rightJustified(6, '0');
}

KeychainAttributeList itemAttributes(int i)
{
    return {
        {KeychainCodes::generic, uuidOf(i) + "<<NKL>>" + QByteArray::number(i) + "<<NKL>>0"},
        {KeychainCodes::label, "Entry " + QByteArray::number(i)},
        {KeychainCodes::account, "user" + QByteArray::number(i)},
        {KeychainCodes::comment, "Notes of entry " + QByteArray::number(i)},
        {KeychainCodes::description, "Keyloft Application"},
        {KeychainCodes::service, uuidOf(i)},
        {KeychainCodes::creator, creator},
        {KeychainCodes::type, benchType},
    };
}

std::vector<std::unique_ptr<KeychainItemRef>> search(Keychain& keychain,
                                                     const KeychainAttributeList& attributes)
{
    std::vector<std::unique_ptr<KeychainItemRef>> items;
    std::unique_ptr<KeychainSearch> found;
    if (keychain.searchCreateFromAttributes(KeychainCodes::genericPasswordClass, attributes,
                                            found) != errSecSuccess) {
        return items;
    }
    std::unique_ptr<KeychainItemRef> item;
    while (found->copyNext(item) == errSecSuccess) {
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::unique_ptr<KeychainItemRef>> benchItems(Keychain& keychain)
{
    return search(keychain, {{KeychainCodes::creator, creator}, {KeychainCodes::type, benchType}});
}

// The store's load: one search, then the seven attributes of every item.
int load(Keychain& keychain)
{
    int loaded = 0;
    for (auto& item : benchItems(keychain)) {
        KeychainAttributeList attributes;
        if (keychain.itemCopyContent(*item, loadTags, &attributes, nullptr) == errSecSuccess) {
            ++loaded;
        }
    }
    return loaded;
}

// The store's change: find the item by its service attribute, then rewrite it.
bool change(Keychain& keychain, int i, int round)
{
    auto found = search(keychain, {{KeychainCodes::service, uuidOf(i)}});
    if (found.empty()) {
        return false;
    }
    KeychainAttributeList service;
    if (keychain.itemCopyContent(*found[0], {KeychainCodes::service}, &service, nullptr) !=
        errSecSuccess) {
        return false;
    }
    const KeychainAttributeList attributes = {
        {KeychainCodes::generic,
         uuidOf(i) + "<<NKL>>" + QByteArray::number(i) + "<<NKL>>" + QByteArray::number(round)},
        {KeychainCodes::labelIndex, "Entry " + QByteArray::number(i)},
        {KeychainCodes::account, "user" + QByteArray::number(i)},
        {KeychainCodes::comment, "Notes of entry " + QByteArray::number(i)},
        {KeychainCodes::description, "Keyloft Application"},
        {KeychainCodes::service, uuidOf(i)},
    };
    return keychain.itemModifyAttributesAndData(*found[0], attributes, nullptr) == errSecSuccess;
}

void removeBenchItems(Keychain& keychain)
{
    for (auto& item : benchItems(keychain)) {
        keychain.itemDelete(*item);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QElapsedTimer timer;
    timer.start();
    const OSStatus status = services.copyDefault(keychain);
    if (status != errSecSuccess) {
        std::fprintf(stderr, "no default keychain: status %d\n", int(status));
        return 1;
    }
    std::printf("copyDefault: %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);
    removeBenchItems(*keychain);

    timer.restart();
    const SecretBytes secret("bench-password", 14);
    for (int i = 0; i < count; ++i) {
        if (keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass, itemAttributes(i),
                                            secret) != errSecSuccess) {
            std::fprintf(stderr, "creating item %d failed\n", i);
            return 1;
        }
    }
    std::printf("create %d items: %.0f ms\n", count, double(timer.nsecsElapsed()) / 1e6);

    std::vector<double> loads;
    for (int round = 0; round < 3; ++round) {
        timer.restart();
        const int loaded = load(*keychain);
        loads.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (loaded != count) {
            std::fprintf(stderr, "loaded %d of %d items\n", loaded, count);
            return 1;
        }
    }
    std::printf("load %d items (search + 7 attributes each): median %.0f ms, first %.0f ms\n",
                count, median(loads), loads[0]);

    std::vector<double> changes;
    for (int round = 1; round <= 21; ++round) {
        timer.restart();
        if (!change(*keychain, (round * 37) % count, round)) {
            std::fprintf(stderr, "change failed\n");
            return 1;
        }
        changes.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("one change (find by svce + modify): median %.1f ms, max %.1f ms\n",
                median(changes), *std::max_element(changes.begin(), changes.end()));

    if (argc > 2 && std::strcmp(argv[2], "--keep") == 0) {
        return 0;
    }
    timer.restart();
    removeBenchItems(*keychain);
    std::printf("delete %d items: %.0f ms\n", count, double(timer.nsecsElapsed()) / 1e6);
    return 0;
}
