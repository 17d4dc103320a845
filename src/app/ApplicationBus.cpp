#include "app/ApplicationBus.h"

#include "app/NetKeyloft_StatusMenuController.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

const QString ApplicationBus::serviceName = QStringLiteral("org.keyloft.Keyloft");
const QString ApplicationBus::objectPath = QStringLiteral("/org/keyloft/Keyloft");

namespace {

constexpr int forwardTimeoutMs = 10000;

} // namespace

ApplicationBus::ApplicationBus(QObject* parent) : QObject(parent) {}

ApplicationBus::~ApplicationBus()
{
    if (m_owned) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(objectPath);
        bus.unregisterService(serviceName);
    }
}

ApplicationBus::Claim ApplicationBus::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return Claim::NoBus;
    }
    // The object goes up before the name, so that a caller who sees the name finds it.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots)) {
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owned = true;
        return Claim::Owned;
    }
    bus.unregisterObject(objectPath);
    return reply.isValid() ? Claim::AlreadyRunning : Claim::NoBus;
}

bool ApplicationBus::forward(Request request, QString* error)
{
    const QString method = request == Request::NewPassword ? QStringLiteral("NewPassword")
                           : request == Request::Find      ? QStringLiteral("Find")
                                                           : QStringLiteral("ShowEditWindow");
    const QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName, objectPath, serviceName, method);
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, forwardTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    *error = reply.errorMessage();
    return false;
}

void ApplicationBus::setController(NetKeyloft_StatusMenuController* controller)
{
    m_controller = controller;
    if (m_controller == nullptr) {
        return;
    }
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const auto& command : waiting) {
        command(*m_controller);
    }
}

void ApplicationBus::perform(std::function<void(NetKeyloft_StatusMenuController&)> command)
{
    if (m_controller == nullptr) {
        m_waiting.push_back(std::move(command));
        return;
    }
    // The caller gets its answer first; a window or a dialog the command opens must
    // not hold the reply back.
    QTimer::singleShot(0, this, [this, command = std::move(command)] {
        if (m_controller != nullptr) {
            command(*m_controller);
        }
    });
}

void ApplicationBus::ShowEditWindow()
{
    perform([](NetKeyloft_StatusMenuController& controller) { controller.openEditWindow(); });
}

void ApplicationBus::NewPassword()
{
    perform([](NetKeyloft_StatusMenuController& controller) {
        controller.openEditWindowCreateNewPassword();
    });
}

void ApplicationBus::Find()
{
    perform([](NetKeyloft_StatusMenuController& controller) { controller.findAction(); });
}

void ApplicationBus::Quit()
{
    perform([](NetKeyloft_StatusMenuController& controller) { controller.quitAction(); });
}
