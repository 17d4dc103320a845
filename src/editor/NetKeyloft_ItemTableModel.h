#pragma once

#include <QAbstractTableModel>

#include <functional>

class NetKeyloft_KeychainController;

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

    void setKeychainController(NetKeyloft_KeychainController* keychainController);
    void setLabelEdit(LabelEdit labelEdit) { m_labelEdit = std::move(labelEdit); }

    // Shows the list as it is now, after it was sorted or entries came or went.
    void reloadData();
    // Shows a row's label again after it changed.
    void rowChanged(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    NetKeyloft_KeychainController* m_keychainController = nullptr;
    LabelEdit m_labelEdit;
};
