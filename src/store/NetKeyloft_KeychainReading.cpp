// Reading the store's entries from the keychain: all of them at load and after changes
// made elsewhere, one again after a refused write, and the keychain's time stamps.

#include "store/NetKeyloft_Keychain.h"

#include "store/KeychainItemCodes.h"

#include <QTimeZone>

#include <algorithm>
#include <utility>

using namespace KeychainItemCodes;

namespace {

// The date of a time stamp "YYYYMMDDhhmmss..." whose characters charAt gives (as numbers);
// null when a digit is missing or the date or time is impossible. The keychain records
// UTC. Read by hand: loading thousands of entries reads two each.
template <typename CharAt> QDateTime utcDateOfDigits(CharAt charAt)
{
    for (qsizetype i = 0; i < 14; ++i) {
        const char16_t c = charAt(i);
        // Checked apart from the numbers: a year is valid whatever its value, so no
        // value could stand for a missing digit.
        if (c < u'0' || c > u'9') {
            return QDateTime();
        }
    }
    const auto number = [&charAt](qsizetype from, qsizetype length) {
        int value = 0;
        for (qsizetype i = from; i < from + length; ++i) {
            value = value * 10 + (charAt(i) - u'0');
        }
        return value;
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2));
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    // Made once: making the zone costs more than the rest of reading a stamp.
    static const QTimeZone utc = QTimeZone::utc();
    return QDateTime(date, time, utc);
}

// dateWithZuluDate of the stamp's text, read from its bytes when they are plain ASCII
// (then each byte is one character of the text).
QDateTime dateOfStamp(const QByteArray& stamp)
{
    const bool ascii = std::all_of(stamp.cbegin(), stamp.cend(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        return NetKeyloft_Keychain::dateWithZuluDate(decode({0, stamp}));
    }
    if (stamp.size() != 16) {
        return QDateTime();
    }
    return utcDateOfDigits([&stamp](qsizetype i) { return char16_t(stamp.at(i)); });
}

// A record of the attributes read in the order of loadTags(); it has no password.
NetKeyloft_Item itemOfAttributes(const KeychainAttributeList& attributes)
{
    return NetKeyloft_Item::initDeserialize(
        decode(attributes[2]), decode(attributes[1]), decode(attributes[3]), decode(attributes[6]),
        decode(attributes[0]), dateOfStamp(attributes[5].data), dateOfStamp(attributes[4].data));
}

} // namespace

// --- Loading --------------------------------------------------------------------------

std::vector<ItemPtr> NetKeyloft_Keychain::getAllItemsInKeychain()
{
    std::vector<ItemPtr> items;
    if (!m_keychain) {
        return items;
    }
    bool complete = true;
    const OSStatus status = noteRefusal(readAllItems(items, complete));
    // A keychain that refused to open (a wrong or refused password) would otherwise
    // look empty; the user is told why.
    if (status != errSecSuccess && status != errSecItemNotFound) {
        tell(status);
    }
    return items;
}

std::optional<std::vector<ItemPtr>> NetKeyloft_Keychain::readItemsWithoutAsking()
{
    std::vector<ItemPtr> items;
    bool complete = true;
    m_env.services.setUserInteractionAllowed(false);
    const OSStatus status = readAllItems(items, complete);
    m_env.services.setUserInteractionAllowed(true);
    if ((status != errSecSuccess && status != errSecItemNotFound) || !complete) {
        return std::nullopt;
    }
    return items;
}

std::unique_ptr<KeychainWatcher> NetKeyloft_Keychain::watch()
{
    return m_keychain ? m_keychain->watch() : nullptr;
}

// Every item of ours into items; the status of the search. complete turns false when an
// item found could not be read (items holds those that could).
OSStatus NetKeyloft_Keychain::readAllItems(std::vector<ItemPtr>& items, bool& complete)
{
    if (!m_keychain) {
        return errSecNoSuchKeychain;
    }
    std::unique_ptr<KeychainSearch> search;
    const KeychainAttributeList criteria{{KeychainCodes::creator, creatorCode()},
                                         {KeychainCodes::type, typeCode()}};
    const OSStatus status = m_keychain->searchCreateFromAttributes(
        KeychainCodes::genericPasswordClass, criteria, search);
    if (status != errSecSuccess || !search) {
        return status == errSecSuccess ? OSStatus(errSecItemNotFound) : status;
    }
    std::unique_ptr<KeychainItemRef> ref;
    // One list serves every item, so its memory is not asked for again each time.
    KeychainAttributeList attributes;
    while (search->copyNext(ref) == errSecSuccess && ref) {
        attributes.clear();
        if (m_keychain->itemCopyContent(*ref, loadTags(), &attributes, nullptr) != errSecSuccess ||
            attributes.size() != loadTags().size()) {
            complete = false;
            continue;
        }
        items.push_back(std::make_shared<NetKeyloft_Item>(itemOfAttributes(attributes)));
    }
    return status;
}

bool NetKeyloft_Keychain::reloadItem(NetKeyloft_Item& item)
{
    // Only what can be read without asking: a keychain that is open is read even after
    // a refusal (a service may refuse one call and allow the next), a locked one is not
    // unlocked again.
    const bool refused = std::exchange(m_refused, false);
    m_env.services.setUserInteractionAllowed(false);
    std::unique_ptr<KeychainItemRef> ref;
    KeychainAttributeList attributes;
    const bool read =
        findItemByUuid(item.uuid(), ref) == errSecSuccess &&
        m_keychain->itemCopyContent(*ref, loadTags(), &attributes, nullptr) == errSecSuccess &&
        attributes.size() == loadTags().size();
    m_env.services.setUserInteractionAllowed(true);
    m_refused = m_refused || refused;
    if (!read) {
        return false;
    }
    // The position in the list is the list's own, and the password is not read
    // here: both are kept.
    const std::int32_t index = item.index();
    const std::optional<QString> password = item.password();
    item = itemOfAttributes(attributes);
    item.setIndex(index);
    item.setPassword(password);
    return true;
}

QDateTime NetKeyloft_Keychain::dateWithZuluDate(const QString& zuluDate)
{
    // "YYYYMMDDhhmmss", then "Z" and a NUL that carry nothing further.
    if (zuluDate.size() != 16) {
        return QDateTime();
    }
    return utcDateOfDigits([&zuluDate](qsizetype i) { return zuluDate.at(i).unicode(); });
}
