#pragma once

#include <QString>

// The translation of the text with id, or english where no translation is loaded (tests,
// a build without translations): an id-based lookup without one gives the id itself.
inline QString localizedText(const char* id, const QString& english)
{
    const QString text = qtTrId(id);
    return text == QLatin1String(id) ? english : text;
}
