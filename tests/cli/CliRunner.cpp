#include "CliRunner.h"

#include "ScriptedDialogs.h"
#include "platform/keychain/FileKeychainServices.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

const QByteArray CliRunner::keychainPassword = QByteArrayLiteral("keychain p\xc3\xa4ss");

namespace {
constexpr int runTimeoutMs = 60000;
}

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

CliRunner::CliRunner(const std::optional<QProcessEnvironment>& environment)
{
    if (environment) {
        m_environment = *environment;
        return;
    }
    m_environment = QProcessEnvironment::systemEnvironment();
    const QString home = m_folder.filePath(QStringLiteral("home"));
    const QString runtime = m_folder.filePath(QStringLiteral("run"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment.insert(QStringLiteral("HOME"), home);
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                         QStringLiteral("unix:path=") +
                             m_folder.filePath(QStringLiteral("no-bus")));
    m_environment.remove(QStringLiteral("DISPLAY"));
    m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
}

void CliRunner::prepare(QProcess& process, const QStringList& arguments,
                        const std::optional<QByteArray>& password)
{
    QProcessEnvironment environment = m_environment;
    QStringList shellArguments{QStringLiteral("-c")};
    if (password) {
        // The password reaches the program on descriptor 3, as a script would give it.
        const QString file = path(QStringLiteral("password-%1").arg(++m_passwordFiles));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(*password + '\n');
        environment.insert(QStringLiteral("CLI_TEST_PASSWORD_FILE"), file);
        shellArguments << m_launcher +
                              QStringLiteral(" \"$0\" \"$@\" 3<\"$CLI_TEST_PASSWORD_FILE\"");
    } else {
        shellArguments << m_launcher + QStringLiteral(" \"$0\" \"$@\"");
    }
    shellArguments << QStringLiteral(KEYLOFT_CLI_PATH) << arguments;
    process.setProcessEnvironment(environment);
    // Without a controlling terminal, as under a script or a service: nothing can be
    // asked on /dev/tty, even when the tests are started from a terminal.
    process.setChildProcessModifier([] { ::setsid(); });
    process.setWorkingDirectory(m_folder.path());
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments(shellArguments);
}

CliRunner::Result CliRunner::run(const QStringList& arguments, const QByteArray& input,
                                 const std::optional<QByteArray>& password)
{
    QProcess process;
    prepare(process, arguments, password);
    process.start();
    Result result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(runTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QStringList CliRunner::onKeychainArguments(const QStringList& arguments) const
{
    return QStringList{QStringLiteral("--keychain"), keychainPath(),
                       QStringLiteral("--password-fd"), QStringLiteral("3")} +
           arguments;
}

CliRunner::Result CliRunner::onKeychain(const QStringList& arguments, const QByteArray& input)
{
    return run(onKeychainArguments(arguments), input, keychainPassword);
}

void CliRunner::start(QProcess& process, const QStringList& arguments)
{
    prepare(process, onKeychainArguments(arguments), keychainPassword);
    process.start();
    process.waitForStarted(runTimeoutMs);
}

// Made in this process, since keyloft-cli create-keychain always uses the standard cost.
bool CliRunner::createKeychain()
{
    ScriptedDialogs dialogs;
    dialogs.queueNewPassword(QString::fromUtf8(keychainPassword));
    FileKeychainServices services(dialogs, FileKeychainKdf::minimum());
    std::unique_ptr<Keychain> keychain;
    return services.create(keychainPath(), keychain) == errSecSuccess;
}

QByteArray CliRunner::password(const QString& label)
{
    return onKeychain({QStringLiteral("show"), QStringLiteral("--password"), label}).out;
}

QStringList CliRunner::labels(const QStringList& options)
{
    const QByteArray listed = onKeychain(QStringList{QStringLiteral("list")} + options).out;
    QStringList labels;
    for (const QString& line : QString::fromUtf8(listed).split(u'\n', Qt::SkipEmptyParts)) {
        labels << line.section(u'\t', 0, 0);
    }
    return labels;
}
