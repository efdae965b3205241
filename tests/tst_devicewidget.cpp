#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicewidget.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QModbusClient>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.5"));

DeviceRecord tcpRecord(qint32 type = 1, quint8 address = 10, const QString &name = QStringLiteral("lathe"))
{
    return DeviceRecord{type, name, 1, QStringLiteral("127.0.0.5"), address};
}

template<typename T = QWidget> T *part(QWidget *card, const char *name)
{
    return card->findChild<T *>(QLatin1String(name));
}

// The setting page is built when first shown, through the card's own button.
void openSettings(QWidget *card)
{
    part<QPushButton>(card, "pushButton_set")->click();
}

QString stateText(QWidget *card)
{
    return part<QLabel>(card, "label_state")->text();
}

// Enter first, as a real drag does: a drop goes to the widget that accepted the drag.
bool dragAndDrop(QWidget *target, const QMimeData *mime)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Runs action once, as soon as the device is busy: with the card's poll under
// way in the background, or (wait = true) from inside its own event loop,
// where an operation waits for a reply.
class WhenBusy : public QObject
{
public:
    WhenBusy(ModbusDevice *device, bool wait, std::function<void()> action)
        : m_device(device), m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, [this, wait] {
            if (m_device && (wait ? m_device->isWaiting() : m_device->isBusy())) {
                m_timer.stop();
                m_fired = true;
                m_action();
            }
        });
        m_timer.start(5);
    }
    bool fired() const { return m_fired; }

private:
    QPointer<ModbusDevice> m_device;
    std::function<void()> m_action;
    QTimer m_timer;
    bool m_fired = false;
};

} // namespace

class TestDeviceWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void newCard();
    void setRecord_data();
    void setRecord();
    void storedModel_data();
    void storedModel();
    void ipValidator_data();
    void ipValidator();
    void selectedLook();
    void doubleClick_data();
    void doubleClick();
    void drops();
    void switchOnAndOff();

    void followsControllerAndReconnects();
    void switchOffWhilePolling();
    void releaseWhileBusy_data();
    void releaseWhileBusy();

private:
    void switchOnToIdle(deviceWidget *card);

    QTemporaryDir m_dir;
    std::unique_ptr<sim::Controller> m_controller;
    std::unique_ptr<sim::TcpServer> m_server;
};

void TestDeviceWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TestDeviceWidget::init()
{
    Translations::install(0);
    m_server.reset();
    m_controller.reset();
    ConfigStore::instance()->resetToDefaults();
    TestSupport::useQuickLink(1502);
}

void TestDeviceWidget::switchOnToIdle(deviceWidget *card)
{
    m_controller = std::make_unique<sim::Controller>();
    m_controller->setStationAddress(10);
    m_server = std::make_unique<sim::TcpServer>(m_controller.get());
    QVERIFY(m_server->listen(SimAddress, 1502));
    card->setRecord(tcpRecord());
    part<QCheckBox>(card, "checkBox_toConnect")->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(card), QStringLiteral("    空闲"), 5000);
}

void TestDeviceWidget::newCard()
{
    deviceWidget card;
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QCOMPARE(part<QLabel>(&card, "label_state")->property("state").toInt(), 0);
    QCOMPARE(card.currentIndex(), 0);
    QVERIFY(card.tabBar()->isHidden());
    QVERIFY(!part<QCheckBox>(&card, "checkBox_toConnect")->isChecked());
    QCOMPARE(part(&card, "tab_show")->property("select").toBool(), false);

    ConfigStore::instance()->setLanguage(1);
    QVERIFY(Translations::install(1));
    deviceWidget english;
    QCOMPARE(stateText(&english), QStringLiteral("    QUIT"));
    QCOMPARE(part<QLabel>(&english, "label_deviceName")->text(), QStringLiteral("Device"));
    QVERIFY(!part(&english, "label_address")); // no setting page until it is opened
    openSettings(&english);
    QCOMPARE(english.currentIndex(), 1);
    QCOMPARE(part<QLabel>(&english, "label_address")->text(), QStringLiteral("Addr"));
    part<QPushButton>(&english, "pushButton_show")->click();
    QCOMPARE(english.currentIndex(), 0);
}

void TestDeviceWidget::setRecord_data()
{
    QTest::addColumn<int>("firstType");
    QTest::addColumn<int>("firstAddress"); // -1: a card that never had a record
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("heldType");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("heldAddress");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("RTU") << 0 << -1 << 0 << 0 << 7 << 7 << "车床一"
                         << "车床一";
    QTest::newRow("TCP") << 0 << -1 << 1 << 1 << 7 << 7 << "A"
                         << "A";
    QTest::newRow("TCP after RTU") << 0 << 7 << 1 << 1 << 7 << 7 << "A"
                                   << "A";
    QTest::newRow("RTU after RTU") << 0 << 7 << 0 << 0 << 9 << 9 << "A"
                                   << "A";
    QTest::newRow("address 0 on a new card") << 0 << -1 << 0 << 0 << 0 << 1 << "A"
                                             << "A";
    QTest::newRow("address 0 where 1 shows") << 0 << 1 << 0 << 0 << 0 << 1 << "A"
                                             << "A";
    QTest::newRow("address 255") << 0 << -1 << 0 << 0 << 255 << 255 << "A"
                                 << "A";
    QTest::newRow("unknown type taken as TCP") << 0 << 7 << 5 << 1 << 7 << 7 << "A"
                                               << "A";
    QTest::newRow("unknown type where TCP shows") << 1 << 7 << 5 << 1 << 7 << 7 << "A"
                                                  << "A";
    QTest::newRow("empty name keeps placeholder") << 0 << -1 << 1 << 1 << 10 << 10 << ""
                                                  << "设备";
}

void TestDeviceWidget::setRecord()
{
    QFETCH(int, firstType);
    QFETCH(int, firstAddress);
    QFETCH(int, type);
    QFETCH(int, heldType);
    QFETCH(int, address);
    QFETCH(int, heldAddress);
    QFETCH(QString, name);
    QFETCH(QString, shownName);

    // The setting page opened before the records or after: it shows the same.
    for (const bool openFirst : {false, true}) {
        deviceWidget card;
        if (openFirst)
            openSettings(&card);
        if (firstAddress >= 0)
            card.setRecord(tcpRecord(firstType, quint8(firstAddress), QStringLiteral("x")));
        card.setRecord(tcpRecord(type, quint8(address), name));
        QCOMPARE(card.record(), tcpRecord(heldType, quint8(heldAddress), name));
        if (firstAddress < 0)
            QCOMPARE(part<QLabel>(&card, "label_deviceName")->text(), shownName);
        if (!openFirst)
            openSettings(&card);
        QCOMPARE(card.record(), tcpRecord(heldType, quint8(heldAddress), name));
        QCOMPARE(part<QLineEdit>(&card, "lineEdit_deviceName")->text(), name);
        QCOMPARE(part<QSpinBox>(&card, "spinBox_address")->value(), heldAddress);
        const bool serial = heldType == 0;
        QCOMPARE(!part(&card, "label_address")->isHidden(), serial);
        QCOMPARE(!part(&card, "spinBox_address")->isHidden(), serial);
        QCOMPARE(!part(&card, "label_IP")->isHidden(), !serial);
        QCOMPARE(!part(&card, "lineEdit_IP")->isHidden(), !serial);
    }
}

void TestDeviceWidget::storedModel_data()
{
    QTest::addColumn<int>("firstModel"); // -1: a card that never had a record
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("held");
    QTest::newRow("P5 on a new card") << -1 << 1 << "P5" << 1;
    QTest::newRow("P7 where P5X shows") << 2 << 0 << "P7" << 0;
    // The IO view names the signals of any model past P5X by the P5X tables.
    QTest::newRow("unknown model on a new card") << -1 << 7 << "P5X" << 2;
    QTest::newRow("unknown model where P5 shows") << 1 << 200 << "P5X" << 2;
}

void TestDeviceWidget::storedModel()
{
    QFETCH(int, firstModel);
    QFETCH(int, model);
    QFETCH(QString, shown);
    QFETCH(int, held);

    deviceWidget card;
    DeviceRecord record = tcpRecord();
    if (firstModel >= 0) {
        record.Model = quint8(firstModel);
        card.setRecord(record);
    }
    record.Model = quint8(model);
    card.setRecord(record);
    openSettings(&card);
    QCOMPARE(part<QComboBox>(&card, "comboBox_model")->currentText(), shown);
    QCOMPARE(int(card.record().Model), held);
}

void TestDeviceWidget::ipValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("first part 256") << "256.1.1.1" << false;
    QTest::newRow("second part 256") << "1.256.1.1" << false;
    QTest::newRow("third part 256") << "1.1.256.1" << false;
    QTest::newRow("fourth part 256") << "1.1.1.256" << false;
    QTest::newRow("fourth part 300") << "1.1.1.300" << false;
    QTest::newRow("letters") << "1.1.a" << false;
    QTest::newRow("all 255") << "255.255.255.255" << true;
    QTest::newRow("loopback") << "127.0.0.5" << true;
}

void TestDeviceWidget::ipValidator()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    deviceWidget card;
    card.setRecord(tcpRecord());
    openSettings(&card);
    auto *ip = part<QLineEdit>(&card, "lineEdit_IP");
    ip->clear();
    QTest::keyClicks(ip, typed);
    QCOMPARE(ip->text() == typed, accepted);
    QCOMPARE(card.record().IP, ip->text());
}

void TestDeviceWidget::selectedLook()
{
    deviceWidget card;
    card.show();
    auto *name = part<QLabel>(&card, "label_deviceName");
    card.setSelected(true);
    QCOMPARE(part(&card, "tab_show")->property("select").toBool(), true);
    QCOMPARE(name->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    card.setSelected(false);
    QCOMPARE(part(&card, "tab_show")->property("select").toBool(), false);
    QCOMPARE(name->palette().color(QPalette::WindowText), QColor(238, 238, 238));
}

void TestDeviceWidget::doubleClick_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("emits");
    QTest::newRow("name label") << 0 << "label_deviceName" << true;
    QTest::newRow("state label") << 0 << "label_state" << true;
    QTest::newRow("front page area") << 0 << "tab_show" << true;
    QTest::newRow("setting label") << 1 << "label_name" << true;
    QTest::newRow("setting page area") << 1 << "tab_setting" << true;
    QTest::newRow("name field") << 1 << "lineEdit_deviceName" << false;
    QTest::newRow("address field") << 1 << "spinBox_address" << false;
}

void TestDeviceWidget::doubleClick()
{
    QFETCH(int, page);
    QFETCH(QString, target);
    QFETCH(bool, emits);
    deviceWidget card;
    card.setRecord(tcpRecord(0));
    card.setCurrentIndex(page);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));

    QWidget *widget = card.findChild<QWidget *>(target);
    // The mouse hits a spin box's inner line edit.
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        widget = spin->findChild<QLineEdit *>();
    QSignalSpy spy(&card, &deviceWidget::signDoubleClicked);
    const bool area = target.startsWith(QLatin1String("tab_"));
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier,
                       area ? QPoint(3, widget->height() - 3) : widget->rect().center());
    QCOMPARE(spy.count(), emits ? 1 : 0);
}

void TestDeviceWidget::drops()
{
    QList<QUrl> urls;
    for (const char *name : {"O0001", "O0002.txt", "USRIO.TXT", "O0003"}) {
        QFile f(m_dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("G0 X0\n");
        urls << QUrl::fromLocalFile(f.fileName());
    }
    deviceWidget card;
    card.setRecord(tcpRecord());

    QMimeData text;
    text.setText(urls.first().toLocalFile());
    QVERIFY(!dragAndDrop(&card, &text));
    QVERIFY(!card.uploadDialog());

    QMimeData first;
    // A web link has no local file to send and is left out.
    first.setUrls(urls.mid(0, 3) << QUrl(QStringLiteral("http://example.invalid/O0009")));
    QVERIFY(dragAndDrop(&card, &first));
    QPointer<UpLoadDialog> dialog = card.uploadDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->device(), card.device());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("lathe"));
    auto lines = [&dialog] { return dialog->programRoot()->childCount() + dialog->fileRoot()->childCount(); };
    QCOMPARE(lines(), 3);

    QMimeData second;
    second.setUrls(urls.mid(3));
    QVERIFY(dragAndDrop(&card, &second));
    QCOMPARE(card.uploadDialog(), dialog.data());
    QCOMPARE(lines(), 4);
    part<QPushButton>(&card, "pushButton_upload")->click();
    QCOMPARE(card.uploadDialog(), dialog.data());
}

void TestDeviceWidget::switchOnAndOff()
{
    // Nobody listens on the loopback address: every attempt fails.
    deviceWidget card;
    card.setRecord(tcpRecord());
    auto *toggle = part<QCheckBox>(&card, "checkBox_toConnect");
    toggle->setChecked(true);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 3000);
    // Without a link the machine stands: its menu tags the stop, and only while on.
    const auto reasonMenu = [&card] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), card.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&card, &event);
        QMenu *menu = card.findChildren<QMenu *>(QStringLiteral("menuStopReason")).constLast();
        card.findChildren<QMenu *>(QStringLiteral("cardMenu")).constLast()->close();
        return menu;
    };
    QVector<int> chosen;
    connect(&card, &deviceWidget::stopReasonChosen, [&chosen](int reason) { chosen << reason; });
    QMenu *menu = reasonMenu();
    QVERIFY(menu->isEnabled());
    menu->actions().at(6)->trigger();
    QCOMPARE(chosen, QVector<int>{7});

    toggle->setChecked(false);
    QVERIFY(!reasonMenu()->isEnabled());
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    // No tick turns it back to connecting: meanwhile a card switched on now
    // has tried to connect twice.
    deviceWidget other;
    other.setRecord(tcpRecord());
    part<QCheckBox>(&other, "checkBox_toConnect")->setChecked(true);
    int tries = 0;
    connect(other.device()->client(), &QModbusDevice::stateChanged, &other,
            [&tries](QModbusDevice::State state) { tries += state == QModbusDevice::ConnectingState; });
    QTRY_VERIFY_WITH_TIMEOUT(tries >= 2, 10000);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
}

void TestDeviceWidget::followsControllerAndReconnects()
{
    deviceWidget card;
    switchOnToIdle(&card);
    // The look follows the state through one sheet, set once (a sheet set at
    // every change would be held, a few kilobytes each time).
    auto *label = part<QLabel>(&card, "label_state");
    const QString sheet = card.styleSheet();
    QVERIFY(
        sheet.contains(QStringLiteral("#label_state[state=\"1\"]{background-image:url(:/image/cncRun.png)")));
    m_controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    运行"), 3000);
    QCOMPARE(label->property("state").toInt(), 1);
    QCOMPARE(card.styleSheet(), sheet);
    QVERIFY(label->styleSheet().isEmpty());
    m_controller->setRunState(sim::RunState::Alarm);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    报警"), 3000);

    // The controller goes away and comes back.
    m_server->close();
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 5000);
    QVERIFY(m_server->listen(SimAddress, 1502));
    m_controller->setRunState(sim::RunState::Idle);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 5000);

    // Only the connection drops, the server keeps listening.
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 5000);
    QVERIFY(card.device()->isReady());

    card.releaseConnection();
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(!card.device()->isReady());
}

void TestDeviceWidget::switchOffWhilePolling()
{
    deviceWidget card;
    switchOnToIdle(&card);
    ModbusDevice probe;
    probe.setRecord(tcpRecord());
    QVERIFY(TestSupport::connectUp(&probe));
    m_server->setSilent(true);
    QString shownWhenOff;
    WhenBusy off(card.device(), false, [&] {
        part<QCheckBox>(&card, "checkBox_toConnect")->setChecked(false);
        shownWhenOff = stateText(&card);
    });
    QTRY_VERIFY_WITH_TIMEOUT(off.fired(), 3000);
    QCOMPARE(shownWhenOff, QStringLiteral("    中断"));
    QVERIFY(!card.device()->isBusy());
    // The poll that was under way puts no stale state back on the card: a read
    // sent after it gives up after it.
    IoStatus io;
    QCOMPARE(probe.readIo(&io), 7);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(!card.device()->isReady());
}

void TestDeviceWidget::releaseWhileBusy_data()
{
    QTest::addColumn<bool>("wait");
    QTest::newRow("card's poll under way") << false;
    QTest::newRow("a read waiting in the device's loop") << true;
}

void TestDeviceWidget::releaseWhileBusy()
{
    QFETCH(bool, wait);
    auto *card = new deviceWidget;
    QPointer<deviceWidget> cardGuard(card);
    switchOnToIdle(card);
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    QPointer<ModbusDevice> device = card->device();

    m_server->setSilent(true);
    bool aliveAfterRelease = false;
    WhenBusy release(device, wait, [&] {
        card->releaseConnection();
        card->releaseWhenIdle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveAfterRelease = device && cardGuard;
    });
    if (wait) {
        // The read must find the device free: no poll under way.
        QTRY_VERIFY(!device->isBusy());
        IoStatus io;
        QCOMPARE(device->readIo(&io), 7);
    }
    QTRY_VERIFY_WITH_TIMEOUT(release.fired(), 3000);
    // Nothing is deleted while a wait of its device is on the stack.
    if (wait)
        QVERIFY(aliveAfterRelease);
    QTRY_VERIFY_WITH_TIMEOUT(cardGuard.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
    // A controller that answers again finds nobody to answer; a new device's
    // link and set-up outlast every wait the released one had.
    m_server->setSilent(false);
    ModbusDevice probe;
    probe.setRecord(tcpRecord());
    QVERIFY(TestSupport::connectUp(&probe));
}

QTEST_MAIN(TestDeviceWidget)
#include "tst_devicewidget.moc"
