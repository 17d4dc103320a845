#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class CliSession;

// The exit statuses of keyloft-cli.
enum CliExitCode : int { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// Ends a command: thrown where it fails, caught once in runCli, which prints the
// message to standard error and exits with the code.
struct CliFailure {
    int exitCode = ExitFailure;
    QString message;
};

[[noreturn]] void failUsage(const QString& message);
[[noreturn]] void failOperation(const QString& message);

// One option of a command, as QCommandLineParser takes it.
struct CliOptionSpec {
    CliOptionSpec(QStringList names, QString description, QString valueName = QString())
        : names(std::move(names)), description(std::move(description)),
          valueName(std::move(valueName))
    {}
    QStringList names;
    QString description;
    QString valueName; // empty for a flag
};

// The options that every command accepts, before or after the command's name.
struct CliGlobalOptions {
    std::optional<QString> keychainPath;
    std::optional<int> passwordFd;
    bool verbose = false;
};

// A parsed command line: the command's own arguments and options, and the global ones.
class CliInvocation {
public:
    CliInvocation(const QCommandLineParser& parser, CliGlobalOptions global)
        : m_parser(parser), m_global(std::move(global))
    {}

    const QStringList& arguments() const { return m_arguments; }
    void setArguments(QStringList arguments) { m_arguments = std::move(arguments); }
    const QString& argument(qsizetype position) const { return m_arguments.at(position); }
    bool isSet(const QString& option) const { return m_parser.isSet(option); }
    // The last value given for the option, or no value.
    std::optional<QString> value(const QString& option) const;
    const CliGlobalOptions& global() const { return m_global; }

private:
    const QCommandLineParser& m_parser;
    QStringList m_arguments;
    CliGlobalOptions m_global;
};

// One command: its name, arguments, help and what runs it.
struct CliCommandSpec {
    QString name;
    QString synopsis; // the arguments after the name, e.g. "LABEL NEW"
    int minArguments = 0;
    int maxArguments = 0;
    QString summary;
    QString details;
    std::vector<CliOptionSpec> options;
    int (*run)(const CliInvocation& invocation, CliSession& session) = nullptr;
};

// Every command, in the order the help lists them.
const std::vector<CliCommandSpec>& cliCommands();
const CliCommandSpec* findCliCommand(const QString& name);
// The options every command takes.
const std::vector<CliOptionSpec>& cliGlobalOptions();
