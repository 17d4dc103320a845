#include "cli/CliFormat.h"

namespace CliFormat {

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
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
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
