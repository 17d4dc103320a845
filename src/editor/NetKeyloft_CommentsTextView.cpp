#include "editor/NetKeyloft_CommentsTextView.h"

#include "editor/NetKeyloft_EditController.h"

NetKeyloft_CommentsTextView::NetKeyloft_CommentsTextView(QWidget* parent) : QPlainTextEdit(parent)
{}

void NetKeyloft_CommentsTextView::focusOutEvent(QFocusEvent* event)
{
    // A popup (this editor's own context menu) takes the focus only for a moment.
    if (m_controller && event->reason() != Qt::PopupFocusReason) {
        m_controller->saveComments();
    }
    QPlainTextEdit::focusOutEvent(event);
}
