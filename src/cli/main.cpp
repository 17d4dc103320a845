#include "cli/CliApplication.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Keyloft"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYLOFT_VERSION));
    return runCli(QCoreApplication::arguments());
}
