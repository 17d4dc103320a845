#pragma once

#include "platform/keychain/KeychainServices.h"
#include "platform/secretservice/SecretServiceSession.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _GHashTable GHashTable;

class SecretServiceItemRef;

// A collection of the Secret Service (the user's default one) as a keychain. Items
// are laid out as SecretServiceItemLayout describes; a locked collection is unlocked
// through the service's own prompt when an operation needs its contents.
class SecretServiceKeychain final : public Keychain {
public:
    SecretServiceKeychain(std::shared_ptr<SecretServiceSession> session,
                          GObjectPtr<SecretCollection> collection);
    ~SecretServiceKeychain() override;

    OSStatus getStatus() override;
    OSStatus searchCreateFromAttributes(FourCharCode itemClass,
                                        const KeychainAttributeList& attributes,
                                        std::unique_ptr<KeychainSearch>& search) override;
    OSStatus itemCopyContent(KeychainItemRef& item, const std::vector<FourCharCode>& tags,
                             KeychainAttributeList* attributes, SecretBytes* secret) override;
    OSStatus itemCreateFromContent(FourCharCode itemClass, const KeychainAttributeList& attributes,
                                   const SecretBytes& secret) override;
    OSStatus itemModifyAttributesAndData(KeychainItemRef& item,
                                         const KeychainAttributeList& attributes,
                                         const SecretBytes* secret) override;
    OSStatus itemDelete(KeychainItemRef& item) override;
    QString lastErrorMessage() const override;
    // Follows the collection's signals of created, deleted and changed items. While the
    // watcher lives, searches take the properties of items the signals have not reported
    // from what was read before, so that reading the whole collection again after one
    // change costs one search and the reads of the items that changed.
    std::unique_ptr<KeychainWatcher> watch() override;

private:
    OSStatus readLocked(bool& locked);
    OSStatus ensureUnlocked();
    OSStatus searchPaths(GHashTable* attributes, std::vector<std::string>& paths);
    OSStatus loadItems(GHashTable* attributes, const std::vector<std::string>& paths,
                       std::vector<std::unique_ptr<SecretServiceItemRef>>& items);
    OSStatus confirmDeleted(GHashTable* attributes,
                            const std::vector<std::unique_ptr<SecretServiceItemRef>>& loaded);
    OSStatus itemOf(KeychainItemRef& ref, SecretServiceItemRef*& item);
    OSStatus refresh(SecretServiceItemRef& item);
    OSStatus objectOf(SecretServiceItemRef& item, SecretItem*& object);
    OSStatus loadSecret(SecretServiceItemRef& item, SecretBytes& secret);
    OSStatus setAttributes(SecretServiceItemRef& item, const KeychainAttributeList& attributes);
    OSStatus setLabel(SecretServiceItemRef& item, const QByteArray& label);
    OSStatus setSecret(SecretServiceItemRef& item, const SecretBytes& secret);
    void removeHalfCreated(GHashTable* attributes);
    const char* collectionPath() const;

    std::shared_ptr<SecretServiceSession> m_session;
    GObjectPtr<SecretCollection> m_collection;
    // The properties of items as last read, by object path, kept while watched.
    struct PropertyCache {
        bool active = false;
        std::map<std::string, GVariantPtr> properties;
    };
    PropertyCache m_cache;
};
