#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Display servers that the clipboard tests start for themselves. Each one is
// killed when its object goes, and by the kernel when the test program dies first.

// A private Xvfb on a display number it picks itself.
class XvfbServer {
public:
    ~XvfbServer();

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
    ~WestonCompositor();

    // Starts weston on the X display xDisplay and waits for its socket.
    bool start(const QByteArray& xDisplay);
    QString runtimeDir() const { return m_runtimeDir.path(); }
    static QString socketName() { return QStringLiteral("keyloft-test-wayland"); }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_runtimeDir;
    QProcess m_process;
    QString m_error;
};

// Whether every program named is installed.
bool programsInstalled(const QStringList& programs);

// Runs command (a program and its arguments, split as a shell would) with input on its
// standard input, waiting a few seconds at most while the event loop keeps running, so
// that this process can answer a request for its own clipboard meanwhile. Returns its
// standard output; ok tells whether it ended with status 0.
QByteArray runClient(const QString& command, const QByteArray& input = {}, bool* ok = nullptr);
