#include "historyview/shophistory.h"

#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "history/fleetrecording.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "historyview/historywindow.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

ShopHistory::ShopHistory(QMainWindow *window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("shopHistory"));
    m_recorder = new History::Recorder(historyFile(), ConfigStore::instance()->historyRetentionDays(), this);
    connect(m_recorder, &History::Recorder::unavailable, this, &ShopHistory::onUnavailable);
    connect(m_recorder, &History::Recorder::held, this, [this](const QString &problem) {
        setRecordingText(
            tr("历史记录文件被另一程序锁定（%1）：新的记录暂存在内存中，文件可用后写入。").arg(problem));
    });
    connect(m_recorder, &History::Recorder::resumed, this, [this](qint64 lost) {
        setRecordingText(
            lost > 0 ? tr("历史记录已恢复写入；锁定期间有 %1 条记录超出暂存上限，未能保存。").arg(lost)
                     : tr("历史记录已恢复写入，暂存的记录已写入文件。"));
    });
    if (DeviceManager *devices = DeviceManager::instance())
        History::recordFleet(devices->fleet(), m_recorder);
    // The shifts as SET leaves them, looked at once a second.
    m_shifts = ConfigStore::instance()->shifts();
    m_recorder->setShifts(m_shifts);
    connect(m_recorder, &History::Recorder::sampling, this, [this] {
        const QVector<Shift> shifts = ConfigStore::instance()->shifts();
        if (shifts != m_shifts) {
            m_shifts = shifts;
            m_recorder->setShifts(shifts);
        }
    });
    connect(m_recorder, &History::Recorder::reasonChanged, this, &ShopHistory::onReasonChanged);

    QMenu *menu = window->menuBar()->addMenu(tr("历史"));
    menu->setObjectName(QStringLiteral("menuHistory"));
    QAction *shop = menu->addAction(tr("车间历史"), this, [this] { showWindow(QString()); });
    shop->setObjectName(QStringLiteral("actionShopHistory"));
    if (DeviceManager *devices = DeviceManager::instance()) {
        connect(devices, &DeviceManager::historyRequested, this, &ShopHistory::showWindow);
        connect(devices, &DeviceManager::stopReasonChosen, this, [this](deviceWidget *card, int reason) {
            m_recorder->tagStop(quintptr(card->watch()), reason, History::userName());
        });
    }
}

void ShopHistory::onReasonChanged(quintptr key, int reason)
{
    if (const DeviceManager *devices = DeviceManager::instance()) {
        const QList<deviceWidget *> cards = devices->cards();
        for (deviceWidget *card : cards) {
            if (quintptr(card->watch()) == key)
                card->showStopReason(reason);
        }
    }
}

ShopHistory::~ShopHistory()
{
    for (const QPointer<HistoryWindow> &open : qAsConst(m_windows))
        delete open.data();
}

QString ShopHistory::historyFile()
{
    return History::HistoryStore::fileBeside(ConfigStore::filePath());
}

HistoryWindow *ShopHistory::showWindow(const QString &machine)
{
    m_windows.removeAll(nullptr);
    for (const QPointer<HistoryWindow> &open : qAsConst(m_windows)) {
        if (open->property("machine").toString() == machine) {
            open->reload();
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    QStringList machines;
    if (const DeviceManager *devices = DeviceManager::instance()) {
        for (const DeviceRecord &record : devices->deviceRecords())
            machines.append(record.Name);
    }
    auto *window = new HistoryWindow(historyFile(), machine, machines);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setProperty("machine", machine);
    m_windows.append(window);
    // Tags given in the window reach the stop under way at once.
    connect(window, &HistoryWindow::tagged, m_recorder, &History::Recorder::noteTags);
    window->setRecordingText(m_recordingText);
    window->show();
    return window;
}

void ShopHistory::setRecordingText(const QString &text)
{
    m_recordingText = text;
    m_windows.removeAll(nullptr);
    for (const QPointer<HistoryWindow> &open : qAsConst(m_windows))
        open->setRecordingText(text);
}

// Said once, without waiting for an answer: the program works on without history.
void ShopHistory::onUnavailable(const QString &problem)
{
    setRecordingText(tr("本次运行不记录机床历史：%1").arg(problem));
    auto *box = new QMessageBox(QMessageBox::Warning, tr("历史记录"),
                                tr("本次运行不记录机床历史：%1").arg(problem), QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("historyUnavailable"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
