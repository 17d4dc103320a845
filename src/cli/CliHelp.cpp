#include "cli/CliHelp.h"

#include <QCoreApplication>

namespace {

QString optionLine(const CliOptionSpec& option)
{
    QStringList names;
    for (const QString& name : option.names) {
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    QString head = names.join(QStringLiteral(", "));
    if (!option.valueName.isEmpty()) {
        head += QLatin1Char(' ') + option.valueName;
    }
    return QStringLiteral("  ") + head.leftJustified(24) + QLatin1Char(' ') + option.description +
           QLatin1Char('\n');
}

QString optionLines(const std::vector<CliOptionSpec>& options)
{
    QString text;
    for (const CliOptionSpec& option : options) {
        text += optionLine(option);
    }
    return text;
}

// Breaks text into lines of at most width characters at spaces.
QString wrapped(const QString& text, qsizetype width = 80)
{
    QString out;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            out += QLatin1Char('\n');
            lineLength = 0;
        } else if (lineLength > 0) {
            out += QLatin1Char(' ');
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    return out;
}

} // namespace

namespace CliHelp {

QString general()
{
    QString text = QStringLiteral(
        "Usage: keyloft-cli [--keychain PATH] [--password-fd N] COMMAND [ARGUMENTS]\n\n"
        "Reads and changes Keyloft's entries from scripts and terminals, in the keychain the\n"
        "application uses: the keychain file chosen in the application, else the desktop's\n"
        "default keychain.\n\nCommands:\n");
    for (const CliCommandSpec& command : cliCommands()) {
        text += QStringLiteral("  ") + command.name.leftJustified(16) + command.summary +
                QLatin1Char('\n');
    }
    text += QStringLiteral("\nOptions of every command:\n") + optionLines(cliGlobalOptions()) +
            QStringLiteral("  --version                Show the version.\n\n"
                           "Arguments must be UTF-8. Labels and user names may have up to 4,096 "
                           "characters,\nnotes up to 2,000; a password may hold no NUL byte.\n\n"
                           "\"keyloft-cli help COMMAND\" shows a command's options. Exit status: "
                           "0 done, 1 failed, 2 wrong usage.\n");
    return text;
}

QString forCommand(const CliCommandSpec& command)
{
    QString text = QStringLiteral("Usage: keyloft-cli %1 [OPTIONS]").arg(command.name);
    if (!command.synopsis.isEmpty()) {
        text += QLatin1Char(' ') + command.synopsis;
    }
    text += QStringLiteral("\n\n") + command.summary + QLatin1Char('\n');
    if (!command.details.isEmpty()) {
        text += QLatin1Char('\n') + wrapped(command.details) + QLatin1Char('\n');
    }
    if (!command.options.empty()) {
        text += QStringLiteral("\nOptions:\n") + optionLines(command.options);
    }
    text += QStringLiteral("\nOptions of every command:\n") + optionLines(cliGlobalOptions());
    return text;
}

QString version()
{
    return QStringLiteral("keyloft-cli %1\n").arg(QCoreApplication::applicationVersion());
}

} // namespace CliHelp
