// vexa-screenshots: renders the README's pictures of the program at work on
// the two demo controllers. Run by scripts/screenshots.sh in a real X server,
// in the folder whose Configure.xml lists the demo's mill and lathe; it drives
// the main window as an operator does and saves each view as a PNG.
//
// Usage: vexa-screenshots [--size WxH] [--history-only] <output folder> [files to drop on the lathe's
// card...]
#include "app/mainwindow.h"
#include "archive/archiveguard.h"
#include "archive/archivestore.h"
#include "bench/historydata.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "devices/statelook.h"
#include "devices/uploaddialog.h"
#include "history/stopreasons.h"
#include "historyview/historytimeline.h"
#include "historyview/historywindow.h"
#include "historyview/shophistory.h"
#include "views/compareview.h"
#include "views/historydialog.h"
#include "views/setform.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

using namespace WindowDriver;

namespace {

const QSize WindowSize(1100, 700);
constexpr int ConnectTimeoutMs = 20000;
constexpr int ViewTimeoutMs = 15000;
constexpr int IdleTimeoutMs = 90000; // the demo's machines pause every minute

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

class Renderer
{
public:
    Renderer(MainWindow *window, const QString &folder) : m_window(window), m_folder(folder) {}

    bool failed() const { return m_failed; }

    // Waits until `ready` holds; a view that never shows its content is a
    // failure, not a picture.
    bool waitFor(const std::function<bool()> &ready, const QString &what, int timeoutMs = ViewTimeoutMs)
    {
        if (QTest::qWaitFor(ready, timeoutMs))
            return true;
        err() << "vexa-screenshots: " << what << " did not show\n";
        err().flush();
        m_failed = true;
        return false;
    }

    void shoot(QWidget *window, const QString &name)
    {
        // Let pending layouts and repaints reach the X server first.
        QTest::qWait(300);
        const QPixmap picture = window->screen()->grabWindow(window->winId());
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        if (picture.isNull() || !picture.save(path)) {
            err() << "vexa-screenshots: cannot write " << path << '\n';
            m_failed = true;
        }
    }
    void shoot(const QString &name) { shoot(m_window, name); }

    QWidget *show(const char *button, const char *form)
    {
        showPage(m_window, button);
        return named<QWidget>(m_window, form);
    }

    // A view keeps showing the device selected before until its next reads;
    // a few polls later it shows the one selected now.
    static void settle() { QTest::qWait(3 * 500 + 200); }

    // Position and IO of the selected machine, once they show its live values.
    void monitor(const QString &machine)
    {
        QWidget *pos = show("radioButton_POS", "PosForm");
        auto *axes = named<QTableWidget>(pos, "tableWidget_axis");
        settle();
        if (waitFor([&] { return axes->rowCount() > 0; }, machine + QStringLiteral(" position")))
            shoot(QStringLiteral("pos-") + machine);

        QWidget *io = show("radioButton_IO", "IoForm");
        auto *inputs = named<QTableWidget>(io, "tableWidget_input");
        // Lamps past the model's signal table are hidden once the model is known.
        auto lastLampHidden = [&] {
            QWidget *holder = inputs->cellWidget(7, 7);
            auto *lamp = holder ? holder->findChild<QCheckBox *>() : nullptr;
            return lamp && !lamp->isVisibleTo(io);
        };
        settle();
        if (waitFor(lastLampHidden, machine + QStringLiteral(" IO")))
            shoot(QStringLiteral("io-") + machine);
    }

    // Runs `act` on the first modal window for which `wanted` holds, from
    // inside its event loop: the message boxes wait for an answer.
    static void whenModal(const std::function<bool(QWidget *)> &wanted,
                          const std::function<void(QWidget *)> &act)
    {
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, wanted, act] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !wanted(modal))
                return;
            timer->stop();
            timer->deleteLater();
            act(modal);
        });
        timer->start(50);
    }

    static void press(QWidget *window, QMessageBox::ButtonRole role)
    {
        auto *box = qobject_cast<QMessageBox *>(window);
        for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
            if (box->buttonRole(button) == role) {
                button->click();
                return;
            }
        }
        window->close();
    }

    static bool boxSays(QWidget *window, const QString &text)
    {
        auto *box = qobject_cast<QMessageBox *>(window);
        return box && box->text().startsWith(text);
    }

    // Delete pressed while the mill runs: the question, then the refusal.
    void refusedDelete(QTabWidget *mill, const QString &running)
    {
        QWidget *prg = show("radioButton_PRG", "PrgForm");
        auto *list = named<QTableWidget>(prg, "tableWidget_programList");
        auto *name = named<QLabel>(prg, "label_programName");
        if (!waitFor([&] { return list->rowCount() > 1; }, QStringLiteral("program list")))
            return;
        doubleClickCell(list, 1, 0);
        if (!waitFor([&] { return name->text() == QLatin1String("O0002"); }, QStringLiteral("O0002")) ||
            !waitFor([&] { return stateText(mill) == running; }, QStringLiteral("mill running"),
                     IdleTimeoutMs))
            return;
        const QString question = QCoreApplication::translate("PrgForm", "是否删除程序(delete):");
        const QString refused = QCoreApplication::translate("PrgForm", "删除错误(error):");
        bool answered = false;
        whenModal([&](QWidget *w) { return boxSays(w, question); },
                  [&](QWidget *w) {
                      shoot(w, QStringLiteral("delete-question"));
                      whenModal([&](QWidget *box) { return boxSays(box, refused); },
                                [&](QWidget *box) {
                                    shoot(box, QStringLiteral("delete-refused"));
                                    answered = true;
                                    box->close();
                                });
                      press(w, QMessageBox::YesRole);
                  });
        click(prg, "btn_deleteProgram");
        waitFor([&] { return answered; }, QStringLiteral("delete refused"));
    }

    // Two archived versions of O0002 and their compare, side by side and unified.
    void programHistory(QTabWidget *mill)
    {
        const QString device = named<QLabel>(mill, "label_deviceName")->text();
        QFile sample(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/O0002.txt"));
        if (!sample.open(QIODevice::ReadOnly))
            return;
        ControllerTexts::Current older;
        older.bytes = sample.readAll();
        ControllerTexts::Current newer = older;
        newer.bytes.replace("F1000", "F800");
        newer.bytes.replace("M05", "M05\n(CHECKED)");
        deviceWidget *millCard =
            DeviceManager::instance() ? DeviceManager::instance()->selectedDevice() : nullptr;
        if (!millCard)
            return;
        const DeviceRecord record = millCard->record();
        QString why;
        ArchiveGuard::keep(record, TextTarget::program(2), ArchiveIndex::Operation::Update, older, &why);
        QTest::qWait(1100); // versions a second apart
        ArchiveGuard::keep(record, TextTarget::program(2), ArchiveIndex::Operation::Update, newer, &why);
        HistoryDialog dialog(millCard->device(), device,
                             ArchiveStore::configured().deviceFolder(record, false), QStringLiteral("O0002"),
                             m_window);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            return;
        dialog.versionTable()->selectAll();
        dialog.compareSelected();
        shoot(&dialog, QStringLiteral("history-compare"));
        dialog.compareView()->setUnified(true);
        shoot(&dialog, QStringLiteral("compare-unified"));
    }

    // Qt's own dialog, in the program's language.
    void fileDialog()
    {
        QFileDialog dialog(m_window, QCoreApplication::translate("FileForm", "数据存放地址"),
                           QDir::currentPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.resize(720, 440);
        // The side bar as wide as its names, whatever the home's settings hold.
        if (auto *splitter = dialog.findChild<QSplitter *>(QStringLiteral("splitter")))
            splitter->setSizes({150, 570});
        dialog.show();
        if (QTest::qWaitForWindowExposed(&dialog))
            shoot(&dialog, QStringLiteral("file-dialog"));
    }

    // The first input lamp's tool tip, with the window under it.
    void lampTip()
    {
        QWidget *io = show("radioButton_IO", "IoForm");
        QWidget *holder = named<QTableWidget>(io, "tableWidget_input")->cellWidget(0, 1);
        auto *lamp = holder ? holder->findChild<QCheckBox *>() : nullptr;
        if (!lamp)
            return;
        QToolTip::showText(lamp->mapToGlobal(lamp->rect().center()), lamp->toolTip(), lamp);
        QTest::qWait(500);
        const QRect area = m_window->frameGeometry();
        const QPixmap picture =
            m_window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        if (!picture.save(QDir(m_folder).filePath(QStringLiteral("io-tooltip.png"))))
            m_failed = true;
        QToolTip::hideText();
    }

    void programs()
    {
        QWidget *prg = show("radioButton_PRG", "PrgForm");
        auto *list = named<QTableWidget>(prg, "tableWidget_programList");
        if (!waitFor([&] { return list->rowCount() > 0; }, QStringLiteral("program list")))
            return;
        auto *editor = named<QPlainTextEdit>(prg, "textEdit_program");
        doubleClickCell(list, 0, 0);
        if (!waitFor([&] { return !editor->document()->isEmpty(); }, QStringLiteral("program preview")))
            return;
        click(prg, "btn_programStyle"); // colour every line
        // From the first motion block on: the header comments say less.
        editor->moveCursor(QTextCursor::Start);
        if (editor->find(QStringLiteral("G90"))) {
            QTextCursor cursor = editor->textCursor();
            cursor.clearSelection();
            editor->setTextCursor(cursor);
            QScrollBar *bar = editor->verticalScrollBar();
            bar->setValue(bar->value() + editor->cursorRect().top() - 4);
        }
        shoot(QStringLiteral("prg"));
    }

    void systemFiles()
    {
        QWidget *file = show("radioButton_FILE", "FileForm");
        auto *names = named<QComboBox>(file, "comBox_fileName");
        auto *pane = named<QPlainTextEdit>(file, "textEdit_file");
        names->setCurrentIndex(names->findText(QStringLiteral("ZOFS.PAR")));
        click(file, "btn_readFile");
        if (!waitFor([&] { return !pane->document()->isEmpty(); }, QStringLiteral("system file")))
            return;
        pane->moveCursor(QTextCursor::Start);
        typeInto(named<QLineEdit>(file, "lineEdit_findFile"), QStringLiteral("G55"));
        click(file, "btn_findFile");
        shoot(QStringLiteral("file"));
    }

    void parameters()
    {
        QWidget *par = show("radioButton_PAR", "ParForm");
        auto *axes = named<QSpinBox>(par, "spinBox_coord");
        if (!waitFor([&] { return axes->value() > 0; }, QStringLiteral("SYS.PAR")))
            return;
        auto *tree = named<QTreeWidget>(par, "treeWidget_sysParams");
        auto *table = named<QTableWidget>(par, "tableWidget_PARcontain");
        doubleClickTreeItem(tree, 1, QStringLiteral("[SETx]"));
        if (!waitFor([&] { return table->columnCount() == 8; }, QStringLiteral("parameter group")))
            return;
        clickCell(table, 0, 0);
        shoot(QStringLiteral("par"));
    }

    // Stored as it is: the page says so, and the store button shows its focus.
    void settings()
    {
        QWidget *set = show("radioButton_SET", "SetForm");
        auto *store = named<QPushButton>(set, "pushButton_store");
        click(store);
        store->setFocus();
        shoot(QStringLiteral("set"));
    }

    // The shop's history of the last working day, and of its week with the
    // bars of the days.
    void history()
    {
        auto *shop = m_window->findChild<ShopHistory *>();
        HistoryWindow *window = shop ? shop->showWindow(QString()) : nullptr;
        if (!window || !QTest::qWaitForWindowExposed(window)) {
            waitFor([] { return false; }, QStringLiteral("history window"), 0);
            return;
        }
        window->resize(1000, 560);
        QDate day = QDate::currentDate().addDays(-1);
        if (day.dayOfWeek() == Qt::Sunday)
            day = day.addDays(-1);
        window->showRange(HistoryWindow::Day, day);
        shoot(window, QStringLiteral("history"));
        window->showRange(HistoryWindow::Week, day.addDays(-7)); // a whole week
        named<QTabWidget>(window, "historyTabs")->setCurrentIndex(1);
        shoot(window, QStringLiteral("history-week"));

        // Stops being tagged: three chosen on the day's bands, the shifts' figures below.
        window->showRange(HistoryWindow::Day, day);
        auto *tabs = named<QTabWidget>(window, "historyTabs");
        tabs->setCurrentWidget(named<QWidget>(window, "historyShifts"));
        auto *timeline = window->findChild<HistoryTimeline *>();
        QVector<HistoryTimeline::StopRef> chosen;
        for (int stop = 3; stop < 9; stop += 2)
            chosen.append({0, stop});
        timeline->setSelectedStops(chosen);
        shoot(window, QStringLiteral("history-reasons"));
        window->tagSelected(2);
        window->showRange(HistoryWindow::Week, day.addDays(-7));
        tabs->setCurrentWidget(named<QWidget>(window, "historyPareto")->parentWidget());
        shoot(window, QStringLiteral("history-pareto"));
        // Today's writes and deletes: the refused delete among them.
        window->showRange(HistoryWindow::Day, QDate::currentDate());
        named<QTabWidget>(window, "historyTabs")->setCurrentIndex(2);
        shoot(window, QStringLiteral("history-operations"));
        window->close();
    }

    void cardSettings(QTabWidget *card)
    {
        click(card, "pushButton_set");
        shoot(QStringLiteral("card-settings"));
        click(card, "pushButton_show");
    }

    // Controllers take programs and files only while idle: the transfer waits
    // for the demo's idle pause.
    void upload(QTabWidget *card, const QString &title, const QStringList &files, const QString &idle)
    {
        dropFiles(card, files);
        auto *dialog = qobject_cast<UpLoadDialog *>(uploadDialog(title));
        if (!dialog || !QTest::qWaitForWindowExposed(dialog)) {
            waitFor([] { return false; }, QStringLiteral("upload dialog"), 0);
            return;
        }
        if (!waitFor([&] { return stateText(card) == idle; }, title + QStringLiteral(" idle"), IdleTimeoutMs))
            return;
        click(dialog, "pushButton_trans");
        if (waitFor([&] { return !dialog->isTransferring(); }, QStringLiteral("upload")))
            shoot(dialog, QStringLiteral("upload"));
        dialog->close();
    }

private:
    MainWindow *m_window;
    QString m_folder;
    bool m_failed = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QSize size = WindowSize;
    const bool historyOnly = args.removeAll(QStringLiteral("--history-only")) > 0;
    if (args.size() > 2 && args.at(1) == QLatin1String("--size")) {
        const QStringList wh = args.at(2).split(QLatin1Char('x'));
        size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    if (args.size() < 2 || size.isEmpty()) {
        err()
            << "usage: vexa-screenshots [--size WxH] [--history-only] <output folder> [files to drop on the "
               "lathe's card...]\n";
        return 2;
    }
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        err() << "vexa-screenshots: cannot create " << folder << '\n';
        return 1;
    }

    Translations::install(ConfigStore::instance()->language());
    // A fortnight of the demo machines' past for the history window; what the
    // run records comes on top.
    {
        QStringList machines;
        for (const DeviceRecord &record : ConfigStore::instance()->devices())
            machines << record.Name;
        const QString file = ShopHistory::historyFile();
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(file + suffix);
        History::HistoryStore store;
        if (!store.open(file, History::HistoryStore::ReadWrite) ||
            !HistoryData::generate(&store, machines, QDate::currentDate().addDays(-13), 14, 3, nullptr,
                                   QDateTime::currentMSecsSinceEpoch())) {
            err() << "vexa-screenshots: cannot write " << file << '\n';
            return 1;
        }
        // Two shifts, and reasons for two stops in three of the past.
        const bool english = ConfigStore::instance()->language() == 1;
        const QVector<Shift> shifts{
            {english ? QStringLiteral("Early") : QStringLiteral("早班"), QTime(6, 0), QTime(14, 0)},
            {english ? QStringLiteral("Late") : QStringLiteral("中班"), QTime(14, 0), QTime(22, 0)}};
        ConfigStore::instance()->setShifts(shifts);
        History::Batch tags;
        // The shifts were in force over the whole made-up history, not only
        // from now on.
        tags.plans.append(History::ShiftPlan{0, shifts});
        int n = 0;
        for (const QString &machine : machines) {
            QVector<History::StatePeriod> periods;
            store.visitPeriods(0, QDateTime::currentMSecsSinceEpoch(), machine,
                               [&](const QString &, const History::StatePeriod &p) { periods.append(p); });
            for (const History::Stop &stop : History::findStops(periods)) {
                // The reasons of a shop: material and setup far ahead of the rest.
                static const int Codes[] = {1, 1, 3, 1, 3, 2, 5, 1, 4, 6, 3, 9};
                if (++n % 3 != 0)
                    tags.tags.append({machine, stop.start, Codes[n % 12], QStringLiteral("demo"), stop.end});
            }
        }
        store.write(tags);
    }

    // SET shows the PC's address: one of the shop's network, not the renderer's.
    SetForm::setSystemListers({}, [] {
        return QList<SetForm::NetworkInterface>{{QNetworkInterface::Ethernet,
                                                 QNetworkInterface::IsUp,
                                                 {QHostAddress(QStringLiteral("192.168.3.10"))}}};
    });
    MainWindow window;
    window.resize(size);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Renderer renderer(&window, folder);
    if (!historyOnly)
        renderer.shoot(QStringLiteral("start")); // the cards as the stored file left them

    const QList<QTabWidget *> list = cards(&window);
    if (list.size() < 2) {
        err() << "vexa-screenshots: Configure.xml must list the demo's mill and lathe\n";
        return 1;
    }
    QTabWidget *mill = list.at(0);
    QTabWidget *lathe = list.at(1);
    const QStringList stateTexts = StateLook::texts();

    for (QTabWidget *card : {mill, lathe})
        setSwitch(card, true);
    for (QTabWidget *card : {mill, lathe}) {
        const QString name = named<QLabel>(card, "label_deviceName")->text();
        // Connected: neither "not connected" (0) nor "connecting" (4) any more.
        if (!renderer.waitFor(
                [&] {
                    return stateText(card) != stateTexts.value(0) && stateText(card) != stateTexts.value(4);
                },
                name, ConnectTimeoutMs))
            return 1;
    }

    if (historyOnly) {
        renderer.history();
        for (QTabWidget *card : {mill, lathe})
            setSwitch(card, false);
        return renderer.failed() ? 1 : 0;
    }
    select(mill);
    renderer.monitor(QStringLiteral("mill"));
    renderer.programs();
    renderer.programHistory(mill);
    renderer.refusedDelete(mill, stateTexts.value(1));
    renderer.parameters();
    select(lathe);
    renderer.monitor(QStringLiteral("lathe"));
    renderer.lampTip();
    renderer.fileDialog();
    renderer.systemFiles();
    renderer.settings();
    renderer.cardSettings(lathe);
    renderer.history();
    if (args.size() > 2)
        renderer.upload(lathe, named<QLabel>(lathe, "label_deviceName")->text(), args.mid(2),
                        stateTexts.value(3));

    for (QTabWidget *card : {mill, lathe})
        setSwitch(card, false);
    return renderer.failed() ? 1 : 0;
}
