#include "store/ItemSearchIndex.h"

#include "store/NetKeyloft_KeychainController.h"

#include <algorithm>

ItemSearchIndex::ItemSearchIndex(const NetKeyloft_KeychainController& list, QObject* parent)
    : QObject(parent), m_list(list)
{
    using N = ItemListNotifier;
    const N& notifier = list.notifier();
    connect(&notifier, &N::rowsInserted, this, &ItemSearchIndex::insertRows);
    // Removed rows are looked up while the list still holds them.
    connect(&notifier, &N::rowsAboutToBeRemoved, this, &ItemSearchIndex::removeRows);
    connect(&notifier, &N::reloaded, this, &ItemSearchIndex::rebuild);
    connect(&notifier, &N::rowChanged, this, [this](int row, N::Fields fields) {
        if (fields & (N::Field::Label | N::Field::UserName)) {
            refoldRow(row);
        }
    });
    rebuild();
}

QString ItemSearchIndex::fold(const QString& text)
{
    // Most labels and user names are ASCII, which has nothing to decompose: folding
    // thousands of them at launch stays cheap.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        return text.toLower();
    }
    // Decomposing splits "é" into "e" and a combining accent, and "ﬁ" into "fi".
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing) {
            folded.append(c);
        }
    }
    return folded.toCaseFolded();
}

ItemSearchIndex::Entry ItemSearchIndex::entryFor(const ItemPtr& item)
{
    return Entry{item, fold(item->label()), fold(item->userName())};
}

void ItemSearchIndex::rebuild()
{
    const std::vector<ItemPtr>& items = m_list.keychainItems();
    m_entries.clear();
    m_entries.reserve(items.size());
    for (const ItemPtr& item : items) {
        m_entries.push_back(entryFor(item));
    }
}

void ItemSearchIndex::insertRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        if (const ItemPtr item = m_list.keychainItemAtIndex(row)) {
            m_entries.push_back(entryFor(item));
        }
    }
}

void ItemSearchIndex::removeRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const ItemPtr item = m_list.keychainItemAtIndex(row);
        std::erase_if(m_entries, [&item](const Entry& entry) { return entry.item == item; });
    }
}

void ItemSearchIndex::refoldRow(int row)
{
    const ItemPtr item = m_list.keychainItemAtIndex(row);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&item](const Entry& entry) { return entry.item == item; });
    if (found != m_entries.end()) {
        *found = entryFor(item);
    }
}

std::vector<ItemPtr> ItemSearchIndex::matches(const QString& query, std::size_t limit) const
{
    const QString wanted = fold(query.trimmed());
    struct Match {
        const Entry* entry;
        bool prefix;
    };
    std::vector<Match> found;
    for (const Entry& entry : m_entries) {
        const bool prefix = entry.label.startsWith(wanted) || entry.userName.startsWith(wanted);
        if (prefix || entry.label.contains(wanted) || entry.userName.contains(wanted)) {
            found.push_back({&entry, prefix});
        }
    }
    const auto better = [](const Match& a, const Match& b) {
        if (a.prefix != b.prefix) {
            return a.prefix;
        }
        if (a.entry->item->countUsed() != b.entry->item->countUsed()) {
            return a.entry->item->countUsed() > b.entry->item->countUsed();
        }
        return a.entry->label < b.entry->label;
    };
    const std::size_t count = std::min(limit, found.size());
    std::partial_sort(found.begin(), found.begin() + std::ptrdiff_t(count), found.end(), better);
    std::vector<ItemPtr> result;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        result.push_back(found[i].entry->item);
    }
    return result;
}
