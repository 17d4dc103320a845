#include "editor/LabelCellDelegate.h"

#include <QLineEdit>

int LabelCellDelegate::editedRow() const
{
    return m_editor && m_editedIndex.isValid() ? m_editedIndex.row() : -1;
}

QString LabelCellDelegate::editorText() const
{
    return m_editor ? m_editor->text() : QString();
}

void LabelCellDelegate::abortEditing()
{
    if (QLineEdit* editor = m_editor) {
        m_editor = nullptr;
        m_editedIndex = QPersistentModelIndex();
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

QWidget* LabelCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_editor = qobject_cast<QLineEdit*>(editor);
    m_editedIndex = index;
    return editor;
}

void LabelCellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    if (editor == m_editor) {
        m_editor = nullptr;
        m_editedIndex = QPersistentModelIndex();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}
