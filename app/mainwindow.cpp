#include "app/mainwindow.h"

#include "app/carddialogs.h"
#include "app/formmanager.h"
#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "history/historycsv.h"
#include "history/historyrecorder.h"
#include "historyview/shophistory.h"
#include "link/devicefleet.h"
#include "mqtt/mqttservice.h"
#include "ui_mainwindow.h"
#include "web/webservice.h"

#include <QHBoxLayout>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    // The bundle lives in a static library: register it before the form asks
    // for the window icon.
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);

    // Configure.xml is read here, before any widget that depends on it exists.
    ConfigStore *config = ConfigStore::instance();

    auto *layout = new QHBoxLayout;
    layout->addWidget(DeviceManager::instance());
    CardDialogs::follow(DeviceManager::instance());
    layout->addWidget(FormManager::instance());
    ui->centralwidget->setLayout(layout);
    auto *history = new ShopHistory(this);

    // Publishing to the shop's broker watches the device list's controllers.
    m_mqtt = new MqttService(DeviceManager::instance()->fleet(), true, this);
    m_mqtt->apply(config->mqttSettings());
    // The shop board shows the same controllers (or the broker's).
    m_web = new Web::WebService(DeviceManager::instance()->fleet(), this);
    m_web->setHistoryFile(ShopHistory::historyFile());
    m_web->apply(config->webSettings(), config->mqttSettings(), config->language());
    // A stop's reason goes to the broker while the stop lasts.
    connect(history->recorder(), &History::Recorder::reasonChanged, m_mqtt, [this](quintptr key, int reason) {
        const QList<DeviceWatch *> watches = DeviceManager::instance()->fleet()->watches();
        for (DeviceWatch *watch : watches) {
            if (quintptr(watch) != key)
                continue;
            const QString word = History::reasonWord(ConfigStore::instance()->stopReasons(), reason);
            m_mqtt->setStopReason(watch, reason, word);
            m_web->setStopReason(watch, reason > 0 ? word : QString());
        }
    });
}

MainWindow::~MainWindow()
{
    delete m_web;
    delete m_mqtt;
    delete ui;
    // The device list is still alive here, so the cards' current values are saved.
    ConfigStore::instance()->save();
}
