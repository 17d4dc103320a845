#include "platform/login/DesktopEntryText.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace DesktopEntryText {

namespace {

const QLatin1String mainGroup("[Desktop Entry]");
const QLatin1String execKey("Exec");
// Our own key: the desktop has no notion of starting a program hidden, and
// its "Hidden" key means that the entry is deleted.
const QLatin1String hiddenKey("X-Keyloft-Hidden");

// The escapes of a string value: backslash, newline, tab, carriage return.
QString escapeString(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString unescapeString(const QString& text)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        const QChar next = text[++i];
        switch (next.unicode()) {
        case 's':
            plain += QLatin1Char(' ');
            break;
        case 'n':
            plain += QLatin1Char('\n');
            break;
        case 't':
            plain += QLatin1Char('\t');
            break;
        case 'r':
            plain += QLatin1Char('\r');
            break;
        case '\\':
            plain += QLatin1Char('\\');
            break;
        default:
            plain += QLatin1Char('\\');
            plain += next;
        }
    }
    return plain;
}

bool isReservedInExec(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#`()");
    return reserved.contains(c);
}

// The key and value of a "Key=Value" line, the value still escaped.
std::optional<std::pair<QString, QString>> keyAndValue(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        return std::nullopt;
    }
    return std::pair{line.left(equals).trimmed(), line.mid(equals + 1).trimmed()};
}

} // namespace

QString execValueForProgram(const QString& path)
{
    QString argument = path;
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));
    if (std::any_of(argument.cbegin(), argument.cend(), isReservedInExec)) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : std::as_const(argument)) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\')) {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        argument = quoted + QLatin1Char('"');
    }
    // Quoting comes first and the string escapes on top, as readers undo them
    // in the opposite order.
    return escapeString(argument);
}

QString programFromExecValue(const QString& value)
{
    const QString command = unescapeString(value);
    qsizetype i = 0;
    while (i < command.size() && command[i].isSpace()) {
        ++i;
    }
    QString program;
    if (i < command.size() && command[i] == QLatin1Char('"')) {
        for (++i; i < command.size() && command[i] != QLatin1Char('"'); ++i) {
            if (command[i] == QLatin1Char('\\') && i + 1 < command.size()) {
                ++i;
            }
            program += command[i];
        }
    } else {
        for (; i < command.size() && !command[i].isSpace(); ++i) {
            program += command[i];
        }
    }
    return program.replace(QLatin1String("%%"), QLatin1String("%"));
}

QByteArray entryForItem(const LoginItem& item)
{
    QString name = QFileInfo(item.path).fileName();
    if (name.isEmpty()) {
        name = item.path;
    }
    QStringList lines = {
        mainGroup,
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=") + escapeString(name),
        QLatin1String(execKey) + QLatin1Char('=') + execValueForProgram(item.path),
        QStringLiteral("Terminal=false"),
        QStringLiteral("X-GNOME-Autostart-enabled=true"),
    };
    if (item.hidden) {
        lines.append(QLatin1String(hiddenKey) + QLatin1String("=true"));
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

std::optional<LoginItem> itemFromEntry(const QByteArray& text)
{
    bool inMainGroup = false;
    std::optional<QString> exec;
    bool hidden = false;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = (line == mainGroup);
            continue;
        }
        if (!inMainGroup || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const auto pair = keyAndValue(line);
        if (!pair) {
            continue;
        }
        if (pair->first == execKey) {
            exec = pair->second;
        } else if (pair->first == hiddenKey) {
            hidden = (pair->second == QLatin1String("true"));
        }
    }
    if (!exec) {
        return std::nullopt;
    }
    return LoginItem{programFromExecValue(*exec), hidden};
}

} // namespace DesktopEntryText
