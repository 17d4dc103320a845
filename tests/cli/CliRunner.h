#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// Arguments written as one text, split at its spaces.
QStringList words(const char* text);

// Runs the real keyloft-cli program for a test, without a controlling terminal, in a
// home, configuration and runtime folder of its own, so the settings of the user running the tests
// are never touched. Without a Secret Service bus given, the child finds no session bus at all, so
// no default keychain: every keychain is a file in the test's folder.
class CliRunner {
public:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // environment: a Secret Service bus's environment for the child, or none.
    explicit CliRunner(const std::optional<QProcessEnvironment>& environment = std::nullopt);

    static const QByteArray keychainPassword;

    QString path(const QString& name) const { return m_folder.filePath(name); }
    QString keychainPath() const { return path(QStringLiteral("test.keychain")); }

    // Runs keyloft-cli with arguments, input on its standard input and, when
    // keychainPassword is given, that password on descriptor 3 (pass --password-fd 3).
    Result run(const QStringList& arguments, const QByteArray& input = QByteArray(),
               const std::optional<QByteArray>& password = std::nullopt);
    // run() on the test keychain file with its right password.
    Result onKeychain(const QStringList& arguments, const QByteArray& input = QByteArray());

    // Starts keyloft-cli on the test keychain without waiting for it; its standard
    // input stays open for the test to write.
    void start(QProcess& process, const QStringList& arguments);

    // Creates the test keychain file (cheapest key derivation, keychainPassword).
    bool createKeychain();

    // What `show --password LABEL` prints on the test keychain.
    QByteArray password(const QString& label);

    // The entries' labels as `list` prints them with these options (creation order unless
    // given).
    QStringList labels(const QStringList& options = {QStringLiteral("--sort"),
                                                     QStringLiteral("index")});

    QProcessEnvironment& environment() { return m_environment; }

    // The shell commands that start keyloft-cli for later runs, its arguments following
    // as "$0" "$@" (a command may change them first): "exec" unless set.
    void setLauncher(const QString& shellCommands) { m_launcher = shellCommands; }

private:
    QStringList onKeychainArguments(const QStringList& arguments) const;
    void prepare(QProcess& process, const QStringList& arguments,
                 const std::optional<QByteArray>& password);

    QTemporaryDir m_folder;
    QProcessEnvironment m_environment;
    int m_passwordFiles = 0;
    QString m_launcher = QStringLiteral("exec");
};
