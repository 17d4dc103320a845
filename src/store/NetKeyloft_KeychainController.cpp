#include "store/NetKeyloft_KeychainController.h"

#include <algorithm>
#include <limits>

namespace {

using Field = ItemListNotifier::Field;

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

} // namespace

std::unique_ptr<NetKeyloft_KeychainController>
NetKeyloft_KeychainController::create(NetKeyloft_Keychain::Environment environment,
                                      ErrorPresenter presenter,
                                      const std::function<void(Keychain&)>& beforeReading)
{
    auto keychain = std::make_unique<NetKeyloft_Keychain>(environment);
    keychain->setErrorPresenter(std::move(presenter));
    if (!keychain->initKeychain()) {
        return nullptr;
    }
    if (beforeReading && keychain->keychain() != nullptr) {
        beforeReading(*keychain->keychain());
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
    auto item = std::make_shared<NetKeyloft_Item>(
        NetKeyloft_Item::initWithLabelIndex(unique, nextIndex(), m_keychain->clock()));
    applyFields(*item, fields);
    if (!m_keychain->addToKeychainItem(item.get())) {
        return false;
    }
    const int row = int(m_items.size());
    Q_EMIT m_notifier->rowsAboutToBeInserted(row, row);
    m_items.push_back(std::move(item));
    Q_EMIT m_notifier->rowsInserted(row, row);
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

bool NetKeyloft_KeychainController::writeChange(unsigned index, ItemListNotifier::Fields fields,
                                                const std::function<void()>& undo)
{
    NetKeyloft_Item& item = *m_items[index];
    const bool written =
        m_keychain->modifyKeychainItem(&item, fields.testFlag(ItemListNotifier::Field::Password));
    if (!written) {
        // A change may be several writes, of which the first may have been made: the
        // record goes back to what it held before, then takes what the keychain holds
        // now where that can be read.
        undo();
        m_keychain->reloadItem(item);
    }
    Q_EMIT m_notifier->rowChanged(int(index), fields);
    return written;
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
    return writeChange(index, Field::Label, [&] { item->setLabel(previous); });
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
    return writeChange(index, Field::UserName, [&] { item->setUserName(previous); });
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
    return writeChange(index, Field::Password, [&] { item->setPassword(previous); });
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
    return writeChange(index, Field::Comments, [&] { item->setComments(previous); });
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
    ItemListNotifier::Fields changed;
    changed.setFlag(Field::UserName, fields.userName.has_value());
    changed.setFlag(Field::Password, fields.password.has_value());
    changed.setFlag(Field::Comments, fields.comments.has_value());
    return writeChange(index, changed, [&] {
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
    for (auto row = std::ptrdiff_t(m_items.size()) - 1; row >= 0; --row) {
        if (m_items[std::size_t(row)]->isEqualToUuid(uuid)) {
            Q_EMIT m_notifier->rowsAboutToBeRemoved(int(row), int(row));
            m_items.erase(m_items.begin() + row);
            Q_EMIT m_notifier->rowsRemoved(int(row), int(row));
        }
    }
    return true;
}

bool NetKeyloft_KeychainController::addOneToCountUsedForItem(NetKeyloft_Item* item)
{
    if (item == nullptr) {
        return false;
    }
    const std::int32_t previous = item->countUsed();
    const bool written = m_keychain->addOneToCountUsedForItem(item);
    if (!written) {
        item->setCountUsed(previous);
    }
    if (const int row = indexInKeychainItemsForItem(item); row >= 0) {
        Q_EMIT m_notifier->rowChanged(row, Field::CountUsed);
    }
    return written;
}

// --- Order ------------------------------------------------------------------------------

void NetKeyloft_KeychainController::sortKeychainItems(SortKey key, bool ascending)
{
    replaceOrder(SortKeys::sorted(m_items, key, ascending));
}

std::vector<ItemPtr> NetKeyloft_KeychainController::getSortedKeychainItems(SortKey key,
                                                                           bool ascending) const
{
    return SortKeys::sorted(m_items, key, ascending);
}

void NetKeyloft_KeychainController::replaceOrder(std::vector<ItemPtr> items)
{
    Q_EMIT m_notifier->orderAboutToChange();
    m_items = std::move(items);
    Q_EMIT m_notifier->orderChanged();
}

void NetKeyloft_KeychainController::setKeychainItems(std::vector<ItemPtr> items)
{
    Q_EMIT m_notifier->aboutToReload();
    m_items = std::move(items);
    Q_EMIT m_notifier->reloaded();
}

bool NetKeyloft_KeychainController::lockKeychain()
{
    if (!m_keychain->isLockable()) {
        return false;
    }
    for (const ItemPtr& item : m_items) {
        item->forgetPassword();
    }
    return m_keychain->lockKeychain();
}

bool NetKeyloft_KeychainController::moveItemAtIndexToIndex(std::int32_t from, std::int32_t to)
{
    const auto count = std::int64_t(m_items.size());
    if (count == 0 || from < 0 || from >= count || to < 0 || to >= count) {
        return false;
    }
    std::vector<ItemPtr> items = m_items;
    ItemPtr item = items[std::size_t(from)];
    items.erase(items.begin() + from);
    const std::int32_t target = from <= to ? to - 1 : to;
    items.insert(items.begin() + std::max(target, 0), std::move(item));
    replaceOrder(std::move(items));
    resetIndexes();
    return true;
}

void NetKeyloft_KeychainController::resetIndexes()
{
    for (std::size_t position = 0; position < m_items.size(); ++position) {
        m_items[position]->setIndex(std::int32_t(position));
    }
}
