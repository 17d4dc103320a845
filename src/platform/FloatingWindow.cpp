#include "platform/FloatingWindow.h"

#include "platform/UserDefaults.h"

#include <QEvent>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace FloatingWindow {

void configure(QWidget& window)
{
    // A top-level window that stays above ordinary windows. Closing it only hides it:
    // the widget and everything typed into it stay for the next time it is shown.
    window.setWindowFlags(window.windowFlags() | Qt::Window | Qt::WindowStaysOnTopHint);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setAttribute(Qt::WA_QuitOnClose, false);
}

void centre(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void bringToFront(QWidget& window)
{
    window.show();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

} // namespace FloatingWindow

WindowFrameAutosave::WindowFrameAutosave(QWidget& window, UserDefaults& defaults,
                                         const QString& frameName)
    : QObject(&window), m_window(window), m_defaults(defaults), m_frameName(frameName)
{
    window.installEventFilter(this);
}

QString WindowFrameAutosave::frameToString(const QRect& frame)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height());
}

QRect WindowFrameAutosave::frameFromString(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4) {
        return {};
    }
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok) {
            return {};
        }
    }
    if (numbers[2] <= 0 || numbers[3] <= 0) {
        return {};
    }
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

namespace {

bool onSomeScreen(const QRect& frame)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&frame](const QScreen* screen) {
        return screen->availableGeometry().intersects(frame);
    });
}

} // namespace

bool WindowFrameAutosave::restore()
{
    const QRect frame = frameFromString(m_defaults.stringForKey(m_frameName));
    if (!frame.isValid() || !onSomeScreen(frame)) {
        return false;
    }
    // The saved size never goes below what the window's layout needs.
    const QSize size = frame.size().expandedTo(m_window.minimumSizeHint());
    m_window.resize(size);
    m_window.move(frame.topLeft());
    return true;
}

void WindowFrameAutosave::save()
{
    m_defaults.setValue(m_frameName, frameToString(QRect(m_window.pos(), m_window.size())));
}

bool WindowFrameAutosave::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window) {
        return QObject::eventFilter(watched, event);
    }
    // Moves and resizes before the window is first shown are the layout's, not the
    // user's; a hidden window still knows the frame it had.
    const QEvent::Type type = event->type();
    if (type == QEvent::Hide ||
        ((type == QEvent::Move || type == QEvent::Resize) && m_window.isVisible())) {
        save();
    }
    return QObject::eventFilter(watched, event);
}
