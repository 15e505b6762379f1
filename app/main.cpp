#include "Unit1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("moxlen-updater"));
    TForm1 Form1;
    Form1.show();
    return application.exec();
}
