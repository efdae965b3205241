#include "app/formmanager.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "views/posform.h"
#include "views/viewpoller.h"
#include "viewtest.h"

#include <QCheckBox>
#include <QGraphicsEffect>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const char SimAddress[] = "127.0.0.6";
constexpr quint16 SimPort = 1502;

QString labelText(QWidget *form, const char *name)
{
    auto *label = form->findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

QString headerText(QTableWidget *table, int column)
{
    return table->horizontalHeaderItem(column)->text();
}

sim::AxisConfig axis(quint16 nameCode, qint32 absolute)
{
    sim::AxisConfig config;
    config.nameCode = nameCode;
    config.absolute = absolute;
    config.machine = absolute + 1000;
    config.speed = 0;
    config.torque = 12;
    return config;
}
} // namespace

class TestPosForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void captions_data();
    void captions();
    void setAxisCount();
    void noSelectionChangesNothing();

    void axisCountFollowsDevice();
    void englishKeepsDeviceWorkMode();
    void hidingStopsPositionTraffic();
    void busyTickReadOnceDeviceIsFree();
    void formDeletedWhileReadWaits();

private:
    deviceWidget *connectCard() { return m_sim.connect(); }
    int positionReads() const;
    bool reconnectWithAxes(const QVector<sim::AxisConfig> &axes);

    QTemporaryDir m_dir;
    SimulatedCard m_sim{SimAddress, SimPort, 2};
    sim::Controller *m_controller = &m_sim.controller;
    sim::TcpServer *m_server = &m_sim.server;
};

void TestPosForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ConfigStore::instance()->resetToDefaults();
    m_sim.useQuickLinkSettings();
}

void TestPosForm::cleanupTestCase()
{
    m_sim.remove();
}

// The device learns its axis set in the link set-up: change it in the
// controller and make the card connect anew.
bool TestPosForm::reconnectWithAxes(const QVector<sim::AxisConfig> &axes)
{
    if (!connectCard())
        return false;
    m_controller->setAxes(axes);
    m_server->dropConnections();
    return QTest::qWaitFor([this] { return !m_sim.card()->device()->isReady(); }, 5000) && connectCard();
}

// Reads of the absolute and machine coordinate blocks: the view's traffic,
// which the card's status poll never makes.
int TestPosForm::positionReads() const
{
    int count = 0;
    for (const sim::Request &request : m_controller->requests()) {
        if (request.function == 0x03 && (request.address == 0x3000 || request.address == 0x3600))
            ++count;
    }
    return count;
}

void TestPosForm::captions_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("headers");
    QTest::newRow("chinese") << 0 << QStringList{QString::fromUtf8("当前程序"), QString::fromUtf8("工作方式"),
                                                 QString::fromUtf8("计 件 数"), QString::fromUtf8("循环时间"),
                                                 QString::fromUtf8("计件目标"), QString::fromUtf8("运行时间")}
                             << QStringList{QString::fromUtf8("坐标名称"), QString::fromUtf8("绝对坐标"),
                                            QString::fromUtf8("机床坐标"), QString::fromUtf8("转速"),
                                            QString::fromUtf8("扭矩")};
    QTest::newRow("english") << 1 << QStringList{"MainPrg",    "WorkStyle", "Piece",
                                                 "CircleTime", "Target",    "RunTime"}
                             << QStringList{"Name", "Abs", "Mach", "Speed", "Torque"};
}

void TestPosForm::captions()
{
    QFETCH(int, language);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, headers);
    ConfigStore::instance()->setLanguage(language);
    QVERIFY(Translations::install(language));
    PosForm form;
    ConfigStore::instance()->setLanguage(0);
    Translations::install(0);
    const char *names[] = {"labelCurrPrg", "labelStyle",  "labelPiece",
                           "labelCircle",  "labelTarget", "labelRun"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(labelText(&form, names[i]), captions.at(i));
    auto *table = form.findChild<QTableWidget *>("tableWidget_axis");
    for (int column = 0; column < 5; ++column)
        QCOMPARE(headerText(table, column), headers.at(column));
    // Value labels keep their placeholders in both languages.
    QCOMPARE(labelText(&form, "label_programName"), QString("O0000"));
}

// Rows already there keep their items (and what the user typed into them
// until the next read); added rows get five fresh items.
void TestPosForm::setAxisCount()
{
    PosForm form;
    auto *table = form.findChild<QTableWidget *>("tableWidget_axis");
    form.setAxisCount(3);
    QTableWidgetItem *kept = table->item(0, 0);
    form.setAxisCount(5);
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->item(0, 0), kept);
    for (int column = 0; column < 5; ++column)
        QVERIFY(table->item(4, column));
    form.setAxisCount(2);
    QCOMPARE(table->rowCount(), 2);
    form.setAxisCount(-1);
    QCOMPARE(table->rowCount(), 0);
}

void TestPosForm::noSelectionChangesNothing()
{
    QVERIFY(!DeviceManager::instance()->selectedDevice());
    PosForm form;
    form.setAxisCount(2);
    auto *table = form.findChild<QTableWidget *>("tableWidget_axis");
    table->item(0, 0)->setText(QStringLiteral("X"));
    form.updateStatus();
    QCOMPARE(form.poller()->lastResult(), 1);
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QString("X"));
    QCOMPARE(labelText(&form, "label_piece"), QString("0000"));
    QGraphicsEffect *fade = table->viewport()->graphicsEffect();
    QVERIFY(fade && fade->isEnabled()); // older than the refresh
}

void TestPosForm::axisCountFollowsDevice()
{
    QVERIFY(reconnectWithAxes({axis(1, 12345), axis(2, -500), axis(3, 0)}));
    m_controller->setPieceCount(7);
    m_controller->setProgramNumber(12);
    PosForm form;
    auto *table = form.findChild<QTableWidget *>("tableWidget_axis");
    form.updateStatus();
    QCOMPARE(form.poller()->lastResult(), 0);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(2, 0)->text(), QString("Z"));
    QCOMPARE(table->item(0, 1)->text(), QString("12.345"));
    QCOMPARE(table->item(1, 2)->text(), QString("0.500"));
    QCOMPARE(labelText(&form, "label_piece"), QString("7"));
    QCOMPARE(labelText(&form, "label_programName"), QString("O0012"));

    // Two more axes: both new rows are filled in the read that adds them.
    QVERIFY(reconnectWithAxes({axis(1, 1000), axis(2, 2000), axis(3, 3000), axis(4, 4000), axis(5, 5000)}));
    form.updateStatus();
    QCOMPARE(table->rowCount(), 5);
    for (int row = 3; row < 5; ++row) {
        for (int column = 0; column < 5; ++column)
            QVERIFY(!table->item(row, column)->text().isEmpty());
    }
    QCOMPARE(table->item(3, 0)->text(), QString("A"));
    QCOMPARE(table->item(4, 1)->text(), QString("5.000"));

    // No axes: an empty table, while the labels still follow the device.
    QVERIFY(reconnectWithAxes({}));
    m_controller->setPieceCount(99);
    form.updateStatus();
    QCOMPARE(form.poller()->lastResult(), 0);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(labelText(&form, "label_piece"), QString("99"));
    QVERIFY(!table->viewport()->graphicsEffect()->isEnabled());
    emit DeviceManager::instance()->selectedDeviceChanged(); // nothing of the controller stays
    QCOMPARE(labelText(&form, "label_piece"), QString());
    QVERIFY(reconnectWithAxes({axis(1, 0), axis(2, 0), axis(3, 0)}));
}

void TestPosForm::englishKeepsDeviceWorkMode()
{
    QVERIFY(connectCard());
    ConfigStore::instance()->setLanguage(1);
    QVERIFY(Translations::install(1));
    PosForm form;
    ConfigStore::instance()->setLanguage(0);
    Translations::install(0);
    form.updateStatus();
    QCOMPARE(form.poller()->lastResult(), 0);
    QCOMPARE(labelText(&form, "labelStyle"), QString("WorkStyle"));
    const QString mode = labelText(&form, "label_workStyle");
    QCOMPARE(mode, m_sim.card()->device()->positionCache().workMode);
    QVERIFY(!mode.isEmpty());
    for (QChar c : mode)
        QVERIFY2(c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF, qPrintable(mode));
}

void TestPosForm::hidingStopsPositionTraffic()
{
    QVERIFY(connectCard());
    std::unique_ptr<FormManager> manager(FormManager::instance());
    auto *form = manager->findChild<PosForm *>();
    manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(manager.get()));
    QTRY_VERIFY_WITH_TIMEOUT(positionReads() > 0 && form->poller()->refreshCount() > 0, 5000);

    QTest::mouseClick(manager->findChild<QRadioButton *>("radioButton_IO"), Qt::LeftButton);
    QTRY_VERIFY(!form->poller()->isReading());
    m_controller->clearRequests();
    QVERIFY(TestSupport::waitForPolls(m_sim.card()->device(), 4));
    QCOMPARE(positionReads(), 0);

    // No read at the moment of showing; the first comes with the first tick.
    const int ticks = form->poller()->tickCount();
    int ticksAtFirstRead = -1;
    const auto watch = connect(m_controller, &sim::Controller::requestHandled, this, [&] {
        if (ticksAtFirstRead < 0 && positionReads() > 0)
            ticksAtFirstRead = form->poller()->tickCount();
    });
    QTest::mouseClick(manager->findChild<QRadioButton *>("radioButton_POS"), Qt::LeftButton);
    QCOMPARE(positionReads(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ticksAtFirstRead >= 0, 5000);
    disconnect(watch);
    QCOMPARE(ticksAtFirstRead, ticks + 1);
}

void TestPosForm::busyTickReadOnceDeviceIsFree()
{
    PolledPage::busyTickReadOnceDeviceIsFree<PosForm>(connectCard(), m_server);
}

void TestPosForm::formDeletedWhileReadWaits()
{
    PolledPage::deletedWhileReadWaits<PosForm>(connectCard(), m_server);
}

QTEST_MAIN(TestPosForm)
#include "tst_posform.moc"
