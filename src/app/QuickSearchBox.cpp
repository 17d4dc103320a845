#include "app/QuickSearchBox.h"

#include "store/ItemSearchIndex.h"
#include "store/NetKeyloftStringUtils.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

QuickSearchBox::QuickSearchBox(const ItemSearchIndex& index, Commands commands, QWidget* parent)
    : QWidget(parent, Qt::Popup), m_index(index), m_commands(std::move(commands))
{
    setObjectName(QStringLiteral("quickSearchBox"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("searchField"));
    m_field->setPlaceholderText(
        NetKeyloftStringUtils::localizedString(QStringLiteral("KLOFT_FindPlaceholder")));
    m_field->setClearButtonEnabled(true);
    m_results = new QListWidget(this);
    m_results->setObjectName(QStringLiteral("searchResults"));
    m_results->setFocusPolicy(Qt::NoFocus);
    m_results->setUniformItemSizes(true);
    layout->addWidget(m_field);
    layout->addWidget(m_results);
    resize(360, 300);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, &QuickSearchBox::refilter);
    connect(m_results, &QListWidget::itemActivated, this,
            [this] { perform(m_commands.copyPassword); });
}

QuickSearchBox::~QuickSearchBox() = default;

void QuickSearchBox::popUp(const QPoint& point)
{
    m_field->clear();
    refilter();
    // Kept whole on the screen under the pointer.
    QRect frame(point, size());
    if (const QScreen* screen = QGuiApplication::screenAt(point)) {
        const QRect area = screen->availableGeometry();
        frame.moveRight(std::min(frame.right(), area.right()));
        frame.moveBottom(std::min(frame.bottom(), area.bottom()));
        frame.moveTopLeft(
            QPoint(std::max(frame.left(), area.left()), std::max(frame.top(), area.top())));
    }
    move(frame.topLeft());
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

void QuickSearchBox::refilter()
{
    m_shown = m_index.matches(m_field->text(), shownMatches);
    m_results->clear();
    for (const ItemPtr& item : m_shown) {
        m_results->addItem(
            item->userName().isEmpty()
                ? item->label()
                : QStringLiteral("%1 \u2014 %2").arg(item->label(), item->userName()));
    }
    m_results->setCurrentRow(m_shown.empty() ? -1 : 0);
}

ItemPtr QuickSearchBox::chosen() const
{
    const int row = m_results->currentRow();
    return row >= 0 && std::size_t(row) < m_shown.size() ? m_shown[std::size_t(row)] : nullptr;
}

void QuickSearchBox::perform(const std::function<void(const ItemPtr&)>& command)
{
    const ItemPtr item = chosen();
    close();
    if (item && command) {
        command(item);
    }
}

bool QuickSearchBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int step = key->key() == Qt::Key_Up ? -1 : 1;
        const int last = m_results->count() - 1;
        m_results->setCurrentRow(std::clamp(m_results->currentRow() + step, 0, std::max(last, 0)));
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        perform(modifiers & Qt::ShiftModifier ? m_commands.copyUserName : m_commands.copyPassword);
        return true;
    case Qt::Key_E:
        if (modifiers == Qt::ControlModifier) {
            perform(m_commands.edit);
            return true;
        }
        break;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
