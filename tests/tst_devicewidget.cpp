#include "config/configstore.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "link/uploaddialog.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
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
const quint16 SimPort = 1502;

DeviceRecord tcpRecord()
{
    DeviceRecord r;
    r.Type = 1;
    r.Name = QStringLiteral("lathe");
    r.Model = 1;
    r.IP = QStringLiteral("127.0.0.5");
    r.Address = 10;
    return r;
}

// Enter first, as a real drag does: a drop goes to the widget that accepted
// the drag.
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

QString stateText(deviceWidget *card)
{
    return card->findChild<QLabel *>(QStringLiteral("label_state"))->text();
}

// Runs action once, from inside whatever event loop is running, as soon as
// the device waits for a reply.
class WhenWaiting : public QObject
{
public:
    WhenWaiting(ModbusDevice *device, std::function<void()> action)
        : m_device(device), m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_device && m_device->isWaiting()) {
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

    void newCardLook();
    void rowsFollowType_data();
    void rowsFollowType();
    void recordIsNormalised_data();
    void recordIsNormalised();
    void settingPageEditsRecord();
    void ipValidator_data();
    void ipValidator();
    void selectedLook();
    void doubleClick_data();
    void doubleClick();
    void dragEnter_data();
    void dragEnter();
    void dropOpensOneDialog();
    void switchShowsConnectingThenOff();
    void englishTexts();

    void followsControllerState();
    void reconnectsAfterDrop();
    void switchOffWhileWaiting();
    void releaseWhileWaiting();

private:
    void startSimulator();

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
    m_server.reset();
    m_controller.reset();
    ConfigStore *store = ConfigStore::instance();
    store->resetToDefaults();
    ModbusSettings s = store->modbusSettings();
    s.NetworkPort = SimPort;
    s.Timeout = 200;
    s.NumberOfRetries = 0;
    store->setModbusSettings(s);
}

void TestDeviceWidget::startSimulator()
{
    m_controller = std::make_unique<sim::Controller>();
    m_controller->setStationAddress(10);
    m_server = std::make_unique<sim::TcpServer>(m_controller.get());
    QVERIFY(m_server->listen(SimAddress, SimPort));
}

void TestDeviceWidget::newCardLook()
{
    deviceWidget card;
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(card.findChild<QLabel *>(QStringLiteral("label_state"))
                ->styleSheet()
                .contains(QStringLiteral(":/image/cncGrey.png")));
    QCOMPARE(card.currentIndex(), 0);
    QVERIFY(card.tabBar()->isHidden());
    QVERIFY(!card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->isChecked());
    QCOMPARE(card.findChild<QWidget *>(QStringLiteral("tab_show"))->property("select").toBool(), false);
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_deviceName"))->text(), QStringLiteral("设备"));
    QVERIFY(card.acceptDrops());
    QVERIFY(!card.uploadDialog());
}

void TestDeviceWidget::rowsFollowType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("addressShown");
    QTest::newRow("RTU") << 0 << true;
    QTest::newRow("TCP") << 1 << false;
}

void TestDeviceWidget::rowsFollowType()
{
    QFETCH(int, type);
    QFETCH(bool, addressShown);
    // Both directions from each start, including a type the box already shows.
    for (int before : {0, 1}) {
        deviceWidget card;
        DeviceRecord r = tcpRecord();
        r.Type = before;
        card.setRecord(r);
        r.Type = type;
        card.setRecord(r);
        QCOMPARE(card.record().Type, type);
        QCOMPARE(!card.findChild<QWidget *>(QStringLiteral("label_address"))->isHidden(), addressShown);
        QCOMPARE(!card.findChild<QWidget *>(QStringLiteral("spinBox_address"))->isHidden(), addressShown);
        QCOMPARE(!card.findChild<QWidget *>(QStringLiteral("label_IP"))->isHidden(), !addressShown);
        QCOMPARE(!card.findChild<QWidget *>(QStringLiteral("lineEdit_IP"))->isHidden(), !addressShown);
    }
}

void TestDeviceWidget::recordIsNormalised_data()
{
    QTest::addColumn<int>("firstAddress");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("heldAddress");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("address 0 on a new card") << -1 << 0 << 1 << "A"
                                             << "A";
    QTest::newRow("address 0 where 1 shows") << 1 << 0 << 1 << "A"
                                             << "A";
    QTest::newRow("address 255") << -1 << 255 << 255 << "A"
                                 << "A";
    QTest::newRow("address kept as shown") << 10 << 10 << 10 << "B"
                                           << "B";
    QTest::newRow("empty name keeps placeholder") << -1 << 10 << 10 << ""
                                                  << "设备";
    QTest::newRow("chinese name") << -1 << 7 << 7 << "车床一"
                                  << "车床一";
}

void TestDeviceWidget::recordIsNormalised()
{
    QFETCH(int, firstAddress);
    QFETCH(int, address);
    QFETCH(int, heldAddress);
    QFETCH(QString, name);
    QFETCH(QString, shownName);

    deviceWidget card;
    DeviceRecord r = tcpRecord();
    r.Type = 0;
    if (firstAddress >= 0) {
        r.Address = static_cast<quint8>(firstAddress);
        r.Name = QStringLiteral("x");
        card.setRecord(r);
    }
    r.Address = static_cast<quint8>(address);
    r.Name = name;
    card.setRecord(r);
    QCOMPARE(int(card.record().Address), heldAddress);
    QCOMPARE(card.findChild<QSpinBox *>(QStringLiteral("spinBox_address"))->value(), heldAddress);
    QCOMPARE(card.record().Name, name);
    if (firstAddress < 0)
        QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_deviceName"))->text(), shownName);
    QCOMPARE(card.record().IP, r.IP);
    QCOMPARE(card.record().Model, r.Model);
}

void TestDeviceWidget::settingPageEditsRecord()
{
    deviceWidget card;
    card.setRecord(tcpRecord());
    card.show();
    card.findChild<QPushButton *>(QStringLiteral("pushButton_set"))->click();
    QCOMPARE(card.currentIndex(), 1);

    auto *name = card.findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("mill 2"));
    QCOMPARE(card.record().Name, QStringLiteral("mill 2"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_deviceName"))->text(), QStringLiteral("mill 2"));

    auto *ip = card.findChild<QLineEdit *>(QStringLiteral("lineEdit_IP"));
    ip->clear();
    QTest::keyClicks(ip, QStringLiteral("10.1.2.3"));
    QCOMPARE(card.record().IP, QStringLiteral("10.1.2.3"));

    card.findChild<QComboBox *>(QStringLiteral("comboBox_model"))->setCurrentIndex(2);
    QCOMPARE(int(card.record().Model), 2);

    card.findChild<QComboBox *>(QStringLiteral("comboBox_type"))->setCurrentIndex(0);
    QCOMPARE(card.record().Type, 0);
    QVERIFY(!card.findChild<QWidget *>(QStringLiteral("spinBox_address"))->isHidden());
    QVERIFY(card.findChild<QWidget *>(QStringLiteral("lineEdit_IP"))->isHidden());

    card.findChild<QSpinBox *>(QStringLiteral("spinBox_address"))->setValue(200);
    QCOMPARE(int(card.record().Address), 200);

    card.findChild<QPushButton *>(QStringLiteral("pushButton_show"))->click();
    QCOMPARE(card.currentIndex(), 0);
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
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("loopback") << "127.0.0.5" << true;
}

void TestDeviceWidget::ipValidator()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    deviceWidget card;
    card.setRecord(tcpRecord());
    auto *ip = card.findChild<QLineEdit *>(QStringLiteral("lineEdit_IP"));
    ip->clear();
    QTest::keyClicks(ip, typed);
    QCOMPARE(ip->text() == typed, accepted);
    QCOMPARE(card.record().IP, ip->text());
    if (accepted)
        QVERIFY(ip->hasAcceptableInput());
}

void TestDeviceWidget::selectedLook()
{
    deviceWidget card;
    card.show();
    auto *name = card.findChild<QLabel *>(QStringLiteral("label_deviceName"));
    auto *page = card.findChild<QWidget *>(QStringLiteral("tab_show"));
    card.setSelected(true);
    QCOMPARE(page->property("select").toBool(), true);
    QCOMPARE(name->property("select").toBool(), true);
    QCOMPARE(name->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    card.setSelected(false);
    QCOMPARE(page->property("select").toBool(), false);
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
    QTest::newRow("ip field") << 1 << "lineEdit_IP" << false;
    QTest::newRow("address field") << 1 << "spinBox_address" << false;
}

void TestDeviceWidget::doubleClick()
{
    QFETCH(int, page);
    QFETCH(QString, target);
    QFETCH(bool, emits);
    deviceWidget card;
    DeviceRecord r = tcpRecord();
    r.Type = 0; // every field of the setting page shown
    card.setRecord(r);
    card.findChild<QWidget *>(QStringLiteral("lineEdit_IP"))->show();
    card.setCurrentIndex(page);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));

    QWidget *widget = card.findChild<QWidget *>(target);
    QVERIFY(widget);
    // A spin box's text is its inner line edit; that is what the mouse hits.
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        widget = spin->findChild<QLineEdit *>();
    QSignalSpy spy(&card, &deviceWidget::signDoubleClicked);
    const QPoint where = qobject_cast<QLabel *>(widget) || qobject_cast<QLineEdit *>(widget)
                             ? widget->rect().center()
                             : QPoint(3, widget->height() - 3);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, where);
    QCOMPARE(spy.count(), emits ? 1 : 0);
}

void TestDeviceWidget::dragEnter_data()
{
    QTest::addColumn<bool>("withUrls");
    QTest::newRow("plain text") << false;
    QTest::newRow("file urls") << true;
}

void TestDeviceWidget::dragEnter()
{
    QFETCH(bool, withUrls);
    deviceWidget card;
    QMimeData mime;
    if (withUrls)
        mime.setUrls({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("O0001")))});
    else
        mime.setText(m_dir.filePath(QStringLiteral("O0001")));

    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(!withUrls);
    QCoreApplication::sendEvent(&card, &enter);
    QCOMPARE(enter.isAccepted(), withUrls);

    QCOMPARE(dragAndDrop(&card, &mime), withUrls);
    QCOMPARE(card.uploadDialog() != nullptr, withUrls);
}

void TestDeviceWidget::dropOpensOneDialog()
{
    const QStringList names{QStringLiteral("O0001"), QStringLiteral("O0002.txt"), QStringLiteral("USRIO.TXT"),
                            QStringLiteral("O0003")};
    QList<QUrl> urls;
    for (const QString &name : names) {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("G0 X0\n");
        urls << QUrl::fromLocalFile(f.fileName());
    }

    deviceWidget card;
    card.setRecord(tcpRecord());
    auto lines = [&card] {
        UpLoadDialog *d = card.uploadDialog();
        return d->programRoot()->childCount() + d->fileRoot()->childCount();
    };

    QMimeData first;
    // A web link has no local file to send and is left out.
    first.setUrls(urls.mid(0, 3) << QUrl(QStringLiteral("http://example.invalid/O0009")));
    QVERIFY(dragAndDrop(&card, &first));
    QPointer<UpLoadDialog> dialog = card.uploadDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->device(), card.device());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("lathe"));
    QCOMPARE(lines(), 3);

    QMimeData second;
    second.setUrls(urls.mid(3));
    QVERIFY(dragAndDrop(&card, &second));
    QCOMPARE(card.uploadDialog(), dialog.data());
    QCOMPARE(lines(), 4);

    card.findChild<QPushButton *>(QStringLiteral("pushButton_upload"))->click();
    QCOMPARE(card.uploadDialog(), dialog.data());
}

void TestDeviceWidget::switchShowsConnectingThenOff()
{
    // Nobody listens on the loopback address: the attempts keep failing.
    deviceWidget card;
    card.setRecord(tcpRecord());
    auto *toggle = card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"));
    toggle->setChecked(true);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 3000);
    QVERIFY(card.findChild<QLabel *>(QStringLiteral("label_state"))
                ->styleSheet()
                .contains(QStringLiteral(":/image/cnc.png")));

    toggle->setChecked(false);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QCOMPARE(card.device()->stateCode(), 0);
    // Stays off: no tick turns it back to connecting.
    QTest::qWait(700);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
}

void TestDeviceWidget::englishTexts()
{
    ConfigStore::instance()->setLanguage(1);
    ConfigStore::instance()->rebuildStateDisplay();
    deviceWidget card;
    QCOMPARE(stateText(&card), QStringLiteral("    QUIT"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_deviceName"))->text(), QStringLiteral("Device"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_type"))->text(), QStringLiteral("Type"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_name"))->text(), QStringLiteral("Name"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_model"))->text(), QStringLiteral("Model"));
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("label_address"))->text(), QStringLiteral("Addr"));
    ConfigStore::instance()->resetToDefaults();
}

void TestDeviceWidget::followsControllerState()
{
    startSimulator();
    deviceWidget card;
    card.setRecord(tcpRecord());
    card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 5000);
    QVERIFY(card.device()->isReady());

    m_controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    运行"), 3000);
    QVERIFY(card.findChild<QLabel *>(QStringLiteral("label_state"))
                ->styleSheet()
                .contains(QStringLiteral(":/image/cncRun.png")));
    m_controller->setRunState(sim::RunState::Alarm);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    报警"), 3000);
    m_controller->setRunState(sim::RunState::Idle);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 3000);

    card.releaseConnection();
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(!card.device()->isReady());
}

void TestDeviceWidget::reconnectsAfterDrop()
{
    startSimulator();
    deviceWidget card;
    card.setRecord(tcpRecord());
    card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 5000);

    // The controller goes away: the card keeps trying and shows it.
    m_server->close();
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 5000);
    QVERIFY(!card.device()->isReady());

    QVERIFY(m_server->listen(SimAddress, SimPort));
    m_controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    运行"), 5000);

    // A dropped connection with the server still listening comes back too.
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    连接中"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    运行"), 5000);
    QVERIFY(card.device()->isReady());
    card.releaseConnection();
}

void TestDeviceWidget::switchOffWhileWaiting()
{
    startSimulator();
    deviceWidget card;
    card.setRecord(tcpRecord());
    auto *toggle = card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"));
    toggle->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(&card), QStringLiteral("    空闲"), 5000);

    m_server->setSilent(true);
    QString shownWhenOff;
    WhenWaiting off(card.device(), [&] {
        toggle->setChecked(false);
        shownWhenOff = stateText(&card);
    });
    QTRY_VERIFY_WITH_TIMEOUT(off.fired(), 3000);
    QCOMPARE(shownWhenOff, QStringLiteral("    中断"));
    QTRY_VERIFY_WITH_TIMEOUT(!card.device()->isWaiting(), 3000);
    // The poll that was waiting must not put a stale state back on the card.
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(!card.device()->isReady());
    QTest::qWait(700);
    QCOMPARE(stateText(&card), QStringLiteral("    中断"));
    QVERIFY(!card.device()->isWaiting());
}

void TestDeviceWidget::releaseWhileWaiting()
{
    startSimulator();
    auto *card = new deviceWidget;
    QPointer<deviceWidget> cardGuard(card);
    card->setRecord(tcpRecord());
    card->findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(card), QStringLiteral("    空闲"), 5000);
    card->showUploadDialog();
    QPointer<UpLoadDialog> dialog = card->uploadDialog();
    QPointer<ModbusDevice> device = card->device();

    m_server->setSilent(true);
    bool deviceAliveAfterRelease = false;
    WhenWaiting release(device, [&] {
        card->releaseConnection();
        card->releaseWhenIdle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        deviceAliveAfterRelease = !device.isNull() && !cardGuard.isNull();
    });
    QTRY_VERIFY_WITH_TIMEOUT(release.fired(), 3000);
    QVERIFY(deviceAliveAfterRelease);
    QTRY_VERIFY_WITH_TIMEOUT(cardGuard.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 3000);
}

QTEST_MAIN(TestDeviceWidget)
#include "tst_devicewidget.moc"
