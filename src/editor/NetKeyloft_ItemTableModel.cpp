#include "editor/NetKeyloft_ItemTableModel.h"

#include "store/NetKeyloft_KeychainController.h"

#include <QHash>

const QString NetKeyloft_ItemTableModel::labelColumnIdentifier = QStringLiteral("labelColumn");

NetKeyloft_ItemTableModel::NetKeyloft_ItemTableModel(QObject* parent) : QAbstractTableModel(parent)
{}

NetKeyloft_ItemTableModel::~NetKeyloft_ItemTableModel()
{
    disconnectList();
}

void NetKeyloft_ItemTableModel::setKeychainController(
    NetKeyloft_KeychainController* keychainController)
{
    beginResetModel();
    disconnectList();
    m_keychainController = keychainController;
    if (m_keychainController) {
        connectList(m_keychainController->notifier());
    }
    endResetModel();
}

void NetKeyloft_ItemTableModel::connectList(ItemListNotifier& notifier)
{
    using M = NetKeyloft_ItemTableModel;
    using N = ItemListNotifier;
    m_connections = {
        connect(&notifier, &N::rowsAboutToBeInserted, this,
                [this](int first, int last) { beginInsertRows({}, first, last); }),
        connect(&notifier, &N::rowsInserted, this, &M::endInsertRows),
        connect(&notifier, &N::rowsAboutToBeRemoved, this,
                [this](int first, int last) { beginRemoveRows({}, first, last); }),
        connect(&notifier, &N::rowsRemoved, this, &M::endRemoveRows),
        connect(&notifier, &N::rowChanged, this, &M::rowChanged),
        connect(&notifier, &N::orderAboutToChange, this, &M::orderAboutToChange),
        connect(&notifier, &N::orderChanged, this, &M::orderChanged),
        connect(&notifier, &N::aboutToReload, this, &M::beginResetModel),
        connect(&notifier, &N::reloaded, this, &M::endResetModel),
    };
}

void NetKeyloft_ItemTableModel::disconnectList()
{
    for (const QMetaObject::Connection& connection : m_connections) {
        disconnect(connection);
    }
    m_connections.clear();
}

void NetKeyloft_ItemTableModel::rowChanged(int row, ItemListNotifier::Fields fields)
{
    const QModelIndex changed = index(row, 0);
    if (changed.isValid() && fields.testFlag(ItemListNotifier::Field::Label)) {
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
}

void NetKeyloft_ItemTableModel::orderAboutToChange()
{
    Q_EMIT layoutAboutToBeChanged({}, VerticalSortHint);
    // Selections and the current row are persistent indexes: each keeps its entry.
    m_movingIndexes = persistentIndexList();
    m_movingItems.clear();
    for (const QModelIndex& moving : std::as_const(m_movingIndexes)) {
        m_movingItems.push_back(m_keychainController->keychainItemAtIndex(moving.row()));
    }
}

void NetKeyloft_ItemTableModel::orderChanged()
{
    QHash<const NetKeyloft_Item*, int> rows;
    const std::vector<ItemPtr>& items = m_keychainController->keychainItems();
    rows.reserve(qsizetype(items.size()));
    for (std::size_t row = 0; row < items.size(); ++row) {
        rows.insert(items[row].get(), int(row));
    }
    QModelIndexList moved;
    moved.reserve(m_movingIndexes.size());
    for (qsizetype k = 0; k < m_movingIndexes.size(); ++k) {
        const int row = rows.value(m_movingItems[std::size_t(k)].get(), -1);
        moved.append(row < 0 ? QModelIndex() : index(row, m_movingIndexes[k].column()));
    }
    changePersistentIndexList(m_movingIndexes, moved);
    m_movingIndexes.clear();
    m_movingItems.clear();
    Q_EMIT layoutChanged({}, VerticalSortHint);
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
    // The list tells of the new label itself.
    return m_labelEdit(value.toString(), index.row());
}
