#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "config/configstore.h"
#include "config/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (Headless::requested(argc, argv))
        return Headless::run(argc, argv);
    QApplication app(argc, argv);
    installQuitSignals(&app);
    Translations::install(ConfigStore::instance()->language());
    MainWindow window;
    window.show();
    return app.exec();
}
