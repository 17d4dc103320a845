#include "cli/CliFormat.h"

namespace {

// Control characters a terminal may act on: C0, DEL and C1.
bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

QString escapedControl(char16_t c)
{
    if (c == u'\r') {
        return QStringLiteral("\\r");
    }
    return c < 0x80 ? QStringLiteral("\\x%1").arg(unsigned(c), 2, 16, QLatin1Char('0'))
                    : QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
}

} // namespace

namespace CliFormat {

QString escapeText(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c.unicode()) && c != u'\n' && c != u'\t') {
            escaped += escapedControl(c.unicode());
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QString escapeField(const QString& field)
{
    QString escaped;
    escaped.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        default:
            if (isControl(c.unicode())) {
                escaped += escapedControl(c.unicode());
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

QString date(const QDateTime& date)
{
    if (!date.isValid()) {
        return QStringLiteral("-");
    }
    return date.toUTC().toString(Qt::ISODate);
}

} // namespace CliFormat
