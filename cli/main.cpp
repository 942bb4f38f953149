#include "cli/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrevale-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREVALE_VERSION));
    return CommandLine().Run(QCoreApplication::arguments());
}
