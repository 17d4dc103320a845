#pragma once

#include <QObject>

#include <functional>
#include <vector>

class NetKeyloft_StatusMenuController;

// The running program's name and commands on the session bus, so that one instance
// runs per session: a second start hands its request to the first and ends.
class ApplicationBus final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.keyloft.Keyloft")

public:
    static const QString serviceName;
    static const QString objectPath;

    // What a start asks of the program: its menu only, or a window as well.
    enum class Request { None, ShowEditWindow, NewPassword, Find };
    enum class Claim { Owned, AlreadyRunning, NoBus };

    explicit ApplicationBus(QObject* parent = nullptr);
    ~ApplicationBus() override;

    // Takes the program's name on the session bus and offers the commands there.
    // AlreadyRunning when another instance holds the name; NoBus without a session bus.
    Claim claim();
    // Asks the instance that holds the name to carry out the request (ShowEditWindow
    // for None). False, with the reason in *error, when it did not answer.
    static bool forward(Request request, QString* error);
    // From here on the commands reach the controller; those that came while the
    // program was still launching are carried out now.
    void setController(NetKeyloft_StatusMenuController* controller);

public Q_SLOTS:
    void ShowEditWindow();
    void NewPassword();
    // Opens the search box near the pointer.
    void Find();
    void Quit();

private:
    void perform(std::function<void(NetKeyloft_StatusMenuController&)> command);

    NetKeyloft_StatusMenuController* m_controller = nullptr;
    std::vector<std::function<void(NetKeyloft_StatusMenuController&)>> m_waiting;
    bool m_owned = false;
};
