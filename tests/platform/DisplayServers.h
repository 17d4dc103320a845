#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class Clipboard;

// Display servers that the clipboard tests start for themselves. Each one is
// killed when its object goes, and by the kernel when the test program dies first.

// A private Xvfb on a display number it picks itself.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server; false (with error() set) when it did not come up.
    bool start();
    // The value for DISPLAY, such as ":3".
    QByteArray display() const { return m_display; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QByteArray m_display;
    QString m_error;
};

// A weston compositor with its own runtime folder and socket, shown in a window
// of an X display: weston's x11 backend gives the compositor the seat (keyboard
// and pointer) that a clipboard belongs to, which its headless backend lacks.
class WestonCompositor {
public:
    WestonCompositor() = default;
    ~WestonCompositor();
    WestonCompositor(const WestonCompositor&) = delete;
    WestonCompositor& operator=(const WestonCompositor&) = delete;

    // Starts weston on the X display xDisplay and waits for its socket.
    bool start(const QByteArray& xDisplay);
    QString runtimeDir() const { return m_runtimeDir.path(); }
    QString socketName() const;
    QString error() const { return m_error; }

private:
    QTemporaryDir m_runtimeDir;
    QProcess m_process;
    QString m_error;
};

// Whether every program named is installed.
bool programsInstalled(const QStringList& programs);

// Runs program with arguments and input on its standard input, waiting a few
// seconds at most while the event loop keeps running, so that this process can
// answer a request for its own clipboard meanwhile. Returns its standard output;
// ok tells whether it ended with status 0.
QByteArray runClient(const QString& program, const QStringList& arguments,
                     const QByteArray& input = {}, bool* ok = nullptr);

// The clipboard clearer's cases as a table: a secret copied through a real clipboard is
// taken off it once the test's clock passes the delay, or at quit, but never after
// another client has copied something of its own (which the clipboard must read back).
void addClearerRows();
// Runs the current row on clipboard; copyElsewhere copies text from another client and
// pasteElsewhere reads the clipboard from one.
void checkClearerRow(Clipboard& clipboard, const std::function<void(const QString&)>& copyElsewhere,
                     const std::function<QString()>& pasteElsewhere);
