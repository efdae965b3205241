#include "app/mainwindow.h"
#include "app/quitsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQuitSignals(&app);
    MainWindow window;
    window.show();
    return app.exec();
}
