// Changes made elsewhere: watching the keychain and merging what it holds now into the
// list, entry by entry.

#include "store/NetKeyloft_KeychainController.h"

#include <algorithm>

namespace {

using Field = ItemListNotifier::Field;

// How long after the first report of a change the keychain is read: a writer's burst
// (a temporary file, a rename, a lock file; several signals of one change) is read once.
constexpr int mergeDelayMs = 20;

// The fields the list shows or counts in which stored differs from held. The list
// holds no passwords to compare: any other write of the entry may have changed it.
ItemListNotifier::Fields differences(const NetKeyloft_Item& held, const NetKeyloft_Item& stored)
{
    ItemListNotifier::Fields fields;
    fields.setFlag(Field::Label, held.label() != stored.label());
    fields.setFlag(Field::UserName, held.userName() != stored.userName());
    fields.setFlag(Field::Comments, held.comments() != stored.comments());
    fields.setFlag(Field::CountUsed, held.countUsed() != stored.countUsed());
    if (held.dateModified() != stored.dateModified() && fields != Field::CountUsed) {
        fields |= Field::Password;
    }
    return fields;
}

} // namespace

void NetKeyloft_KeychainController::followChangesMadeElsewhere(std::function<void()> beforeMerging)
{
    if (m_watcher) {
        return;
    }
    m_beforeMerging = std::move(beforeMerging);
    m_watcher = m_keychain->watch();
    if (!m_watcher) {
        return;
    }
    m_mergeTimer.setSingleShot(true);
    m_mergeTimer.setInterval(mergeDelayMs);
    QObject::connect(&m_mergeTimer, &QTimer::timeout, m_notifier.get(), [this] {
        if (m_beforeMerging) {
            m_beforeMerging();
        }
        mergeChangesMadeElsewhere();
    });
    // Not restarted by later reports: a keychain changed without pause is still read.
    QObject::connect(m_watcher.get(), &KeychainWatcher::changed, &m_mergeTimer, [this] {
        if (!m_mergeTimer.isActive()) {
            m_mergeTimer.start();
        }
    });
}

bool NetKeyloft_KeychainController::mergeChangesMadeElsewhere()
{
    const std::optional<std::vector<ItemPtr>> stored = m_keychain->readItemsWithoutAsking();
    // What the keychain reported while it was read is in what was read.
    m_mergeTimer.stop();
    if (!stored) {
        return false;
    }
    // Each stored entry's position in stored, by UUID.
    QHash<QString, std::size_t> positions;
    positions.reserve(qsizetype(stored->size()));
    for (std::size_t position = 0; position < stored->size(); ++position) {
        positions.insert((*stored)[position]->uuid(), position);
    }
    removeEntriesNotIn(positions);
    std::vector<bool> held(stored->size(), false);
    updateEntriesFrom(*stored, positions, held);
    appendEntriesNotHeld(*stored, held);
    return true;
}

void NetKeyloft_KeychainController::removeEntriesNotIn(const QHash<QString, std::size_t>& stored)
{
    // From the end, a run of neighbouring rows at a time.
    auto last = std::ptrdiff_t(m_items.size()) - 1;
    while (last >= 0) {
        if (stored.contains(m_items[std::size_t(last)]->uuid())) {
            --last;
            continue;
        }
        std::ptrdiff_t first = last;
        while (first > 0 && !stored.contains(m_items[std::size_t(first - 1)]->uuid())) {
            --first;
        }
        Q_EMIT m_notifier->rowsAboutToBeRemoved(int(first), int(last));
        m_items.erase(m_items.begin() + first, m_items.begin() + last + 1);
        Q_EMIT m_notifier->rowsRemoved(int(first), int(last));
        last = first - 1;
    }
}

void NetKeyloft_KeychainController::updateEntriesFrom(const std::vector<ItemPtr>& stored,
                                                      const QHash<QString, std::size_t>& positions,
                                                      std::vector<bool>& held)
{
    for (std::size_t row = 0; row < m_items.size(); ++row) {
        NetKeyloft_Item& record = *m_items[row];
        const std::size_t position = positions.value(record.uuid());
        held[position] = true;
        const NetKeyloft_Item& now = *stored[position];
        const ItemListNotifier::Fields fields = differences(record, now);
        if (!fields && record.dateModified() == now.dateModified()) {
            continue;
        }
        // The dates are taken silently: no view shows them. The position number is the
        // list's own, as after a refused write.
        const std::optional<QString> password =
            fields.testFlag(Field::Password) ? std::nullopt : record.password();
        const std::int32_t index = record.index();
        record = now;
        record.setPassword(password);
        record.setIndex(index);
        if (fields) {
            Q_EMIT m_notifier->rowChanged(int(row), fields);
        }
    }
}

void NetKeyloft_KeychainController::appendEntriesNotHeld(const std::vector<ItemPtr>& stored,
                                                         const std::vector<bool>& held)
{
    std::vector<ItemPtr> added;
    for (std::size_t position = 0; position < stored.size(); ++position) {
        if (!held[position]) {
            added.push_back(stored[position]);
            m_nextIndex = std::max(m_nextIndex, stored[position]->index());
        }
    }
    if (added.empty()) {
        return;
    }
    const int first = int(m_items.size());
    const int last = first + int(added.size()) - 1;
    Q_EMIT m_notifier->rowsAboutToBeInserted(first, last);
    m_items.insert(m_items.end(), added.begin(), added.end());
    Q_EMIT m_notifier->rowsInserted(first, last);
}
