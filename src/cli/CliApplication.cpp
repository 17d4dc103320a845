#include "cli/CliApplication.h"

#include "cli/CliCommand.h"
#include "cli/CliFormat.h"
#include "cli/CliHelp.h"
#include "cli/CliSession.h"
#include "cli/Terminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringDecoder>
#include <QTranslator>

namespace {

bool verboseLog = false;

// The keychain layer logs its failures; keyloft-cli prints its own message for each, so
// the log lines are shown only with --verbose.
void logFilter(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (verboseLog || type == QtCriticalMsg || type == QtFatalMsg) {
        Terminal::writeErr(message + QLatin1Char('\n'));
    }
}

void addOptions(QCommandLineParser& parser, const std::vector<CliOptionSpec>& specs)
{
    for (const CliOptionSpec& spec : specs) {
        parser.addOption(QCommandLineOption(spec.names, spec.description, spec.valueName));
    }
}

void parseOrFail(QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.parse(arguments)) {
        failUsage(parser.errorText());
    }
}

// Takes the global options that parser found, over those found before.
void readGlobalOptions(const QCommandLineParser& parser, CliGlobalOptions& options)
{
    if (parser.isSet(QStringLiteral("keychain"))) {
        options.keychainPath = parser.values(QStringLiteral("keychain")).last();
    }
    if (parser.isSet(QStringLiteral("password-fd"))) {
        bool ok = false;
        const int fd = parser.values(QStringLiteral("password-fd")).last().toInt(&ok);
        if (!ok || fd < 0) {
            failUsage(QStringLiteral("--password-fd takes a file descriptor number."));
        }
        options.passwordFd = fd;
    }
    options.verbose = options.verbose || parser.isSet(QStringLiteral("verbose"));
}

int runCommand(const CliCommandSpec& command, const QStringList& arguments, CliGlobalOptions global)
{
    QCommandLineParser parser;
    addOptions(parser, command.options);
    addOptions(parser, cliGlobalOptions());
    parseOrFail(parser, arguments);
    if (parser.isSet(QStringLiteral("help"))) {
        Terminal::writeOut(CliHelp::forCommand(command));
        return ExitSuccess;
    }
    readGlobalOptions(parser, global);
    verboseLog = global.verbose;
    CliInvocation invocation(parser, global);
    invocation.setArguments(parser.positionalArguments());
    const auto count = invocation.arguments().size();
    if (count < command.minArguments || count > command.maxArguments) {
        failUsage(QStringLiteral("%1 takes %2.")
                      .arg(command.name, command.synopsis.isEmpty() ? QStringLiteral("no arguments")
                                                                    : command.synopsis));
    }
    CliSession session(global);
    return command.run(invocation, session);
}

int runHelp(const QStringList& positional)
{
    if (positional.size() < 2) {
        Terminal::writeOut(CliHelp::general());
        return ExitSuccess;
    }
    const CliCommandSpec* command = findCliCommand(positional.at(1));
    if (command == nullptr) {
        failUsage(QStringLiteral("there is no command \"%1\".").arg(positional.at(1)));
    }
    Terminal::writeOut(CliHelp::forCommand(*command));
    return ExitSuccess;
}

int dispatch(const QStringList& arguments)
{
    QCommandLineParser global;
    addOptions(global, cliGlobalOptions());
    global.addOption(QCommandLineOption(QStringLiteral("version")));
    // Options after the command's name are the command's to parse.
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parseOrFail(global, arguments);
    CliGlobalOptions options;
    readGlobalOptions(global, options);
    const QStringList positional = global.positionalArguments();
    if (global.isSet(QStringLiteral("version"))) {
        Terminal::writeOut(CliHelp::version());
        return ExitSuccess;
    }
    if (global.isSet(QStringLiteral("help")) ||
        (!positional.isEmpty() && positional.first() == QStringLiteral("help"))) {
        return runHelp(positional);
    }
    if (positional.isEmpty()) {
        failUsage(QStringLiteral("no command given."));
    }
    const CliCommandSpec* command = findCliCommand(positional.first());
    if (command == nullptr) {
        failUsage(QStringLiteral("there is no command \"%1\".").arg(positional.first()));
    }
    return runCommand(*command, QStringList{arguments.first()} + positional.mid(1), options);
}

// The bytes of an argument for a message: printable ASCII as it is, others as \xHH.
QString shownBytes(const QByteArray& bytes)
{
    QString shown;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        shown += value >= 0x20 && value < 0x7f
                     ? QString(QLatin1Char(byte))
                     : QStringLiteral("\\x%1").arg(unsigned(value), 2, 16, QLatin1Char('0'));
    }
    return shown;
}

// The arguments as text. Qt keeps file names as text too, so a file name that is not
// UTF-8 could not be opened as given either: every argument must be UTF-8.
QStringList decodedArguments(const QByteArrayList& arguments)
{
    QStringList decoded;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(arguments.at(i));
        if (utf8.hasError()) {
            failUsage(QStringLiteral("argument %1 (\"%2\") is not UTF-8 text; keyloft-cli takes "
                                     "texts and file names in UTF-8 only.")
                          .arg(i)
                          .arg(shownBytes(arguments.at(i))));
        }
        decoded.append(text);
    }
    return decoded;
}

} // namespace

int runCli(const QByteArrayList& arguments)
{
    qInstallMessageHandler(logFilter);
    QTranslator texts;
    if (texts.load(QStringLiteral(":/i18n/keyloft_en.qm"))) {
        QCoreApplication::installTranslator(&texts);
    }
    try {
        return dispatch(decodedArguments(arguments));
    } catch (const CliFailure& failure) {
        // Messages quote labels and file names, which must not steer the terminal.
        QString text = QStringLiteral("keyloft-cli: ") + CliFormat::escapeText(failure.message) +
                       QLatin1Char('\n');
        if (failure.exitCode == ExitUsage) {
            text += QStringLiteral("Try \"keyloft-cli --help\".\n");
        }
        Terminal::writeErr(text);
        return failure.exitCode;
    }
}
