#include "store/NetKeyloft_KeychainController.h"

#include <QCollator>

#include <algorithm>
#include <limits>

const QString NetKeyloft_KeychainController::indexKey = QStringLiteral("index");
const QString NetKeyloft_KeychainController::labelKey = QStringLiteral("label");
const QString NetKeyloft_KeychainController::dateCreatedKey = QStringLiteral("dateCreated");
const QString NetKeyloft_KeychainController::countUsedKey = QStringLiteral("countUsed");

namespace {

// Gives item the fields that are present.
void applyFields(NetKeyloft_Item& item, const NetKeyloft_KeychainController::ItemFields& fields)
{
    if (fields.userName) {
        item.setUserName(*fields.userName);
    }
    if (fields.password) {
        item.setPassword(*fields.password);
    }
    if (fields.comments) {
        item.setComments(*fields.comments);
    }
}

// Stable sort in either direction: equal keys keep their relative order both ways.
template <typename Element, typename Less>
void stableSort(std::vector<Element>& elements, bool ascending, Less less)
{
    if (ascending) {
        std::stable_sort(elements.begin(), elements.end(), less);
    } else {
        std::stable_sort(elements.begin(), elements.end(),
                         [&less](const Element& a, const Element& b) { return less(b, a); });
    }
}

// The records sorted by a key that is computed once per record, not once per comparison.
template <typename KeyOf, typename Less>
std::vector<ItemPtr> sortedByKey(const std::vector<ItemPtr>& items, bool ascending, KeyOf keyOf,
                                 Less less)
{
    using Key = std::decay_t<std::invoke_result_t<KeyOf, const NetKeyloft_Item&>>;
    using Keyed = std::pair<Key, ItemPtr>;
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (const ItemPtr& item : items) {
        keyed.emplace_back(keyOf(*item), item);
    }
    stableSort(keyed, ascending,
               [&less](const Keyed& a, const Keyed& b) { return less(a.first, b.first); });
    std::vector<ItemPtr> sorted;
    sorted.reserve(keyed.size());
    for (Keyed& entry : keyed) {
        sorted.push_back(std::move(entry.second));
    }
    return sorted;
}

// Creation dates as numbers; a null date (one that could not be read) comes first.
qint64 dateKey(const NetKeyloft_Item& item)
{
    const QDateTime& date = item.dateCreated();
    return date.isNull() ? std::numeric_limits<qint64>::min() : date.toMSecsSinceEpoch();
}

} // namespace

std::unique_ptr<NetKeyloft_KeychainController>
NetKeyloft_KeychainController::create(NetKeyloft_Keychain::Environment environment,
                                      ErrorPresenter presenter)
{
    auto keychain = std::make_unique<NetKeyloft_Keychain>(environment);
    keychain->setErrorPresenter(std::move(presenter));
    if (!keychain->initKeychain()) {
        return nullptr;
    }
    return std::make_unique<NetKeyloft_KeychainController>(std::move(keychain));
}

NetKeyloft_KeychainController::NetKeyloft_KeychainController(
    std::unique_ptr<NetKeyloft_Keychain> keychain)
    : m_keychain(std::move(keychain))
{
    m_items = m_keychain->getAllItemsInKeychain();
    if (!m_items.empty()) {
        initNextIndex();
    }
}

std::int32_t NetKeyloft_KeychainController::nextIndex()
{
    m_nextIndex = std::int32_t(std::uint32_t(m_nextIndex) + 1U);
    return m_nextIndex;
}

void NetKeyloft_KeychainController::initNextIndex()
{
    const auto highest =
        std::max_element(m_items.begin(), m_items.end(), [](const ItemPtr& a, const ItemPtr& b) {
            return a->index() < b->index();
        });
    if (highest != m_items.end()) {
        m_nextIndex = (*highest)->index();
    }
}

// --- Reading ----------------------------------------------------------------------------

NetKeyloft_Item* NetKeyloft_KeychainController::itemAt(unsigned index) const
{
    return index < m_items.size() ? m_items[index].get() : nullptr;
}

ItemPtr NetKeyloft_KeychainController::keychainItemAtIndex(std::int32_t index) const
{
    if (index < 0 || std::size_t(index) >= m_items.size()) {
        return nullptr;
    }
    return m_items[std::size_t(index)];
}

QString NetKeyloft_KeychainController::labelInKeychainItemsAtIndex(unsigned index) const
{
    const NetKeyloft_Item* item = itemAt(index);
    return item ? item->label() : QString(QLatin1String(""));
}

int NetKeyloft_KeychainController::indexInKeychainItemsForItem(const NetKeyloft_Item* item) const
{
    if (item == nullptr) {
        return -1;
    }
    const auto found = std::find_if(m_items.begin(), m_items.end(), [item](const ItemPtr& record) {
        return record->isEqualToUuid(item->uuid());
    });
    return found == m_items.end() ? -1 : int(found - m_items.begin());
}

QString NetKeyloft_KeychainController::passwordForKeychainItem(const NetKeyloft_Item* item)
{
    return m_keychain->passwordForItem(item);
}

QString NetKeyloft_KeychainController::passwordForKeychainItemAtIndex(std::int32_t index)
{
    const ItemPtr item = keychainItemAtIndex(index);
    return item ? m_keychain->passwordForItem(item.get()) : QString(QLatin1String(""));
}

bool NetKeyloft_KeychainController::labelAlreadyExistsInKeychainItems(const QString& label) const
{
    return std::any_of(m_items.begin(), m_items.end(),
                       [&label](const ItemPtr& item) { return item->isEqualToLabel(label); });
}

// --- Changes ----------------------------------------------------------------------------

bool NetKeyloft_KeychainController::newKeyChainItemWithLabel(const QString& label)
{
    return newKeyChainItemWithLabel(label, ItemFields{});
}

bool NetKeyloft_KeychainController::newKeyChainItemWithLabel(const QString& label,
                                                             const ItemFields& fields)
{
    // Another process (keyloft-cli, another Keyloft on a shared file) may have added
    // entries since the list was read: the label is made unique against the keychain
    // too, under its lock, which is held until the new entry is written.
    const std::unique_ptr<KeychainChangeHold> hold = m_keychain->holdChanges();
    QString unique = label;
    while (labelAlreadyExistsInKeychainItems(unique) || m_keychain->labelIsInKeychain(unique)) {
        unique = labelForDuplicateLabel(unique);
    }
    auto item =
        std::make_shared<NetKeyloft_Item>(NetKeyloft_Item::initWithLabelIndex(unique, nextIndex()));
    applyFields(*item, fields);
    if (!m_keychain->addToKeychainItem(item.get())) {
        return false;
    }
    m_items.push_back(std::move(item));
    return true;
}

QString NetKeyloft_KeychainController::labelForDuplicateLabel(const QString& label)
{
    if (label.isEmpty()) {
        return QStringLiteral("Untitled");
    }
    qsizetype digitsStart = label.size();
    while (digitsStart > 0 && label.at(digitsStart - 1) >= QLatin1Char('0') &&
           label.at(digitsStart - 1) <= QLatin1Char('9')) {
        --digitsStart;
    }
    const qsizetype digitCount = label.size() - digitsStart;
    if (digitCount == 0) {
        return label + QLatin1Char('1');
    }
    if (digitCount > 8) {
        return label + QStringLiteral("-1");
    }
    // At most eight digits: the number and its successor fit in 32 bits.
    const int number = QStringView(label).mid(digitsStart).toInt();
    return label.left(digitsStart) + QString::number(number + 1);
}

bool NetKeyloft_KeychainController::writeChange(NetKeyloft_Item& item, bool writePassword,
                                                const std::function<void()>& undo)
{
    if (m_keychain->modifyKeychainItem(&item, writePassword)) {
        return true;
    }
    // A change may be several writes, of which the first may have been made: the
    // record goes back to what it held before, then takes what the keychain holds
    // now where that can be read.
    undo();
    m_keychain->reloadItem(item);
    return false;
}

bool NetKeyloft_KeychainController::renameKeyChainItemAtIndexWithLabel(unsigned index,
                                                                       const QString& label)
{
    NetKeyloft_Item* item = itemAt(index);
    if (item == nullptr) {
        return false;
    }
    const bool takenByAnother =
        std::any_of(m_items.begin(), m_items.end(), [&](const ItemPtr& other) {
            return other.get() != item && other->isEqualToLabel(label);
        });
    if (takenByAnother) {
        return false;
    }
    const QString previous = item->label();
    item->setLabel(label);
    return writeChange(*item, false, [&] { item->setLabel(previous); });
}

bool NetKeyloft_KeychainController::setUserNameForKeychainItemAtIndex(const QString& userName,
                                                                      unsigned index)
{
    NetKeyloft_Item* item = itemAt(index);
    if (item == nullptr) {
        return false;
    }
    const QString previous = item->userName();
    item->setUserName(userName);
    return writeChange(*item, false, [&] { item->setUserName(previous); });
}

bool NetKeyloft_KeychainController::setPasswordForKeychainItemAtIndex(const QString& password,
                                                                      unsigned index)
{
    NetKeyloft_Item* item = itemAt(index);
    if (item == nullptr) {
        return false;
    }
    const std::optional<QString> previous = item->password();
    item->setPassword(password);
    return writeChange(*item, true, [&] { item->setPassword(previous); });
}

bool NetKeyloft_KeychainController::setCommentsForKeychainItemAtIndex(const QString& comments,
                                                                      unsigned index)
{
    NetKeyloft_Item* item = itemAt(index);
    if (item == nullptr) {
        return false;
    }
    const QString previous = item->comments();
    item->setComments(comments);
    return writeChange(*item, false, [&] { item->setComments(previous); });
}

bool NetKeyloft_KeychainController::setFieldsForKeychainItemAtIndex(const ItemFields& fields,
                                                                    unsigned index)
{
    NetKeyloft_Item* item = itemAt(index);
    if (item == nullptr) {
        return false;
    }
    const QString previousUserName = item->userName();
    const std::optional<QString> previousPassword = item->password();
    const QString previousComments = item->comments();
    applyFields(*item, fields);
    return writeChange(*item, fields.password.has_value(), [&] {
        item->setUserName(previousUserName);
        item->setPassword(previousPassword);
        item->setComments(previousComments);
    });
}

bool NetKeyloft_KeychainController::deleteKeychainItem(const NetKeyloft_Item* item)
{
    if (item == nullptr || !m_keychain->removeItemFromKeychain(item)) {
        return false;
    }
    // Copy the UUID first: item may be one of the records about to be removed.
    const QString uuid = item->uuid();
    std::erase_if(m_items, [&uuid](const ItemPtr& record) { return record->isEqualToUuid(uuid); });
    return true;
}

bool NetKeyloft_KeychainController::addOneToCountUsedForItem(NetKeyloft_Item* item)
{
    if (item == nullptr) {
        return false;
    }
    const std::int32_t previous = item->countUsed();
    if (m_keychain->addOneToCountUsedForItem(item)) {
        return true;
    }
    item->setCountUsed(previous);
    return false;
}

// --- Order ------------------------------------------------------------------------------

void NetKeyloft_KeychainController::sortKeychainItemsByIndexAscending(bool ascending)
{
    sortKeychainItemsAscendingByKey(ascending, indexKey);
}

void NetKeyloft_KeychainController::sortKeychainItemsByLableAscending(bool ascending)
{
    // The user's collation, ignoring case; one collator serves the whole sort.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // The plain "C" locale collates by code point and ignores the case setting, so
    // there the labels are case-folded first.
    const bool plainLocale = collator.locale().language() == QLocale::C;
    m_items = sortedByKey(
        m_items, ascending,
        [&](const NetKeyloft_Item& item) {
            return collator.sortKey(plainLocale ? item.label().toCaseFolded() : item.label());
        },
        [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; });
}

void NetKeyloft_KeychainController::sortKeychainItemsByDateCreatedAscending(bool ascending)
{
    sortKeychainItemsAscendingByKey(ascending, dateCreatedKey);
}

void NetKeyloft_KeychainController::sortKeychainItemsByCountUsedAscending(bool ascending)
{
    sortKeychainItemsAscendingByKey(ascending, countUsedKey);
}

std::vector<ItemPtr>
NetKeyloft_KeychainController::getSortedKeychainItemsAscendingByKey(bool ascending,
                                                                    const QString& key) const
{
    const std::less<> less;
    if (key == indexKey) {
        return sortedByKey(m_items, ascending, std::mem_fn(&NetKeyloft_Item::index), less);
    }
    if (key == countUsedKey) {
        return sortedByKey(m_items, ascending, std::mem_fn(&NetKeyloft_Item::countUsed), less);
    }
    if (key == dateCreatedKey) {
        return sortedByKey(m_items, ascending, &dateKey, less);
    }
    if (key == labelKey) {
        // Character values, letter case included.
        return sortedByKey(m_items, ascending, std::mem_fn(&NetKeyloft_Item::label), less);
    }
    return m_items;
}

void NetKeyloft_KeychainController::sortKeychainItemsAscendingByKey(bool ascending,
                                                                    const QString& key)
{
    m_items = getSortedKeychainItemsAscendingByKey(ascending, key);
}

bool NetKeyloft_KeychainController::moveItemAtIndexToIndex(std::int32_t from, std::int32_t to)
{
    const auto count = std::int64_t(m_items.size());
    if (count == 0 || from < 0 || from >= count || to < 0 || to >= count) {
        return false;
    }
    ItemPtr item = m_items[std::size_t(from)];
    m_items.erase(m_items.begin() + from);
    const std::int32_t target = from <= to ? to - 1 : to;
    m_items.insert(m_items.begin() + std::max(target, 0), std::move(item));
    resetIndexes();
    return true;
}

void NetKeyloft_KeychainController::resetIndexes()
{
    for (std::size_t position = 0; position < m_items.size(); ++position) {
        m_items[position]->setIndex(std::int32_t(position));
    }
}
