#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "archive/backupcommand.h"
#include "config/configstore.h"
#include "config/translations.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QCommandLineParser options;
    options.addHelpOption();
    BackupCommand::addOptions(&options);
    options.parse(BackupCommand::arguments(argc, argv));
    // Help and the windowless modes need no display.
    if (options.isSet(QStringLiteral("help")) || BackupCommand::wanted(options)) {
        QCoreApplication app(argc, argv);
        Translations::install(ConfigStore::instance()->language());
        if (BackupCommand::wanted(options))
            return BackupCommand::run(options);
        QCommandLineParser help; // the texts again, in the configured language
        help.addHelpOption();
        BackupCommand::addOptions(&help);
        fputs(qPrintable(help.helpText()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    installQuitSignals(&app);
    Translations::install(ConfigStore::instance()->language());
    MainWindow window;
    window.show();
    return app.exec();
}
