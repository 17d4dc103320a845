#pragma once

#include "store/NetKeyloft_KeychainController.h"

#include <QAbstractTableModel>

#include <functional>
#include <vector>

// The edit window's table over the item list: one row per entry in the list's order,
// one column ("labelColumn") showing the label, edited in place.
class NetKeyloft_ItemTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Receives a label typed into a cell; true when the entry now bears it.
    using LabelEdit = std::function<bool(const QString& label, int row)>;

    static const QString labelColumnIdentifier;
    // The role under which the header reports a column's identifier.
    static constexpr int IdentifierRole = Qt::UserRole + 1;

    explicit NetKeyloft_ItemTableModel(QObject* parent = nullptr);
    ~NetKeyloft_ItemTableModel() override;

    void setKeychainController(NetKeyloft_KeychainController* keychainController);
    void setLabelEdit(LabelEdit labelEdit) { m_labelEdit = std::move(labelEdit); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    // Follows the list's changes as row insertions, removals, changes and moves, so
    // that the views keep their selection and scroll position.
    void connectList(ItemListNotifier& notifier);
    void disconnectList();
    void rowChanged(int row, ItemListNotifier::Fields fields);
    void orderAboutToChange();
    void orderChanged();

    NetKeyloft_KeychainController* m_keychainController = nullptr;
    std::vector<QMetaObject::Connection> m_connections;
    // The persistent indexes during a change of order, and their entries.
    QModelIndexList m_movingIndexes;
    std::vector<ItemPtr> m_movingItems;
    LabelEdit m_labelEdit;
};
