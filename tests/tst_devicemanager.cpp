#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "link/uploaddialog.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(std::function<int(DeviceManager *)>)

namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.5"));
const quint16 SimPort = 1502;

DeviceRecord record(const QString &name, qint32 type = 1, quint8 address = 10)
{
    DeviceRecord r;
    r.Type = type;
    r.Name = name;
    r.Model = 0;
    r.IP = QStringLiteral("127.0.0.5");
    r.Address = address;
    return r;
}

QStringList names(const QList<DeviceRecord> &records)
{
    QStringList out;
    for (const DeviceRecord &r : records)
        out << r.Name;
    return out;
}

QString selectedLabel(DeviceManager *manager)
{
    return manager->findChild<QLabel *>(QStringLiteral("label_selectDevice"))->text();
}

void doubleClickName(deviceWidget *card)
{
    QTest::mouseDClick(card->findChild<QLabel *>(QStringLiteral("label_deviceName")), Qt::LeftButton);
}

} // namespace

class TestDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void buildsStoredCardsInOrder();
    void instanceComesBackAfterDestruction();
    void addButtonDefaults();
    void englishTexts();
    void removeWithoutSelection();
    void selection();
    void removeSelectedKeepsOrder();
    void recordsSurviveRestart();
    void forwardersWithoutSelection_data();
    void forwardersWithoutSelection();
    void forwardersReachSelectedDevice();
    void removeConnectedCard();
    void removeWhileTransactionWaits();
    void removeWhileUploadWaits();

private:
    DeviceManager *freshManager(const QList<DeviceRecord> &stored);

    QTemporaryDir m_dir;
};

void TestDeviceManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TestDeviceManager::init()
{
    ConfigStore *store = ConfigStore::instance();
    store->resetToDefaults();
    ModbusSettings s = store->modbusSettings();
    s.NetworkPort = SimPort;
    s.Timeout = 200;
    s.NumberOfRetries = 0;
    store->setModbusSettings(s);
}

void TestDeviceManager::cleanup()
{
    delete DeviceManager::instance();
}

// The list reads the stored devices when it is built, so a test stores them
// through a file and builds a new list.
DeviceManager *TestDeviceManager::freshManager(const QList<DeviceRecord> &stored)
{
    delete DeviceManager::instance();
    const QString path = m_dir.filePath(QStringLiteral("stored.xml"));
    ConfigStore *store = ConfigStore::instance();
    const ModbusSettings settings = store->modbusSettings();
    const int language = store->language();
    if (!store->saveTo(path, stored))
        return nullptr;
    store->resetToDefaults();
    store->loadFrom(path);
    store->setModbusSettings(settings);
    store->setLanguage(language);
    store->rebuildStateDisplay();
    return DeviceManager::instance();
}

void TestDeviceManager::buildsStoredCardsInOrder()
{
    DeviceManager *manager = freshManager({record("one", 0, 3), record("two"), record("three")});
    QVERIFY(manager);
    QCOMPARE(names(manager->deviceRecords()), QStringList({"one", "two", "three"}));
    QCOMPARE(manager->deviceRecords().first(), record("one", 0, 3));

    auto *layout = manager->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_devices"));
    QCOMPARE(layout->count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(layout->itemAt(i)->widget(), manager->cards().at(i));
        QCOMPARE(layout->itemAt(i)->alignment(), Qt::AlignTop);
        QVERIFY(!manager->cards().at(i)->findChild<QCheckBox *>()->isChecked());
    }
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(selectedLabel(manager), QStringLiteral("无"));
}

void TestDeviceManager::instanceComesBackAfterDestruction()
{
    QPointer<DeviceManager> first = DeviceManager::instance();
    QCOMPARE(DeviceManager::instance(), first.data());
    delete first.data();
    QVERIFY(first.isNull());
    QVERIFY(DeviceManager::instance());
}

void TestDeviceManager::addButtonDefaults()
{
    DeviceManager *manager = freshManager({record("stored")});
    manager->findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"))->click();
    QCOMPARE(manager->cards().size(), 2);
    const DeviceRecord added = manager->deviceRecords().last();
    QCOMPARE(added.Type, 1);
    QCOMPARE(added.Name, QStringLiteral("设备"));
    QCOMPARE(int(added.Model), 0);
    QCOMPARE(added.IP, QStringLiteral("192.168.3.20"));
    QCOMPARE(int(added.Address), 10);
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(names(manager->deviceRecords()), QStringList({"stored", "设备"}));
}

void TestDeviceManager::englishTexts()
{
    ConfigStore::instance()->setLanguage(1);
    DeviceManager *manager = freshManager({record("a"), record("b")});
    QCOMPARE(manager->findChild<QLabel *>(QStringLiteral("labelSelectDevice"))->text(),
             QStringLiteral("SelectDevice"));
    QCOMPARE(selectedLabel(manager), QStringLiteral("None"));
    QCOMPARE(manager->findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"))->text(),
             QStringLiteral("AddDevice"));
    QCOMPARE(manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"))->text(),
             QStringLiteral("RemoveDevice"));
    // The add button's name is the same in both languages.
    manager->addDevice();
    QCOMPARE(manager->deviceRecords().last().Name, QStringLiteral("设备"));

    doubleClickName(manager->cards().first());
    QCOMPARE(selectedLabel(manager), QStringLiteral("a"));
    manager->removeSelectedDevice();
    QCOMPARE(selectedLabel(manager), QStringLiteral("None"));
}

void TestDeviceManager::removeWithoutSelection()
{
    DeviceManager *manager = freshManager({record("a"), record("b")});
    manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"))->click();
    QCOMPARE(names(manager->deviceRecords()), QStringList({"a", "b"}));
    QCOMPARE(selectedLabel(manager), QStringLiteral("无"));
    // A call that does not come from a card selects nothing.
    manager->selectDevice();
    QVERIFY(!manager->selectedDevice());
}

void TestDeviceManager::selection()
{
    DeviceManager *manager = freshManager({record("a"), record("b")});
    deviceWidget *a = manager->cards().at(0);
    deviceWidget *b = manager->cards().at(1);
    auto selectedProperty = [](deviceWidget *card) {
        return card->findChild<QWidget *>(QStringLiteral("tab_show"))->property("select").toBool();
    };

    doubleClickName(a);
    QCOMPARE(manager->selectedDevice(), a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a"));
    QVERIFY(selectedProperty(a));

    // Renaming the selected card leaves the label until it is selected anew.
    auto *nameField = a->findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"));
    nameField->setText(QStringLiteral("a renamed"));
    doubleClickName(a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a"));

    QTest::mouseDClick(b->findChild<QLabel *>(QStringLiteral("label_state")), Qt::LeftButton);
    QCOMPARE(manager->selectedDevice(), b);
    QVERIFY(!selectedProperty(a));
    QVERIFY(selectedProperty(b));
    QCOMPARE(selectedLabel(manager), QStringLiteral("b"));

    doubleClickName(a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a renamed"));
}

void TestDeviceManager::removeSelectedKeepsOrder()
{
    DeviceManager *manager = freshManager({record("a"), record("b"), record("c")});
    manager->addDevice(record("d"));
    QPointer<deviceWidget> b = manager->cards().at(1);
    doubleClickName(b);
    manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"))->click();

    QCOMPARE(names(manager->deviceRecords()), QStringList({"a", "c", "d"}));
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(selectedLabel(manager), QStringLiteral("无"));
    QCOMPARE(manager->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_devices"))->count(), 3);
    QTRY_VERIFY(b.isNull());

    // Nothing selected again: a second press removes nothing more.
    manager->removeSelectedDevice();
    QCOMPARE(manager->cards().size(), 3);
}

void TestDeviceManager::recordsSurviveRestart()
{
    DeviceManager *manager = freshManager({record("a", 0, 0), record("b"), record("c")});
    doubleClickName(manager->cards().at(2));
    manager->removeSelectedDevice();
    manager->cards().at(1)->findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"))->setText("b2");
    const QList<DeviceRecord> before = manager->deviceRecords();
    QCOMPARE(int(before.first().Address), 1);

    manager = freshManager(before);
    QCOMPARE(manager->deviceRecords(), before);
    QCOMPARE(names(manager->deviceRecords()), QStringList({"a", "b2"}));
}

void TestDeviceManager::forwardersWithoutSelection_data()
{
    using Call = std::function<int(DeviceManager *)>;
    QTest::addColumn<Call>("call");
    QTest::newRow("readPosition") << Call([](DeviceManager *m) {
        PositionStatus s;
        return m->readPosition(&s);
    });
    QTest::newRow("readIo") << Call([](DeviceManager *m) {
        IoStatus s;
        return m->readIo(&s);
    });
    QTest::newRow("readProgramList") << Call([](DeviceManager *m) {
        QList<ProgramEntry> list;
        return m->readProgramList(&list, true);
    });
    QTest::newRow("readProgram") << Call([](DeviceManager *m) {
        QString text;
        return m->readProgram(&text, 1);
    });
    QTest::newRow("writeProgram") << Call([](DeviceManager *m) { return m->writeProgram("O0001\n", 1); });
    QTest::newRow("deleteProgram") << Call([](DeviceManager *m) { return m->deleteProgram(1); });
    QTest::newRow("readSystemFile") << Call([](DeviceManager *m) {
        QString text;
        return m->readSystemFile(&text, "SYS.PAR");
    });
}

void TestDeviceManager::forwardersWithoutSelection()
{
    QFETCH(std::function<int(DeviceManager *)>, call);
    DeviceManager *manager = freshManager({});
    QCOMPARE(call(manager), 1);

    // Other cards, even a connected one, are never used without a selection.
    auto ctrl = std::make_unique<sim::Controller>();
    ctrl->setStationAddress(10);
    sim::TcpServer server(ctrl.get());
    QVERIFY(server.listen(SimAddress, SimPort));
    manager->addDevice(record("connected"));
    deviceWidget *card = manager->cards().first();
    card->findChild<QCheckBox *>()->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(card->device()->isReady(), 5000);
    QCOMPARE(call(manager), 1);
    card->releaseConnection();
}

void TestDeviceManager::forwardersReachSelectedDevice()
{
    DeviceManager *manager = freshManager({record("idle one")});
    doubleClickName(manager->cards().first());
    // The device is not switched on: its own answer, not ready, comes back.
    PositionStatus position;
    QCOMPARE(manager->readPosition(&position), 2);
    QString text;
    QCOMPARE(manager->readSystemFile(&text, "SYS.PAR"), 2);
    QCOMPARE(manager->deleteProgram(1), 2);

    auto ctrl = std::make_unique<sim::Controller>();
    ctrl->setStationAddress(10);
    ctrl->setProgram(7, "O0007\nG0 X1\n");
    sim::TcpServer server(ctrl.get());
    QVERIFY(server.listen(SimAddress, SimPort));
    deviceWidget *card = manager->selectedDevice();
    card->findChild<QCheckBox *>()->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(card->device()->isReady(), 5000);
    QList<ProgramEntry> list;
    QCOMPARE(manager->readProgramList(&list, true), 0);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().name, QStringLiteral("O0007"));
    card->releaseConnection();
}

void TestDeviceManager::removeConnectedCard()
{
    auto ctrl = std::make_unique<sim::Controller>();
    ctrl->setStationAddress(10);
    sim::TcpServer server(ctrl.get());
    QVERIFY(server.listen(SimAddress, SimPort));

    DeviceManager *manager = freshManager({record("a"), record("b")});
    QPointer<deviceWidget> card = manager->cards().first();
    QPointer<ModbusDevice> device = card->device();
    card->findChild<QCheckBox *>()->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 1, 3000);

    doubleClickName(card);
    manager->removeSelectedDevice();
    // The link ends at once, not when the card is finally deleted.
    QVERIFY(!card || !card->device()->isReady());
    QCOMPARE(device ? device->stateCode() : 0, 0);
    QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 0, 3000);
    QTRY_VERIFY(card.isNull());
    QTRY_VERIFY(device.isNull());
    QCOMPARE(names(manager->deviceRecords()), QStringList({"b"}));
}

void TestDeviceManager::removeWhileTransactionWaits()
{
    auto ctrl = std::make_unique<sim::Controller>();
    ctrl->setStationAddress(10);
    ctrl->setProgram(1, "O0001\n");
    sim::TcpServer server(ctrl.get());
    QVERIFY(server.listen(SimAddress, SimPort));

    DeviceManager *manager = freshManager({record("a"), record("b")});
    QPointer<deviceWidget> card = manager->cards().first();
    QPointer<ModbusDevice> device = card->device();
    card->findChild<QCheckBox *>()->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    doubleClickName(card);

    // A view's read waits for a controller that no longer answers; the card
    // is removed, and its device switched off, from inside that wait.
    server.setSilent(true);
    bool removed = false;
    bool aliveDuringWait = false;
    QTimer remover;
    connect(&remover, &QTimer::timeout, this, [&] {
        if (removed || !device || !device->isWaiting())
            return;
        removed = true;
        manager->removeSelectedDevice();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveDuringWait = !card.isNull() && !device.isNull();
    });
    remover.start(5);
    QString text;
    const int result = manager->readProgram(&text, 1);
    remover.stop();

    QVERIFY(removed);
    QVERIFY(aliveDuringWait);
    QVERIFY(result != 0);
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(manager->readProgram(&text, 1), 1);
    QTRY_VERIFY_WITH_TIMEOUT(card.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
    QCOMPARE(names(manager->deviceRecords()), QStringList({"b"}));
}

void TestDeviceManager::removeWhileUploadWaits()
{
    auto ctrl = std::make_unique<sim::Controller>();
    ctrl->setStationAddress(10);
    sim::TcpServer server(ctrl.get());
    QVERIFY(server.listen(SimAddress, SimPort));

    QStringList paths;
    for (const QString &name : {QStringLiteral("O0011"), QStringLiteral("O0012")}) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("O") + name.toLatin1() + "\nG0 X1\n");
        paths << file.fileName();
    }

    DeviceManager *manager = freshManager({record("a")});
    QPointer<deviceWidget> card = manager->cards().first();
    QPointer<ModbusDevice> device = card->device();
    card->findChild<QCheckBox *>()->setChecked(true);
    // Writing needs the controller idle.
    QTRY_COMPARE_WITH_TIMEOUT(device ? device->stateCode() : -1, 3, 5000);
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    dialog->insertFiles(paths);
    doubleClickName(card);

    server.setSilent(true);
    bool removed = false;
    QTimer remover;
    connect(&remover, &QTimer::timeout, this, [&] {
        if (removed || !device || !device->isWaiting())
            return;
        removed = true;
        manager->removeSelectedDevice();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    remover.start(5);
    dialog->transfer();
    remover.stop();

    QVERIFY(removed);
    QVERIFY(!ctrl->hasProgram(12));
    QTRY_VERIFY_WITH_TIMEOUT(card.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QVERIFY(manager->cards().isEmpty());
}

QTEST_MAIN(TestDeviceManager)
#include "tst_devicemanager.moc"
