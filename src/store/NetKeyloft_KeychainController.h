#pragma once

#include "store/ItemListNotifier.h"
#include "store/NetKeyloft_Keychain.h"
#include "store/SortKey.h"

#include <QString>

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
    // user why).
    static std::unique_ptr<NetKeyloft_KeychainController>
    create(NetKeyloft_Keychain::Environment environment, ErrorPresenter presenter = {});
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

private:
    NetKeyloft_Item* itemAt(unsigned index) const;
    // Writes a changed record; when the keychain refuses, undo restores the old value.
    bool writeChange(unsigned index, ItemListNotifier::Fields fields,
                     const std::function<void()>& undo);
    void replaceOrder(std::vector<ItemPtr> items);

    std::unique_ptr<NetKeyloft_Keychain> m_keychain;
    std::unique_ptr<ItemListNotifier> m_notifier = std::make_unique<ItemListNotifier>();
    std::vector<ItemPtr> m_items;
    std::int32_t m_nextIndex = 0;
};
