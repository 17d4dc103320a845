#pragma once

#include <QObject>
#include <QString>

class QWidget;
class UserDefaults;

// How the application's own windows behave: they float above ordinary windows, are
// only hidden when the user closes them (so the next request shows the same window),
// and come to the front with the keyboard focus when asked for, even while another
// application is active.
namespace FloatingWindow {

// Gives window the floating settings; call once, before the window is first shown.
void configure(QWidget& window);
// Moves window to the middle of the screen it is on (the primary screen before it
// was first shown).
void centre(QWidget& window);
// Shows window, raises it above the other windows and makes it the active window.
void bringToFront(QWidget& window);

} // namespace FloatingWindow

// Keeps a window's frame (position and size) in the user defaults under a name, so
// that the window comes back where the user left it: the frame is saved whenever the
// window is moved, resized or hidden, and restore() puts a saved frame back.
class WindowFrameAutosave : public QObject {
    Q_OBJECT

public:
    // Watches window (which it is a child of) from now on.
    WindowFrameAutosave(QWidget& window, UserDefaults& defaults, const QString& frameName);

    // Applies the frame saved under the name. False, and the window left as it is, when
    // none is saved, the saved text is not a frame, or the frame would lie entirely off
    // the screens now attached.
    bool restore();
    // Stores the window's current frame under the name.
    void save();

    QString frameName() const { return m_frameName; }

    // The text form of a frame: "x y width height".
    static QString frameToString(const QRect& frame);
    // An invalid rectangle when text is not a frame with a positive size.
    static QRect frameFromString(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    UserDefaults& m_defaults;
    QString m_frameName;
};
