#pragma once

#include "platform/keychain/KeychainServices.h"

#include <memory>

// What went through a CountingKeychain: writes, and unlocks the user refused.
struct Counts {
    int writes = 0;
    int refusals = 0;
};

// A keychain that passes everything on to another and counts what goes through it.
class CountingKeychain final : public Keychain {
public:
    CountingKeychain(std::unique_ptr<Keychain> inner, Counts& counts)
        : m_inner(std::move(inner)), m_counts(counts)
    {}
    OSStatus getStatus() override { return m_inner->getStatus(); }
    OSStatus searchCreateFromAttributes(FourCharCode itemClass,
                                        const KeychainAttributeList& attributes,
                                        std::unique_ptr<KeychainSearch>& search) override
    {
        return counted(m_inner->searchCreateFromAttributes(itemClass, attributes, search));
    }
    OSStatus itemCopyContent(KeychainItemRef& item, const std::vector<FourCharCode>& tags,
                             KeychainAttributeList* attributes, SecretBytes* secret) override
    {
        return counted(m_inner->itemCopyContent(item, tags, attributes, secret));
    }
    OSStatus itemCreateFromContent(FourCharCode itemClass, const KeychainAttributeList& attributes,
                                   const SecretBytes& secret) override
    {
        ++m_counts.writes;
        return counted(m_inner->itemCreateFromContent(itemClass, attributes, secret));
    }
    OSStatus itemModifyAttributesAndData(KeychainItemRef& item,
                                         const KeychainAttributeList& attributes,
                                         const SecretBytes* secret) override
    {
        ++m_counts.writes;
        return counted(m_inner->itemModifyAttributesAndData(item, attributes, secret));
    }
    OSStatus itemDelete(KeychainItemRef& item) override
    {
        ++m_counts.writes;
        return counted(m_inner->itemDelete(item));
    }

private:
    OSStatus counted(OSStatus status)
    {
        m_counts.refusals += status == errSecAuthFailed ? 1 : 0;
        return status;
    }
    std::unique_ptr<Keychain> m_inner;
    Counts& m_counts;
};

// Services whose keychains are CountingKeychains over those of other services.
class CountingServices final : public KeychainServices, public Counts {
public:
    explicit CountingServices(KeychainServices& inner) : m_inner(inner) {}
    void setUserInteractionAllowed(bool allowed) override
    {
        m_inner.setUserInteractionAllowed(allowed);
    }
    OSStatus open(const QString& path, std::unique_ptr<Keychain>& keychain) override
    {
        return wrap(m_inner.open(path, keychain), keychain);
    }
    OSStatus copyDefault(std::unique_ptr<Keychain>& keychain) override
    {
        return wrap(m_inner.copyDefault(keychain), keychain);
    }
    OSStatus create(const QString& path, std::unique_ptr<Keychain>& keychain) override
    {
        return wrap(m_inner.create(path, keychain), keychain);
    }

private:
    OSStatus wrap(OSStatus status, std::unique_ptr<Keychain>& keychain)
    {
        if (keychain) {
            keychain = std::make_unique<CountingKeychain>(std::move(keychain), *this);
        }
        return status;
    }
    KeychainServices& m_inner;
};
