#pragma once

#include "store/NetKeyloft_Item.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

// The keys the item list sorts by. Every place that names a key (the stored
// preference, the tray menu's and the table header's menu items, keyloft-cli's
// --sort names) maps it here, and the list's order by a key is defined here.
enum class SortKey {
    Index,       // the entries' creation sequence numbers
    Label,       // the labels, in the user's collation
    DateCreated, // the creation dates
    CountUsed,   // the numbers of uses
};

namespace SortKeys {

inline constexpr std::array<SortKey, 4> all = {SortKey::Index, SortKey::Label, SortKey::DateCreated,
                                               SortKey::CountUsed};

// The number stored in the preferences (0 to 3), and back; a number outside them
// names no key.
qint32 preferenceValue(SortKey key);
std::optional<SortKey> fromPreferenceValue(qint32 value);

// The tag of the key's item in the tray menu's "Sort by" submenu and its title; the
// tray menu offers no item for the creation order.
std::optional<int> trayMenuTag(SortKey key);
std::optional<SortKey> fromTrayMenuTag(int tag);
QString trayMenuTitle(SortKey key);

// The tag of the key's item in the table header's menu, which offers every key.
int headerMenuTag(SortKey key);
std::optional<SortKey> fromHeaderMenuTag(int tag);

// keyloft-cli's name of the key ("index", "name", "created", "used").
QString cliName(SortKey key);
std::optional<SortKey> fromCliName(const QString& name);

// The records sorted by the key, ascending or descending. Labels follow the user's
// collation ignoring letter case, with the character values breaking ties, so the
// order is the same whatever order the records came in; numbers and dates sort by
// value, a creation date that could not be read first. Records with equal keys keep
// their relative order.
std::vector<ItemPtr> sorted(const std::vector<ItemPtr>& items, SortKey key, bool ascending);

} // namespace SortKeys
