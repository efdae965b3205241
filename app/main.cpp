#include "app/commandaudit.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "archive/backupcommand.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "history/historycsv.h"
#include "history/historystore.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {

// Every windowless mode's options, for the parse and for --help.
void addOptions(QCommandLineParser *parser)
{
    parser->addHelpOption();
    parser->addOption(
        {QStringLiteral("headless"),
         QCoreApplication::translate("main", "无窗口运行：打开 Configure.xml 的全部设备，"
                                             "轮询、记录历史并发布到消息服务器，直到收到 SIGTERM/SIGINT。")});
    BackupCommand::addOptions(parser);
    parser->addOption({QStringLiteral("history-csv"),
                       QCoreApplication::translate(
                           "main", "以 CSV 输出记录的状态时段 (device,state,start,end,seconds,program)，"
                                   "可加 --since YYYY-MM-DD 和 --device NAME。")});
}

} // namespace

int main(int argc, char *argv[])
{
    // The mode is decided before any application object exists: only the
    // window needs a display. Each windowless mode reads its own options.
    QCommandLineParser options;
    addOptions(&options);
    options.parse(BackupCommand::arguments(argc, argv));
    if (options.isSet(QStringLiteral("headless")))
        return Headless::run(argc, argv);
    if (options.isSet(QStringLiteral("history-csv")))
        return History::runCsvCommand(argc, argv, History::HistoryStore::fileBeside(ConfigStore::filePath()));
    // Help and the windowless modes need no display.
    if (options.isSet(QStringLiteral("help")) || BackupCommand::wanted(options)) {
        QCoreApplication app(argc, argv);
        Translations::install(ConfigStore::instance()->language());
        if (BackupCommand::wanted(options)) {
            CommandAudit audit;
            return BackupCommand::run(options, [&audit](const DeviceRecord &device, const QString &kind,
                                                        const QString &target, int result, qint64 bytes) {
                audit.note(device, kind, target, result, bytes);
            });
        }
        QCommandLineParser help; // the texts again, in the configured language
        addOptions(&help);
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
