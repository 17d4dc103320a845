#include "store/NetKeyloft_Keychain.h"

#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "settings/PreferenceKeys.h"
#include "store/KeychainItemCodes.h"
#include "store/NetKeyloftStringUtils.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

const QString NetKeyloft_Keychain::keychainPathKey(NKLPREFS_KeychainPath_Key);
const QString NetKeyloft_Keychain::keychainPathUnset = QStringLiteral("init");

using namespace KeychainItemCodes;

NetKeyloft_Keychain::NetKeyloft_Keychain(Environment environment) : m_env(environment) {}

QString NetKeyloft_Keychain::DescriptionItemAttrData()
{
    return QStringLiteral("Keyloft Application");
}

bool NetKeyloft_Keychain::isUsable() const
{
    if (!m_keychain) {
        return false;
    }
    const OSStatus status = m_keychain->getStatus();
    return status != errSecInvalidKeychain && status != errSecNoSuchKeychain;
}

void NetKeyloft_Keychain::report(OSStatus status) const
{
    reportKeychainError(status, m_presenter,
                        m_keychain ? m_keychain->lastErrorMessage() : QString());
}

void NetKeyloft_Keychain::showLocalized(const char* key) const
{
    NetKeyloftStringUtils::toErrorMessageLocalized(QString::fromLatin1(key), m_env.dialogs);
}

// --- Choosing the keychain ---------------------------------------------------------

bool NetKeyloft_Keychain::initKeychain()
{
    m_env.services.setUserInteractionAllowed(true);
    if (!m_env.keychainPath.isEmpty()) {
        return openNamedKeychain();
    }
    if (openStoredKeychain()) {
        return true;
    }
    const OSStatus status = m_env.services.copyDefault(m_keychain);
    if (status == errSecSuccess) {
        return true;
    }
    m_keychain.reset();
    if (status > 0) {
        return false;
    }
    if (m_env.services.canCreateDefault()) {
        if (offerToCreateDefaultKeychain()) {
            return true;
        }
    } else {
        Alert alert;
        alert.message = QStringLiteral("Keyloft could not locate your default keychain.");
        alert.informativeText =
            QStringLiteral("Please select the keychain you would like to use.") +
            QLatin1Char('\n') +
            QStringLiteral("A name that does not exist yet creates a new keychain.");
        m_env.dialogs.runAlert(alert);
    }

    const std::optional<QString> chosen = m_env.dialogs.chooseKeychainFile();
    if (!chosen) {
        showLocalized("ValidKeychainNotFound");
        return false;
    }
    return openUserSelectedKeychain(*chosen);
}

// The desktop's keyring program runs but has no default keychain yet (KWallet before
// its first wallet): it can make one, asking the new keychain's password in its own
// window. Declining, or a creation that fails, leads on to a keychain file.
bool NetKeyloft_Keychain::offerToCreateDefaultKeychain()
{
    Alert alert;
    alert.message = QStringLiteral("Keyloft could not locate your default keychain.");
    alert.informativeText =
        QStringLiteral("Your keyring program has no default keychain yet. It can make one "
                       "now (it asks you for the new keychain's password), or you can select "
                       "a keychain file instead.");
    alert.buttons = {QStringLiteral("Create Default Keychain"),
                     QStringLiteral("Select a Keychain File")};
    if (m_env.dialogs.runAlert(alert) != 0) {
        return false;
    }
    const OSStatus status = m_env.services.createDefault(m_keychain);
    if (status == errSecSuccess) {
        return true;
    }
    m_keychain.reset();
    logLine(QStringLiteral("Could not create the default keychain: %1").arg(status));
    if (status != errSecUserCanceled) {
        report(status);
    }
    return false;
}

bool NetKeyloft_Keychain::openStoredKeychain()
{
    const QString path = m_env.defaults.stringForKey(keychainPathKey);
    if (path.isEmpty() || path == keychainPathUnset) {
        return false;
    }
    if (m_env.services.open(path, m_keychain) == errSecSuccess) {
        return true;
    }
    m_keychain.reset();
    return false;
}

bool NetKeyloft_Keychain::openNamedKeychain()
{
    const OSStatus status = m_env.services.open(m_env.keychainPath, m_keychain);
    if (status == errSecSuccess) {
        return true;
    }
    m_keychain.reset();
    report(status);
    return false;
}

bool NetKeyloft_Keychain::openUserSelectedKeychain(const QString& path)
{
    if (path.isEmpty()) {
        showLocalized("CouldNotOpenUserSelectedKeyChain");
        return false;
    }
    // A name that does not exist yet asks for a new keychain there, so that a user
    // without any keychain can still start.
    if (!pathIsFile(path)) {
        return createKeyloftKeychain(path) && rememberKeychainPath(path);
    }
    if (!pathIsKeychain(path)) {
        showLocalized("FileUserSelectedIsNotAValidKeychainFile");
        return false;
    }
    if (m_env.services.open(path, m_keychain) != errSecSuccess) {
        m_keychain.reset();
        showLocalized("CouldNotOpenUserSelectedKeyChain");
        return false;
    }
    return rememberKeychainPath(path);
}

bool NetKeyloft_Keychain::rememberKeychainPath(const QString& path)
{
    m_env.defaults.setValue(keychainPathKey, path);
    if (!m_env.defaults.synchronize()) {
        logLine(QStringLiteral("Could not save the keychain path to %1")
                    .arg(m_env.defaults.filePath()));
    }
    return true;
}

bool NetKeyloft_Keychain::createKeyloftKeychain(const QString& path)
{
    m_env.services.setUserInteractionAllowed(true);
    std::unique_ptr<Keychain> created;
    const OSStatus status = m_env.services.create(path, created);
    if (status == errSecUserCanceled) {
        showLocalized("ValidKeychainNotFound");
        return false;
    }
    if (status != errSecSuccess) {
        logLine(QStringLiteral("Could not create a keychain: %1").arg(status));
        showLocalized("CouldNotOpenUserSelectedKeyChain");
        return false;
    }
    m_keychain = std::move(created);
    return true;
}

bool NetKeyloft_Keychain::pathIsKeychain(const QString& path)
{
    std::unique_ptr<Keychain> keychain;
    if (m_env.services.open(path, keychain) != errSecSuccess || !keychain) {
        return false;
    }
    const OSStatus status = keychain->getStatus();
    return status != errSecInvalidKeychain && status != errSecNoSuchKeychain;
}

bool NetKeyloft_Keychain::pathIsFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool NetKeyloft_Keychain::panelShouldShowFilename(const QString& path)
{
    return keychainFileDialogShows(path);
}

std::unique_ptr<KeychainChangeHold> NetKeyloft_Keychain::holdChanges()
{
    std::unique_ptr<KeychainChangeHold> hold;
    if (!isUsable() || m_refused) {
        return hold;
    }
    // Holding needs the keychain unlocked: a refusal here is the command's refusal.
    const OSStatus status = noteRefusal(m_keychain->holdChanges(hold));
    if (status == errSecAuthFailed) {
        tell(status);
    }
    if (status != errSecSuccess) {
        hold.reset();
    }
    return hold;
}

bool NetKeyloft_Keychain::labelIsInKeychain(const QString& label)
{
    if (!isUsable() || m_refused) {
        return false;
    }
    std::unique_ptr<KeychainSearch> search;
    std::unique_ptr<KeychainItemRef> found;
    const OSStatus status =
        noteRefusal(m_keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass,
                                                           {{KeychainCodes::creator, creatorCode()},
                                                            {KeychainCodes::type, typeCode()},
                                                            {KeychainCodes::label, utf8(label)}},
                                                           search));
    return status == errSecSuccess && search && search->copyNext(found) == errSecSuccess;
}

// --- Finding, creating, changing, deleting --------------------------------------------

OSStatus NetKeyloft_Keychain::findItemByUuid(const QString& uuid,
                                             std::unique_ptr<KeychainItemRef>& found)
{
    if (uuid.isEmpty() || !isUsable()) {
        return errSecItemNotFound;
    }
    if (m_refused) {
        return errSecAuthFailed; // the user said no moments ago: not asked again
    }
    std::unique_ptr<KeychainSearch> search;
    OSStatus status = noteRefusal(m_keychain->searchCreateFromAttributes(
        KeychainCodes::genericPasswordClass, {{KeychainCodes::service, utf8(uuid)}}, search));
    if (status != errSecSuccess) {
        return status;
    }
    std::unique_ptr<KeychainItemRef> ref;
    while (search && search->copyNext(ref) == errSecSuccess && ref) {
        KeychainAttributeList attributes;
        status = noteRefusal(
            m_keychain->itemCopyContent(*ref, {KeychainCodes::service}, &attributes, nullptr));
        if (status != errSecSuccess) {
            return status;
        }
        if (attributes.size() == 1 && decode(attributes[0]) == uuid) {
            found = std::move(ref);
            return errSecSuccess;
        }
    }
    return errSecItemNotFound;
}

OSStatus NetKeyloft_Keychain::noteRefusal(OSStatus status)
{
    if (status == errSecAuthFailed && !m_refused) {
        m_refused = true;
        // A refusal holds for the rest of the command that met it. The command ends
        // when control returns to the event loop it runs from, not to the loop of an
        // alert it shows on the way: just when a deferred deletion happens.
        auto* commandEnd = new QObject(&m_commandScope);
        QObject::connect(commandEnd, &QObject::destroyed, &m_commandScope, [this] {
            m_refused = false;
            m_refusalTold = false;
        });
        commandEnd->deleteLater();
    }
    return status;
}

void NetKeyloft_Keychain::tell(OSStatus status)
{
    // One refusal is one message, however many steps of the command it stopped.
    if (status == errSecAuthFailed) {
        if (m_refusalTold) {
            return;
        }
        m_refusalTold = true;
    }
    report(status);
}

bool NetKeyloft_Keychain::succeeded(OSStatus status)
{
    // An entry whose item is gone fails without a message.
    if (status != errSecSuccess && status != errSecItemNotFound) {
        tell(status);
    }
    return status == errSecSuccess;
}

bool NetKeyloft_Keychain::addToKeychainItem(const NetKeyloft_Item* item)
{
    if (item == nullptr || !item->password() || !isUsable() || m_refused) {
        return false;
    }
    using namespace KeychainCodes;
    const KeychainAttributeList attributes{
        {generic, utf8(item->encodedAttributes())},
        {label, utf8(item->label())},
        {account, utf8(item->userName())},
        {comment, utf8(item->comments())},
        {description, utf8(DescriptionItemAttrData())},
        {service, utf8(item->uuid())},
        {creator, creatorCode()},
        {type, typeCode()},
    };
    const SecretBytes password = SecretBytes::fromUtf8(*item->password());
    const OSStatus status =
        noteRefusal(m_keychain->itemCreateFromContent(genericPasswordClass, attributes, password));
    if (status == errSecSuccess) {
        return true;
    }
    logLine(QStringLiteral("Error creating new item in system keychain: %1 for label:%2")
                .arg(status)
                .arg(decode(attributes[1])));
    tell(status);
    return false;
}

bool NetKeyloft_Keychain::modifyKeychainItem(const NetKeyloft_Item* item, bool modifyPassword)
{
    if (item == nullptr) {
        return false;
    }
    using namespace KeychainCodes;
    const KeychainAttributeList attributes{
        {generic, utf8(item->encodedAttributes())},
        {labelIndex, utf8(item->label())},
        {account, utf8(item->userName())},
        {comment, utf8(item->comments())},
        {description, utf8(DescriptionItemAttrData())},
        {service, utf8(item->uuid())},
    };
    if (!modifyPassword) {
        return modifyItem(item, attributes, nullptr);
    }
    // A record read from the keychain has no password; writing it would erase the
    // stored one, so an absent password is refused rather than stored as empty.
    if (!item->password()) {
        return false;
    }
    const SecretBytes password = SecretBytes::fromUtf8(*item->password());
    return modifyItem(item, attributes, &password);
}

bool NetKeyloft_Keychain::modifyKeychainItemAttributes(const NetKeyloft_Item* item)
{
    if (item == nullptr) {
        return false;
    }
    return modifyItem(item, {{KeychainCodes::generic, utf8(item->encodedAttributes())}}, nullptr);
}

bool NetKeyloft_Keychain::modifyItem(const NetKeyloft_Item* item,
                                     const KeychainAttributeList& attributes,
                                     const SecretBytes* password)
{
    if (!isUsable() || item->uuid().isEmpty()) {
        return false;
    }
    std::unique_ptr<KeychainItemRef> ref;
    OSStatus status = findItemByUuid(item->uuid(), ref);
    if (status == errSecSuccess) {
        status = noteRefusal(m_keychain->itemModifyAttributesAndData(*ref, attributes, password));
    }
    return succeeded(status);
}

bool NetKeyloft_Keychain::removeItemFromKeychain(const NetKeyloft_Item* item)
{
    if (item == nullptr || item->uuid().isEmpty() || !isUsable()) {
        return false;
    }
    std::unique_ptr<KeychainItemRef> ref;
    OSStatus status = findItemByUuid(item->uuid(), ref);
    if (status == errSecSuccess) {
        status = noteRefusal(m_keychain->itemDelete(*ref));
    }
    return succeeded(status);
}

QString NetKeyloft_Keychain::passwordForItem(const NetKeyloft_Item* item)
{
    const QString empty(QLatin1String(""));
    if (item == nullptr || item->uuid().isEmpty() || !isUsable()) {
        return empty;
    }
    std::unique_ptr<KeychainItemRef> ref;
    OSStatus status = findItemByUuid(item->uuid(), ref);
    SecretBytes secret;
    if (status == errSecSuccess) {
        status = noteRefusal(m_keychain->itemCopyContent(*ref, {}, nullptr, &secret));
    }
    if (status != errSecSuccess) {
        tell(status);
        return empty;
    }
    // The password ends at its first NUL byte.
    const std::size_t length =
        std::size_t(std::find(secret.data(), secret.data() + secret.size(), '\0') - secret.data());
    return NetKeyloftStringUtils::stringWithData(secret.data(), length);
}

bool NetKeyloft_Keychain::addOneToCountUsedForItem(NetKeyloft_Item* item)
{
    if (item == nullptr) {
        return false;
    }
    item->setCountUsedPlus1();
    return modifyKeychainItemAttributes(item);
}

// --- Locking ----------------------------------------------------------------------------

bool NetKeyloft_Keychain::isLockable() const
{
    return m_keychain && m_keychain->isLockable();
}

bool NetKeyloft_Keychain::lockKeychain()
{
    return isLockable() && m_keychain->lock() == errSecSuccess;
}

bool NetKeyloft_Keychain::unlockKeychain()
{
    if (!m_keychain) {
        return false;
    }
    // A refusal moments ago does not count: the user asked to unlock now.
    m_refused = false;
    const OSStatus status = noteRefusal(m_keychain->unlock());
    if (status != errSecSuccess) {
        tell(status);
    }
    return status == errSecSuccess;
}
