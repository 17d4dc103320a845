#pragma once

#include "store/ItemListNotifier.h"
#include "store/NetKeyloft_Keychain.h"
#include "store/SortKey.h"

#include <QHash>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The ordered, in-memory list of all entries and the one way the user interface
// reads and changes them. Every change is written to the keychain by exactly one
// store call before the operation returns; a change the keychain refuses is undone
// in memory, so the list never shows a value the keychain does not hold.
class NetKeyloft_KeychainController {
public:
    // Opens the keychain and reads every entry, showing keychain errors through
    // presenter; null when no keychain could be opened (the store has then told the
    // user why). beforeReading, when given, runs once the keychain is open and before
    // the entries are read (to merge copies left by a sync program, say).
    static std::unique_ptr<NetKeyloft_KeychainController>
    create(NetKeyloft_Keychain::Environment environment, ErrorPresenter presenter = {},
           const std::function<void(Keychain&)>& beforeReading = {});
    // The list over a store whose keychain is already open.
    explicit NetKeyloft_KeychainController(std::unique_ptr<NetKeyloft_Keychain> keychain);

    NetKeyloft_Keychain& keychain() { return *m_keychain; }
    // Tells the views of every change of the list made through it.
    ItemListNotifier& notifier() const { return *m_notifier; }

    // Hands out a fresh creation sequence number.
    std::int32_t nextIndex();
    void setNextIndex(std::int32_t nextIndex) { m_nextIndex = nextIndex; }
    // Sets the sequence to the largest index among the records.
    void initNextIndex();

    unsigned countOfKeychainItems() const { return unsigned(m_items.size()); }
    // The live list; do not hold it across an operation that sorts or changes it.
    const std::vector<ItemPtr>& keychainItems() const { return m_items; }
    void setKeychainItems(std::vector<ItemPtr> items);
    ItemPtr keychainItemAtIndex(std::int32_t index) const;
    QString labelInKeychainItemsAtIndex(unsigned index) const;
    int indexInKeychainItemsForItem(const NetKeyloft_Item* item) const;
    QString passwordForKeychainItem(const NetKeyloft_Item* item);
    QString passwordForKeychainItemAtIndex(std::int32_t index);
    bool labelAlreadyExistsInKeychainItems(const QString& label) const;

    // Fields of an entry given together; an absent one is left as it is (for a new
    // entry: its placeholder text).
    struct ItemFields {
        std::optional<QString> userName;
        std::optional<QString> password;
        std::optional<QString> comments;
    };

    // Adds an entry, its label made unique with labelForDuplicateLabel.
    bool newKeyChainItemWithLabel(const QString& label);
    // The same with the given fields, stored by one keychain write. The new entry is the
    // last of the list.
    bool newKeyChainItemWithLabel(const QString& label, const ItemFields& fields);
    // Sets the given fields of the entry at index by one keychain write; when the
    // keychain refuses, none of them changes.
    bool setFieldsForKeychainItemAtIndex(const ItemFields& fields, unsigned index);
    static QString labelForDuplicateLabel(const QString& label);
    // Refused (false) when another entry already bears the label.
    bool renameKeyChainItemAtIndexWithLabel(unsigned index, const QString& label);
    bool setUserNameForKeychainItemAtIndex(const QString& userName, unsigned index);
    bool setPasswordForKeychainItemAtIndex(const QString& password, unsigned index);
    bool setCommentsForKeychainItemAtIndex(const QString& comments, unsigned index);
    bool deleteKeychainItem(const NetKeyloft_Item* item);
    bool addOneToCountUsedForItem(NetKeyloft_Item* item);

    // Puts the entries in the key's order; nothing is written to the keychain.
    void sortKeychainItems(SortKey key, bool ascending);
    // A sorted copy; the list keeps its order.
    std::vector<ItemPtr> getSortedKeychainItems(SortKey key, bool ascending) const;

    // Wipes every password the records hold and forgets the keychain's key; the labels
    // stay. False where the keychain is not one this program locks.
    bool lockKeychain();
    bool moveItemAtIndexToIndex(std::int32_t from, std::int32_t to);
    void resetIndexes();

    // Watches the keychain for changes made elsewhere (keyloft-cli, another Keyloft on a
    // shared file, another program on the Secret Service) and merges them into the list
    // a moment after they happen, telling the views as for changes made here. Without
    // it, the list shows the keychain as it was read at start. beforeMerging, when given,
    // runs before each of those reads (the application merges sync conflict copies there).
    void followChangesMadeElsewhere(std::function<void()> beforeMerging = {});
    // Reads the keychain again without asking the user anything and brings the list to
    // what it holds, entry by entry (by UUID): entries gone are removed, changed ones
    // take the stored values in place, new ones are appended; the order of the others
    // stays. False, with the list unchanged, when the keychain could not be read.
    bool mergeChangesMadeElsewhere();

private:
    NetKeyloft_Item* itemAt(unsigned index) const;
    // Writes a changed record; when the keychain refuses, undo restores the old value.
    bool writeChange(unsigned index, ItemListNotifier::Fields fields,
                     const std::function<void()>& undo);
    void replaceOrder(std::vector<ItemPtr> items);
    void removeEntriesNotIn(const QHash<QString, std::size_t>& stored);
    // Marks in held the stored entries that the list holds.
    void updateEntriesFrom(const std::vector<ItemPtr>& stored,
                           const QHash<QString, std::size_t>& positions, std::vector<bool>& held);
    void appendEntriesNotHeld(const std::vector<ItemPtr>& stored, const std::vector<bool>& held);

    std::unique_ptr<NetKeyloft_Keychain> m_keychain;
    // Destroyed before the keychain it watches.
    std::unique_ptr<KeychainWatcher> m_watcher;
    // Gathers the watcher's reports of a burst of changes into one merge.
    QTimer m_mergeTimer;
    std::function<void()> m_beforeMerging;
    std::unique_ptr<ItemListNotifier> m_notifier = std::make_unique<ItemListNotifier>();
    std::vector<ItemPtr> m_items;
    std::int32_t m_nextIndex = 0;
};
