#include "editor/NetKeyloft_ItemTableModel.h"

#include "store/NetKeyloft_KeychainController.h"

const QString NetKeyloft_ItemTableModel::labelColumnIdentifier = QStringLiteral("labelColumn");

NetKeyloft_ItemTableModel::NetKeyloft_ItemTableModel(QObject* parent) : QAbstractTableModel(parent)
{}

void NetKeyloft_ItemTableModel::setKeychainController(
    NetKeyloft_KeychainController* keychainController)
{
    beginResetModel();
    m_keychainController = keychainController;
    endResetModel();
}

void NetKeyloft_ItemTableModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

void NetKeyloft_ItemTableModel::rowChanged(int row)
{
    const QModelIndex changed = index(row, 0);
    if (changed.isValid()) {
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
}

int NetKeyloft_ItemTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_keychainController) {
        return 0;
    }
    return int(m_keychainController->countOfKeychainItems());
}

int NetKeyloft_ItemTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant NetKeyloft_ItemTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return m_keychainController->labelInKeychainItemsAtIndex(unsigned(index.row()));
}

QVariant NetKeyloft_ItemTableModel::headerData(int section, Qt::Orientation orientation,
                                               int role) const
{
    if (orientation != Qt::Horizontal || section != 0) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return tr("Name");
    }
    if (role == IdentifierRole) {
        return labelColumnIdentifier;
    }
    return {};
}

Qt::ItemFlags NetKeyloft_ItemTableModel::flags(const QModelIndex& index) const
{
    // No drag and drop: the order comes from sorting only.
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}

bool NetKeyloft_ItemTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::EditRole ||
        !m_labelEdit) {
        return false;
    }
    const bool stored = m_labelEdit(value.toString(), index.row());
    if (stored) {
        rowChanged(index.row());
    }
    return stored;
}
