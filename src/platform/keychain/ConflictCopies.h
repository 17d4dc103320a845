#pragma once

#include "platform/keychain/KeychainServices.h"

#include <QSet>
#include <QString>
#include <QStringList>

// What a look for conflict copies found and did.
struct ConflictCopyReport {
    // What the copies merged brought into the keychain.
    KeychainMergeSummary merged;
    // How many copies were merged and moved to the trash.
    int copiesMerged = 0;
    // Copies that do not open with the keychain's key (another password, damaged),
    // each named once in the life of the merger.
    QStringList unreadable;
    // The first failure of the keychain itself (a write that failed); the copies it
    // concerned stay where they are.
    OSStatus status = errSecSuccess;
};

// Finds the conflict copies that sync programs write beside a keychain file when two
// machines changed it between two syncs, and merges each into the keychain:
//   Syncthing  NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.keychain
//   Nextcloud  NAME (conflicted copy YYYY-MM-DD HHMMSS).keychain
//   Dropbox    NAME (HOST's conflicted copy YYYY-MM-DD).keychain
// A copy that opens with the keychain's key is merged and then moved to the desktop's
// trash (removed where there is no trash: its entries are in the keychain by then). A
// copy that does not open is left alone. Keep one merger for the life of the program,
// so that it names such a copy only once.
class ConflictCopyMerger {
public:
    // The names of the conflict copies of the keychain file at path in its folder, in
    // order, from one listing of the folder; no file is read.
    static QStringList conflictCopies(const QString& keychainFilePath);

    // Merges the conflict copies of keychain, a keychain kept in a file; nothing for
    // other keychains.
    ConflictCopyReport mergeConflictCopies(Keychain& keychain);

private:
    QSet<QString> m_reported;
};
