#pragma once

#include <QPlainTextEdit>
#include <QPointer>

class NetKeyloft_EditController;

// The notes editor of the edit pane: what the user typed is saved as soon as the
// keyboard focus leaves it.
class NetKeyloft_CommentsTextView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit NetKeyloft_CommentsTextView(QWidget* parent = nullptr);

    NetKeyloft_EditController* controller() const { return m_controller; }
    void setController(NetKeyloft_EditController* controller) { m_controller = controller; }

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    NetKeyloft_EditController* m_controller = nullptr;
};
