#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "history/historycsv.h"
#include "history/historystore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (Headless::requested(argc, argv))
        return Headless::run(argc, argv);
    if (History::isCsvCommand(argc, argv))
        return History::runCsvCommand(argc, argv, History::HistoryStore::fileBeside(ConfigStore::filePath()));
    QApplication app(argc, argv);
    installQuitSignals(&app);
    Translations::install(ConfigStore::instance()->language());
    MainWindow window;
    window.show();
    return app.exec();
}
