#include "app/OSTREVALE.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    OSTREVALE window;
    window.show();
    // The window is on screen first, so a failed opening shows its message over it.
    if (argc >= 2)
        window.OpenIMGFile(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
