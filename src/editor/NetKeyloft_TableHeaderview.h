#pragma once

#include <QHeaderView>

class NetKeyloft_EditController;
class QMenu;

// The header of the edit window's table: a click reverses the sort order, the context
// menu chooses the sort key. With no entries it does neither.
class NetKeyloft_TableHeaderview : public QHeaderView {
    Q_OBJECT

public:
    explicit NetKeyloft_TableHeaderview(QWidget* parent = nullptr);

    NetKeyloft_EditController* controller() const { return m_controller; }
    void setController(NetKeyloft_EditController* controller) { m_controller = controller; }

    // Saves pending edits and returns the sort menu; null when the list is empty.
    QMenu* menuForEvent();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool listIsEmpty() const;

    NetKeyloft_EditController* m_controller = nullptr;
};
