#include "platform/Log.h"

#include <QDebug>

void logLine(const QString& line)
{
    qWarning().noquote() << line;
}
