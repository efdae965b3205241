#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"
#include "views/setform.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.15"));

DeviceRecord record(const QString &name, qint32 type = 1, quint8 address = 10)
{
    return DeviceRecord{type, name, 0, QStringLiteral("127.0.0.15"), address, name};
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

// The setting page is built when first shown, through the card's own button.
void openSettings(deviceWidget *card)
{
    card->findChild<QPushButton *>(QStringLiteral("pushButton_set"))->click();
}

void doubleClickName(deviceWidget *card)
{
    QTest::mouseDClick(card->findChild<QLabel *>(QStringLiteral("label_deviceName")), Qt::LeftButton);
}

// Runs action once, from inside the device's own event loop, when it waits.
void whenWaiting(QTimer *timer, const QPointer<ModbusDevice> &device, bool *fired,
                 std::function<void()> action)
{
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (*fired || !device || !device->isWaiting())
            return;
        *fired = true;
        action();
    });
    timer->start(5);
}

} // namespace

class TestDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void storedCardsAndRestart();
    void savedSoonAfterEachChange_data();
    void savedSoonAfterEachChange();
    void noRebuildAfterDestruction();
    void addButtonAndEnglish();
    void selection();
    void removal();
    void forwarders();
    void removeConnectedCard();
    void removeWhileReadWaits();
    void removeWhileUploadWaits();

private:
    DeviceManager *freshManager(const QList<DeviceRecord> &stored);
    deviceWidget *connectFirstCard(DeviceManager *manager);

    QTemporaryDir m_dir;
    std::unique_ptr<sim::Controller> m_controller;
    std::unique_ptr<sim::TcpServer> m_server;
};

void TestDeviceManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TestDeviceManager::init()
{
    ConfigStore::instance()->resetToDefaults();
    TestSupport::useQuickLink(1502);
}

void TestDeviceManager::cleanup()
{
    Translations::install(0);
    DeviceManager::resetInstanceForTesting();
    m_server.reset();
    m_controller.reset();
}

// The list reads the stored devices when it is built, so a test stores them
// through a file and builds a new list, as a restart does.
DeviceManager *TestDeviceManager::freshManager(const QList<DeviceRecord> &stored)
{
    DeviceManager::resetInstanceForTesting();
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
    return DeviceManager::instance();
}

// Starts the simulator and switches the first card on until it is ready.
deviceWidget *TestDeviceManager::connectFirstCard(DeviceManager *manager)
{
    m_controller = std::make_unique<sim::Controller>();
    m_controller->setStationAddress(10);
    m_server = std::make_unique<sim::TcpServer>(m_controller.get());
    if (!m_server->listen(SimAddress, 1502))
        return nullptr;
    deviceWidget *card = manager->cards().first();
    card->findChild<QCheckBox *>()->setChecked(true);
    if (!QTest::qWaitFor([card] { return card->device()->stateCode() == 3; }, 5000))
        return nullptr;
    return card;
}

void TestDeviceManager::storedCardsAndRestart()
{
    DeviceManager *manager = freshManager({record("one", 0, 0), record("two"), record("three")});
    QVERIFY(manager);
    QCOMPARE(names(manager->deviceRecords()), QStringList({"one", "two", "three"}));
    QCOMPARE(manager->deviceRecords().first(), record("one", 0, 1));
    auto *layout = manager->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_devices"));
    QCOMPARE(layout->count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(layout->itemAt(i)->widget(), manager->cards().at(i));
        QCOMPARE(layout->itemAt(i)->alignment(), Qt::AlignTop);
    }
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(selectedLabel(manager), QStringLiteral("无"));

    // Edits, removals and additions of the run are what the next start sees.
    doubleClickName(manager->cards().at(1));
    manager->removeSelectedDevice();
    openSettings(manager->cards().at(1));
    manager->cards().at(1)->findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"))->setText("3");
    manager->addDevice(record("four", 0, 20));
    manager->cards().at(1)->findChild<QCheckBox *>()->setChecked(true);
    const QList<DeviceRecord> before = manager->deviceRecords();
    QVERIFY(before.at(1).On);
    manager = freshManager(before);
    QCOMPARE(manager->deviceRecords(), before); // the card that was on is on again
    QVERIFY(manager->cards().at(1)->findChild<QCheckBox *>()->isChecked());
    QCOMPARE(names(before), QStringList({"one", "3", "four"}));
}

void TestDeviceManager::savedSoonAfterEachChange_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QByteArray>("saved"); // found in Configure.xml afterwards
    QTest::newRow("device added") << 0 << QString::fromUtf8("Name=\"设备\"").toUtf8();
    QTest::newRow("device removed") << 1 << QByteArray("<Configure>\n    <Modbus");
    QTest::newRow("card edited") << 2 << QByteArray("Name=\"edited\"");
    QTest::newRow("SET stored") << 3 << QByteArray("NumberOfRetries=\"7\"");
    QTest::newRow("card switched on") << 4 << QByteArray("On=\"1\"");
}

// A change reaches Configure.xml a moment later, not only when the window
// closes: it survives a crash or a power cut.
void TestDeviceManager::savedSoonAfterEachChange()
{
    QFETCH(int, change);
    QFETCH(QByteArray, saved);
    DeviceManager *manager = freshManager({record("one")});
    QFile::remove(ConfigStore::filePath());
    const auto stored = [] {
        QFile file(ConfigStore::filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    SetForm set;
    if (change == 0) {
        manager->findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"))->click();
    } else if (change == 1) {
        doubleClickName(manager->cards().first());
        manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"))->click();
    } else if (change == 2) {
        openSettings(manager->cards().first());
        manager->findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"))
            ->setText(QStringLiteral("edited"));
    } else if (change == 4) {
        manager->cards().first()->findChild<QCheckBox *>()->setChecked(true);
    } else {
        set.show();
        set.findChild<QSpinBox *>(QStringLiteral("spinBox_retries"))->setValue(7);
        set.findChild<QPushButton *>(QStringLiteral("pushButton_store"))->click();
    }
    QTRY_VERIFY(stored().contains(saved));
}

// Once the list is gone (with the main window) a late call does not bring
// back the start-up cards; only a test asks for a fresh list.
void TestDeviceManager::noRebuildAfterDestruction()
{
    QPointer<DeviceManager> first = DeviceManager::instance();
    QCOMPARE(DeviceManager::instance(), first.data());
    delete first.data();
    QVERIFY(!DeviceManager::instance());
    DeviceManager::resetInstanceForTesting();
    QVERIFY(DeviceManager::instance());
}

void TestDeviceManager::addButtonAndEnglish()
{
    ConfigStore::instance()->setLanguage(1);
    QVERIFY(Translations::install(1));
    DeviceManager *manager = freshManager({record("stored")});
    QCOMPARE(selectedLabel(manager), QStringLiteral("None"));
    QCOMPARE(manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"))->text(),
             QStringLiteral("RemoveDevice"));

    manager->findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"))->click();
    // The added device's name is the same in both languages.
    const DeviceRecord added = manager->deviceRecords().last();
    QCOMPARE(QUuid(added.Id).version(), QUuid::Random);
    QCOMPARE(added, (DeviceRecord{1, "设备", 0, "192.168.3.20", 10, added.Id}));
    QVERIFY(!manager->selectedDevice());
    QVERIFY(!manager->cards().last()->findChild<QCheckBox *>()->isChecked());
    manager->findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"))->click();
    QCOMPARE(manager->deviceRecords().last().Name, QString::fromUtf8("设备 2")); // and an Id of its own
    QVERIFY(manager->deviceRecords().last().Id != manager->deviceRecords().at(1).Id);

    doubleClickName(manager->cards().first());
    QCOMPARE(selectedLabel(manager), QStringLiteral("stored"));
    manager->removeSelectedDevice();
    QCOMPARE(selectedLabel(manager), QStringLiteral("None"));
}

void TestDeviceManager::selection()
{
    DeviceManager *manager = freshManager({record("a"), record("b")});
    deviceWidget *a = manager->cards().at(0);
    deviceWidget *b = manager->cards().at(1);
    auto selected = [](deviceWidget *card) {
        return card->findChild<QWidget *>(QStringLiteral("tab_show"))->property("select").toBool();
    };
    QSignalSpy changes(manager, &DeviceManager::selectedDeviceChanged);
    // A call that does not come from a card selects nothing.
    manager->selectDevice();
    QVERIFY(!manager->selectedDevice());

    doubleClickName(a);
    QCOMPARE(manager->selectedDevice(), a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a"));
    QVERIFY(selected(a));

    // Renaming the selected card leaves the label until it is selected anew.
    openSettings(a);
    a->findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"))->setText(QStringLiteral("a2"));
    doubleClickName(a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a"));

    QTest::mouseDClick(b->findChild<QLabel *>(QStringLiteral("label_state")), Qt::LeftButton);
    QCOMPARE(manager->selectedDevice(), b);
    QVERIFY(!selected(a));
    QVERIFY(selected(b));
    doubleClickName(a);
    QCOMPARE(selectedLabel(manager), QStringLiteral("a2"));
    manager->removeSelectedDevice();
    QCOMPARE(changes.count(), 4); // a, b, a again, none
}

void TestDeviceManager::removal()
{
    DeviceManager *manager = freshManager({record("a"), record("b"), record("c")});
    auto *remove = manager->findChild<QPushButton *>(QStringLiteral("pushButton_removeDevice"));
    remove->click();
    QCOMPARE(manager->cards().size(), 3);

    QPointer<deviceWidget> b = manager->cards().at(1);
    doubleClickName(b);
    remove->click();
    QCOMPARE(names(manager->deviceRecords()), QStringList({"a", "c"}));
    QVERIFY(!manager->selectedDevice());
    QCOMPARE(selectedLabel(manager), QStringLiteral("无"));
    QCOMPARE(manager->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_devices"))->count(), 2);
    QTRY_VERIFY(b.isNull());
    remove->click();
    QCOMPARE(manager->cards().size(), 2);
}

void TestDeviceManager::forwarders()
{
    using Call = std::function<int(DeviceManager *)>;
    const QList<QPair<const char *, Call>> calls{
        {"readPosition",
         [](DeviceManager *m) {
             PositionStatus s;
             return m->readPosition(&s);
         }},
        {"readIo",
         [](DeviceManager *m) {
             IoStatus s;
             return m->readIo(&s);
         }},
        {"readProgramList",
         [](DeviceManager *m) {
             QList<ProgramEntry> l;
             return m->readProgramList(&l, true);
         }},
        {"readProgram",
         [](DeviceManager *m) {
             QByteArray t;
             return m->readProgram(&t, 1);
         }},
        {"writeProgram", [](DeviceManager *m) { return m->writeProgram("O0001\n", 1); }},
        {"deleteProgram", [](DeviceManager *m) { return m->deleteProgram(1); }},
        {"readSystemFile",
         [](DeviceManager *m) {
             QByteArray t;
             return m->readSystemFile(&t, "SYS.PAR");
         }},
    };
    DeviceManager *manager = freshManager({record("connected"), record("off")});
    for (const auto &call : calls)
        QVERIFY2(call.second(manager) == 1, call.first);

    // A connected card that is not selected is never used.
    deviceWidget *connected = connectFirstCard(manager);
    QVERIFY(connected);
    for (const auto &call : calls)
        QVERIFY2(call.second(manager) == 1, call.first);

    // The selected device's own answer comes back: not ready while off.
    doubleClickName(manager->cards().at(1));
    for (const auto &call : calls)
        QVERIFY2(call.second(manager) == 2, call.first);

    m_controller->setProgram(7, "O0007\nG0 X1\n");
    doubleClickName(connected);
    QList<ProgramEntry> list;
    QCOMPARE(manager->readProgramList(&list, true), 0);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().name, QStringLiteral("O0007"));
    connected->releaseConnection();
}

void TestDeviceManager::removeConnectedCard()
{
    DeviceManager *manager = freshManager({record("a"), record("b")});
    QPointer<deviceWidget> card = connectFirstCard(manager);
    QVERIFY(card);
    QPointer<ModbusDevice> device = card->device();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 1, 3000);

    doubleClickName(card);
    manager->removeSelectedDevice();
    // The link ends at once, not only when the card is finally deleted.
    QVERIFY(!device || (device->stateCode() == 0 && !device->isReady()));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 3000);
    QTRY_VERIFY(card.isNull());
    QTRY_VERIFY(device.isNull());
}

void TestDeviceManager::removeWhileReadWaits()
{
    DeviceManager *manager = freshManager({record("a"), record("b")});
    QPointer<deviceWidget> card = connectFirstCard(manager);
    QVERIFY(card);
    QPointer<ModbusDevice> device = card->device();
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    m_controller->setProgram(1, "O0001\n");
    doubleClickName(card);

    // A view's read waits for a controller that no longer answers; the card
    // is removed from inside that wait.
    m_server->setSilent(true);
    bool removed = false;
    bool aliveDuringWait = false;
    QTimer remover;
    whenWaiting(&remover, device, &removed, [&] {
        manager->removeSelectedDevice();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveDuringWait = card && device;
    });
    QByteArray text;
    const int result = manager->readProgram(&text, 1);
    QVERIFY(removed);
    QVERIFY(aliveDuringWait);
    QVERIFY(result != 0);
    QCOMPARE(manager->readProgram(&text, 1), 1);
    QTRY_VERIFY_WITH_TIMEOUT(card.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
    QCOMPARE(names(manager->deviceRecords()), QStringList({"b"}));
}

void TestDeviceManager::removeWhileUploadWaits()
{
    QStringList paths;
    for (const char *name : {"O0011", "O0012"}) {
        QFile file(m_dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(name) + "\nG0 X1\n");
        paths << file.fileName();
    }
    DeviceManager *manager = freshManager({record("a")});
    QPointer<deviceWidget> card = connectFirstCard(manager);
    QVERIFY(card);
    QPointer<ModbusDevice> device = card->device();
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    dialog->insertFiles(paths);
    doubleClickName(card);

    m_server->setSilent(true);
    bool removed = false;
    QTimer remover;
    whenWaiting(&remover, device, &removed, [&] {
        manager->removeSelectedDevice();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    dialog->transfer();
    QVERIFY(removed);
    QVERIFY(!m_controller->hasProgram(12));
    QTRY_VERIFY_WITH_TIMEOUT(card.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QVERIFY(manager->cards().isEmpty());
}

QTEST_MAIN(TestDeviceManager)
#include "tst_devicemanager.moc"
