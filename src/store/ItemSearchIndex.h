#pragma once

#include "store/NetKeyloft_Item.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <vector>

class NetKeyloft_KeychainController;

// Finds entries by a few typed letters: the labels and user names of the item list,
// folded once (letter case and accents dropped) and kept in step with the list through
// its notifications, so that a search only compares folded texts.
//
// An entry matches when its label or user name contains the query; entries whose label
// or user name begins with it come first, then the most used, then by label.
class ItemSearchIndex final : public QObject {
    Q_OBJECT

public:
    explicit ItemSearchIndex(const NetKeyloft_KeychainController& list, QObject* parent = nullptr);

    // At most limit matches of query, best first; every entry (most used first) for an
    // empty query.
    std::vector<ItemPtr> matches(const QString& query, std::size_t limit) const;

    // The text as the search compares it: compatibility-decomposed, without combining
    // marks, case-folded.
    static QString fold(const QString& text);

private:
    struct Entry {
        ItemPtr item;
        QString label;
        QString userName;
    };
    static Entry entryFor(const ItemPtr& item);
    void rebuild();
    void insertRows(int first, int last);
    void removeRows(int first, int last);
    void refoldRow(int row);

    const NetKeyloft_KeychainController& m_list;
    // In no particular order: the ranking does not depend on the list's order.
    std::vector<Entry> m_entries;
};
