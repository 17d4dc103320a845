#include "SecretServiceBus.h"

#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int startTimeoutMs = 10000;

const QByteArray keyringPassword("keyloft-test");

// A KeePassXC database whose root group is exposed as a Secret Service collection: the
// exposed group is kept in the database's own custom data, which an XML import sets.
const char* const keepassDatabaseXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<KeePassFile>
  <Meta>
    <CustomData><Item>
      <Key>FDO_SECRETS_EXPOSED_GROUP</Key>
      <Value>{00000000-0000-0000-0000-000000000001}</Value>
    </Item></CustomData>
  </Meta>
  <Root><Group>
    <UUID>AAAAAAAAAAAAAAAAAAAAAQ==</UUID>
    <Name>Keyloft test</Name>
  </Group></Root>
</KeePassFile>
)";

// Its integration on, and nothing that would ask a question no test answers. Saving
// after every change is off: with it, KeePassXC crashes in its own background save
// under a quick series of writes.
const char* const keepassSettings = R"([General]
SingleInstance=false
AutoSaveAfterEveryChange=false

[FdoSecrets]
Enabled=true
ConfirmAccessItem=false
ConfirmDeleteItem=false
)";

QString busConfig(const QString& dir, const QString& refusals)
{
    return QStringLiteral(
               R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <servicedir>%1/services</servicedir>
  <!-- dbus-daemon's own default, which a desktop's session bus may keep: a client
       awaiting more replies than this at once has the rest refused. -->
  <limit name="max_replies_per_connection">128</limit>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>%2
  </policy>
</busconfig>
)")
        .arg(dir, refusals);
}

// The bus and the keyring end with the test, even when it crashes.
void endWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stop(QProcess& process)
{
    // One that does not end in time is killed when its QProcess goes.
    process.terminate();
    process.waitForFinished(2000);
}

} // namespace

SecretServiceBus::Provider SecretServiceBus::providerUnderTest()
{
    return qgetenv("KEYLOFT_TEST_SECRET_SERVICE") == "keepassxc" ? Provider::KeePassXC
                                                                 : Provider::GnomeKeyring;
}

SecretServiceBus::SecretServiceBus(Service service)
{
    if (!m_dir.isValid() || !writeFiles(service)) {
        m_error = QStringLiteral("cannot write the bus's files");
        return;
    }
    if (!startBus()) {
        return;
    }
    if (service == Service::UnlockedKeyring && providerUnderTest() == Provider::KeePassXC) {
        // KeePassXC owns its name before it has unlocked its database.
        m_ready = startKeePassXC() &&
                  waitForAnswer(QStringLiteral("/org/freedesktop/secrets/aliases/default"),
                                QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                                {QStringLiteral("org.freedesktop.Secret.Collection"),
                                 QStringLiteral("Locked")},
                                "(<false>,)");
    } else if (service != Service::None && service != Service::NeverStarting) {
        QStringList arguments{QStringLiteral("--foreground"),
                              QStringLiteral("--components=secrets")};
        const bool unlock = service != Service::KeyringWithoutDefault;
        if (unlock) {
            arguments.append(QStringLiteral("--unlock"));
        }
        m_ready = startProvider(QStringLiteral("gnome-keyring-daemon"), arguments,
                                unlock ? keyringPassword : QByteArray()) &&
                  waitForAnswer(QStringLiteral("/org/freedesktop/secrets"),
                                QStringLiteral("org.freedesktop.DBus.Peer.Ping"), {}, "()");
    } else {
        m_ready = true;
    }
}

SecretServiceBus::~SecretServiceBus()
{
    stop(m_provider);
    stop(m_bus);
}

bool SecretServiceBus::writeFiles(Service service)
{
    const QString dir = m_dir.path();
    for (const char* folder : {"services", "home/data", "home/config/keepassxc", "run"}) {
        if (!QDir(dir).mkpath(QString::fromLatin1(folder))) {
            return false;
        }
    }
    QFile::setPermissions(dir + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString refusals = service == Service::RefusingNewSecrets
                                 ? QStringLiteral("\n    <deny send_interface="
                                                  "\"org.freedesktop.Secret.Item\" "
                                                  "send_member=\"SetSecret\"/>")
                                 : QString();
    if (!writeFileBytes(dir + QStringLiteral("/bus.conf"), busConfig(dir, refusals).toUtf8())) {
        return false;
    }
    if (service == Service::NeverStarting) {
        // The bus accepts the activation and then waits for a name that never comes.
        return writeFileBytes(dir + QStringLiteral("/services/org.freedesktop.secrets.service"),
                              "[D-BUS Service]\nName=org.freedesktop.secrets\nExec=/bin/sleep 5\n");
    }
    // The keyring's prompter, so that an unlock prompt is really tried (and fails,
    // there being no display).
    QFile::copy(
        QStringLiteral("/usr/share/dbus-1/services/org.gnome.keyring.SystemPrompter.service"),
        dir + QStringLiteral("/services/org.gnome.keyring.SystemPrompter.service"));
    return true;
}

bool SecretServiceBus::startBus()
{
    m_bus.setProgram(QStringLiteral("dbus-daemon"));
    endWithParent(m_bus);
    m_bus.setArguments(
        {QStringLiteral("--config-file=") + m_dir.path() + QStringLiteral("/bus.conf"),
         QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    m_bus.setProcessChannelMode(QProcess::SeparateChannels);
    m_bus.start();
    while (m_bus.waitForReadyRead(startTimeoutMs) && !m_bus.canReadLine()) {
    }
    m_address = m_bus.readLine().trimmed();
    if (m_address.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon did not start: ") +
                  QString::fromLocal8Bit(m_bus.readAllStandardError());
        return false;
    }
    return true;
}

QProcessEnvironment SecretServiceBus::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString dir = m_dir.path();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(m_address));
    environment.insert(QStringLiteral("HOME"), dir + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir + QStringLiteral("/home/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/home/config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir + QStringLiteral("/home/cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir + QStringLiteral("/run"));
    // A prompt shown on a display would wait for an answer that no test gives;
    // KeePassXC draws its window offscreen.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// The provider's input is written at once: nothing runs an event loop that would
// write it later.
bool SecretServiceBus::startProvider(const QString& program, const QStringList& arguments,
                                     const QByteArray& input)
{
    m_provider.setProcessEnvironment(environment());
    endWithParent(m_provider);
    m_provider.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_provider.setStandardOutputFile(QProcess::nullDevice());
    m_provider.start(program, arguments);
    if (!m_provider.waitForStarted(startTimeoutMs)) {
        m_error = program + QStringLiteral(" did not start (is it installed?)");
        return false;
    }
    if (!input.isEmpty()) {
        m_provider.write(input);
        m_provider.waitForBytesWritten(startTimeoutMs);
    }
    m_provider.closeWriteChannel();
    return true;
}

// KeePassXC opens the database given on its command line with the password on its
// standard input, and serves the exposed group as the default collection.
bool SecretServiceBus::startKeePassXC()
{
    const QString dir = m_dir.path();
    const QString database = dir + QStringLiteral("/keyloft.kdbx");
    const QByteArray password = keyringPassword + '\n';
    if (!writeFileBytes(dir + QStringLiteral("/home/config/keepassxc/keepassxc.ini"),
                        keepassSettings) ||
        !writeFileBytes(dir + QStringLiteral("/database.xml"), keepassDatabaseXml)) {
        m_error = QStringLiteral("cannot write KeePassXC's files");
        return false;
    }
    QProcess import;
    import.setProcessEnvironment(environment());
    import.start(QStringLiteral("keepassxc-cli"),
                 {QStringLiteral("import"), QStringLiteral("-q"), QStringLiteral("-p"),
                  QStringLiteral("-t"), QStringLiteral("100"),
                  dir + QStringLiteral("/database.xml"), database});
    import.write(password + password);
    import.closeWriteChannel();
    if (!import.waitForFinished(startTimeoutMs) || import.exitCode() != 0) {
        m_error = QStringLiteral("keepassxc-cli could not make the test database: ") +
                  QString::fromLocal8Bit(import.readAllStandardError());
        return false;
    }
    return startProvider(QStringLiteral("keepassxc"), {QStringLiteral("--pw-stdin"), database},
                         password);
}

bool SecretServiceBus::waitForAnswer(const QString& path, const QString& method,
                                     const QStringList& arguments, const QByteArray& answer)
{
    QDeadlineTimer deadline(startTimeoutMs);
    while (call(path, method, arguments) != answer) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("the Secret Service was not ready in time");
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

QByteArray SecretServiceBus::call(const QString& path, const QString& method,
                                  const QStringList& arguments) const
{
    QProcess gdbus;
    gdbus.setProcessEnvironment(environment());
    gdbus.start(QStringLiteral("gdbus"),
                QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                            QStringLiteral("--dest"), QStringLiteral("org.freedesktop.secrets"),
                            QStringLiteral("--object-path"), path, QStringLiteral("--method"),
                            method} +
                    arguments);
    if (!gdbus.waitForFinished(startTimeoutMs) || gdbus.exitCode() != 0) {
        return {};
    }
    return gdbus.readAllStandardOutput().trimmed();
}

void SecretServiceBus::makeSessionBus()
{
    if (!m_sessionBus) {
        m_sessionBus.emplace("DBUS_SESSION_BUS_ADDRESS", m_address);
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address);
    }
}

bool SecretServiceBus::lockDefaultCollection() const
{
    return !call(QStringLiteral("/org/freedesktop/secrets"),
                 QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                 {QStringLiteral("['/org/freedesktop/secrets/collection/login']")})
                .isEmpty();
}
