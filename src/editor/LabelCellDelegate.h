#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;

// Edits labels in the table's cells and knows which cell is being edited, so that an
// unfinished edit can be taken over or abandoned.
class LabelCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The row whose cell is being edited; -1 when none is.
    int editedRow() const;
    // The text in the open cell editor; empty when none is open.
    QString editorText() const;
    // Closes the open cell editor without handing its text to the model.
    void abortEditing();

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    mutable QPointer<QLineEdit> m_editor;
    mutable QPersistentModelIndex m_editedIndex;
};
