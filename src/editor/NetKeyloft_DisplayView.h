#pragma once

#include <QWidget>

// The detail pane's container: a plain white backdrop behind whichever pane it holds.
class NetKeyloft_DisplayView : public QWidget {
    Q_OBJECT

public:
    explicit NetKeyloft_DisplayView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
