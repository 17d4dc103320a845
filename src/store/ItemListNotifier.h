#pragma once

#include <QFlags>
#include <QObject>

// Tells the views of the item list what changed in it, in the manner of Qt's item
// models: an "about to" signal while the list still holds the old state, then the
// signal after the change. Rows are positions in the list.
class ItemListNotifier : public QObject {
    Q_OBJECT

public:
    // The fields of an entry a change touched.
    enum class Field {
        Label = 0x1,
        UserName = 0x2,
        Password = 0x4,
        Comments = 0x8,
        CountUsed = 0x10,
    };
    Q_DECLARE_FLAGS(Fields, Field)

    using QObject::QObject;

Q_SIGNALS:
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    // The entry at row has new values in fields (also when a refused write put the
    // old ones back).
    void rowChanged(int row, ItemListNotifier::Fields fields);
    // The same entries in another order.
    void orderAboutToChange();
    void orderChanged();
    // Another list altogether.
    void aboutToReload();
    void reloaded();
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ItemListNotifier::Fields)
