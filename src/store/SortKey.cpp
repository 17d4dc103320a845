#include "store/SortKey.h"

#include <QCollator>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <type_traits>

namespace SortKeys {

namespace {

struct Names {
    int trayMenuTag; // 0: not in the tray menu
    const char* trayMenuTitle;
    const char* cliName;
};

// Indexed by the key's preference value, which is also its header menu tag.
constexpr std::array<Names, 4> names = {{
    {0, "", "index"},
    {1, "Name", "name"},
    {2, "Date created", "created"},
    {3, "Most used", "used"},
}};

const Names& namesOf(SortKey key)
{
    return names[std::size_t(key)];
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
template <typename KeyOf>
std::vector<ItemPtr> sortedByKey(const std::vector<ItemPtr>& items, bool ascending, KeyOf keyOf)
{
    using Key = std::decay_t<std::invoke_result_t<KeyOf, const NetKeyloft_Item&>>;
    using Keyed = std::pair<Key, ItemPtr>;
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (const ItemPtr& item : items) {
        keyed.emplace_back(keyOf(*item), item);
    }
    stableSort(keyed, ascending, [](const Keyed& a, const Keyed& b) { return a.first < b.first; });
    std::vector<ItemPtr> result;
    result.reserve(keyed.size());
    for (Keyed& entry : keyed) {
        result.push_back(std::move(entry.second));
    }
    return result;
}

// A label's place in the user's collation ignoring letter case, then by its
// character values.
struct LabelKey {
    QCollatorSortKey collated;
    QString label;

    bool operator<(const LabelKey& other) const
    {
        const int byCollation = collated.compare(other.collated);
        return byCollation != 0 ? byCollation < 0 : label < other.label;
    }
};

std::vector<ItemPtr> sortedByLabel(const std::vector<ItemPtr>& items, bool ascending)
{
    // One collator serves the whole sort.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // The plain "C" locale collates by code point and ignores the case setting, so
    // there the labels are case-folded first.
    const bool plainLocale = collator.locale().language() == QLocale::C;
    return sortedByKey(items, ascending, [&](const NetKeyloft_Item& item) {
        const QString& label = item.label();
        return LabelKey{collator.sortKey(plainLocale ? label.toCaseFolded() : label), label};
    });
}

// Creation dates as numbers; a null date (one that could not be read) comes first.
qint64 dateKey(const NetKeyloft_Item& item)
{
    const QDateTime& date = item.dateCreated();
    return date.isNull() ? std::numeric_limits<qint64>::min() : date.toMSecsSinceEpoch();
}

} // namespace

qint32 preferenceValue(SortKey key)
{
    return qint32(key);
}

std::optional<SortKey> fromPreferenceValue(qint32 value)
{
    if (value < 0 || value >= qint32(all.size())) {
        return std::nullopt;
    }
    return all[std::size_t(value)];
}

std::optional<int> trayMenuTag(SortKey key)
{
    const int tag = namesOf(key).trayMenuTag;
    return tag == 0 ? std::nullopt : std::optional<int>(tag);
}

std::optional<SortKey> fromTrayMenuTag(int tag)
{
    const auto found = std::find_if(all.begin(), all.end(),
                                    [tag](SortKey key) { return trayMenuTag(key) == tag; });
    return found == all.end() ? std::nullopt : std::optional<SortKey>(*found);
}

QString trayMenuTitle(SortKey key)
{
    return QString::fromLatin1(namesOf(key).trayMenuTitle);
}

int headerMenuTag(SortKey key)
{
    return int(key);
}

std::optional<SortKey> fromHeaderMenuTag(int tag)
{
    return fromPreferenceValue(tag);
}

QString cliName(SortKey key)
{
    return QString::fromLatin1(namesOf(key).cliName);
}

std::optional<SortKey> fromCliName(const QString& name)
{
    const auto found =
        std::find_if(all.begin(), all.end(), [&name](SortKey key) { return cliName(key) == name; });
    return found == all.end() ? std::nullopt : std::optional<SortKey>(*found);
}

std::vector<ItemPtr> sorted(const std::vector<ItemPtr>& items, SortKey key, bool ascending)
{
    switch (key) {
    case SortKey::Index:
        return sortedByKey(items, ascending, std::mem_fn(&NetKeyloft_Item::index));
    case SortKey::Label:
        return sortedByLabel(items, ascending);
    case SortKey::DateCreated:
        return sortedByKey(items, ascending, &dateKey);
    case SortKey::CountUsed:
        return sortedByKey(items, ascending, std::mem_fn(&NetKeyloft_Item::countUsed));
    }
    return items;
}

} // namespace SortKeys
