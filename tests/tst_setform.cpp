#include "app/formmanager.h"
#include "views/fileform.h"
#include "views/setform.h"
#include "viewtest.h"

#include <QComboBox>
#include <QDomDocument>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QModbusClient>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Interfaces = QList<SetForm::NetworkInterface>;
Q_DECLARE_METATYPE(Interfaces)

namespace {
const char SimAddress[] = "127.0.0.31";
constexpr quint16 SimPort = 1502;

QStringList g_ports;
Interfaces g_interfaces;

SetForm::NetworkInterface ethernet(const QStringList &addresses,
                                   QNetworkInterface::InterfaceFlags flags = QNetworkInterface::IsUp,
                                   QNetworkInterface::InterfaceType type = QNetworkInterface::Ethernet)
{
    SetForm::NetworkInterface entry;
    entry.type = type;
    entry.flags = flags;
    for (const QString &address : addresses)
        entry.addresses.append(QHostAddress(address));
    return entry;
}

void press(QWidget *form, const char *button)
{
    child<QPushButton>(form, button)->click();
}
} // namespace

class TestSetForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void storedValueShownAndStored_data();
    void storedValueShownAndStored();
    void storeTakesEdits();
    void englishAfterStoreAndShow();
    void refreshKeepsPortSelection_data();
    void refreshKeepsPortSelection();
    void pcAddress_data();
    void pcAddress();
    void storedTimeoutReachesNextConnection();

private:
    QTemporaryDir m_dir;
};

void TestSetForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    SetForm::setSystemListers([] { return g_ports; }, [] { return g_interfaces; });
}

void TestSetForm::init()
{
    ConfigStore::instance()->resetToDefaults();
    g_ports = QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")};
    g_interfaces.clear();
}

// A value in Configure.xml, shown on the page, stored unedited and saved again.
void TestSetForm::storedValueShownAndStored_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("saved");

    QTest::newRow("parity with an item") << "Parity"
                                         << "5"
                                         << "5";
    QTest::newRow("parity without an item") << "Parity"
                                            << "9"
                                            << "-1";
    QTest::newRow("baud rate with an item") << "BaudRate"
                                            << "9600"
                                            << "9600";
    QTest::newRow("baud rate without an item") << "BaudRate"
                                               << "12345"
                                               << "115200";
    QTest::newRow("data bits without an item") << "DataBits"
                                               << "9"
                                               << "8";
    QTest::newRow("port found") << "Port"
                                << "ttyUSB0"
                                << "ttyUSB0";
    QTest::newRow("port not listed is kept") << "Port"
                                             << "/dev/pts/7"
                                             << "/dev/pts/7";
    QTest::newRow("time-out below range") << "Timeout"
                                          << "5"
                                          << "10";
    QTest::newRow("time-out above range") << "Timeout"
                                          << "200000"
                                          << "100000";
    QTest::newRow("retries above range") << "NumberOfRetries"
                                         << "200"
                                         << "99";
    QTest::newRow("history days") << "History/RetentionDays"
                                  << "30"
                                  << "30";
    QTest::newRow("history days of the default not written") << "History/RetentionDays"
                                                             << "400"
                                                             << "";
    QTest::newRow("verify switched off") << "Set/Verify"
                                         << "0"
                                         << "0";
    QTest::newRow("verify on not written") << "Set/Verify"
                                           << "1"
                                           << "";
    QTest::newRow("history days above range") << "History/RetentionDays"
                                              << "99999"
                                              << "36500";
}

void TestSetForm::storedValueShownAndStored()
{
    QFETCH(QString, attribute);
    QFETCH(QString, stored);
    QFETCH(QString, saved);
    const QString path = m_dir.filePath(QStringLiteral("Configure.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // "Element/Attribute" for an element other than Modbus.
    const QString element = attribute.contains(QLatin1Char('/')) ? attribute.section(QLatin1Char('/'), 0, 0)
                                                                 : QStringLiteral("Modbus");
    attribute = attribute.section(QLatin1Char('/'), -1);
    file.write(
        QStringLiteral("<Configure><%1 %2=\"%3\"/></Configure>").arg(element, attribute, stored).toUtf8());
    file.close();
    ConfigStore::instance()->loadFrom(path);

    SetForm form;
    form.show();
    press(&form, "pushButton_store");
    QVERIFY(ConfigStore::instance()->saveTo(path, {}));
    QDomDocument document;
    QVERIFY(file.open(QIODevice::ReadOnly) && document.setContent(&file));
    QCOMPARE(document.documentElement().firstChildElement(element).attribute(attribute), saved);
}

// Edits count only once stored: showing the page again drops the others.
void TestSetForm::storeTakesEdits()
{
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.Parity = 2;
    settings.NetworkPort = SimPort;
    ConfigStore::instance()->setModbusSettings(settings);
    SetForm form;
    form.show();
    auto *parity = child<QComboBox>(&form, "comBox_parity");
    auto *timeout = child<QSpinBox>(&form, "spinBox_delayTime");
    QCOMPARE(parity->currentIndex(), 2); // the item index is the parity code
    QCOMPARE(child<QLineEdit>(&form, "lineEdit")->text(), QStringLiteral("502"));
    QVERIFY(!child<QLineEdit>(&form, "lineEdit")->isEnabled());
    timeout->setValue(5000);
    parity->setCurrentIndex(0);
    form.hide();
    form.show();
    QCOMPARE(timeout->value(), settings.Timeout);
    QCOMPARE(parity->currentIndex(), 2);

    parity->setCurrentIndex(1); // "Unuse"
    timeout->setValue(5000);
    child<QSpinBox>(&form, "spinBox_retries")->setValue(7);
    child<QComboBox>(&form, "comboBox_stop")->setCurrentIndex(1);
    QVERIFY(child<QLabel>(&form, "label_storeStatus")->text().isEmpty());
    press(&form, "pushButton_store");
    QVERIFY(child<QLabel>(&form, "label_storeStatus")->text().startsWith(QString::fromUtf8("已保存 ")));
    // Tab goes down the first column's groups, then the second's.
    const auto tabFrom = [](QWidget *w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    QCOMPARE(tabFrom(child<QWidget>(&form, "pushButton_pcIP")), child<QWidget>(&form, "comBox_serialPort"));
    auto *retries = child<QWidget>(&form, "spinBox_retries");
    QWidget *afterStop = tabFrom(child<QWidget>(&form, "comboBox_stop"));
    QVERIFY(afterStop == retries || retries->isAncestorOf(afterStop));
    const ModbusSettings after = ConfigStore::instance()->modbusSettings();
    QCOMPARE(after.Parity.toInt(), 1);
    QCOMPARE(after.Timeout, 5000);
    QCOMPARE(int(after.NumberOfRetries), 7);
    QCOMPARE(after.StopBits.toInt(), 2);
    QCOMPARE(after.NetworkPort.toInt(), int(SimPort)); // shown, never edited here
    QCOMPARE(ConfigStore::instance()->language(), 0);
}

// The page turns English the next time it is shown after storing ENGLISH; the
// rest of the program keeps its language until the next start.
void TestSetForm::englishAfterStoreAndShow()
{
    DeviceManager *devices = DeviceManager::instance();
    std::unique_ptr<FormManager> manager(FormManager::instance());
    manager->show();
    const auto showPage = [&](const char *button) {
        QTest::mouseClick(child<QRadioButton>(manager.get(), button), Qt::LeftButton);
    };
    showPage("radioButton_SET");
    auto *form = manager->findChild<SetForm *>();
    QVERIFY(form->isVisible());
    child<QComboBox>(form, "comboBox_language")->setCurrentIndex(1);
    press(form, "pushButton_store");
    QCOMPARE(ConfigStore::instance()->language(), 1);
    QVERIFY(hasChinese(child<QLabel>(form, "labelBite")->text()));

    showPage("radioButton_POS");
    showPage("radioButton_SET");
    // The broker's and the board's boxes take their texts through the
    // translator, from the next start.
    const QWidget *broker = form->findChild<QWidget *>("groupBox_mqtt");
    const QWidget *board = form->findChild<QWidget *>("groupBox_web");
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (w == broker || broker->isAncestorOf(w) || w == board || board->isAncestorOf(w))
            continue;
        const QVariant text = w->property(qobject_cast<QGroupBox *>(w) ? "title" : "text");
        if (qobject_cast<QLabel *>(w) || qobject_cast<QPushButton *>(w) || qobject_cast<QGroupBox *>(w))
            QVERIFY2(!hasChinese(text.toString()), qPrintable(text.toString()));
    }

    QVERIFY(hasChinese(child<QPushButton>(manager->findChild<FileForm *>(), "btn_readFile")->text()));
    QVERIFY(hasChinese(child<QRadioButton>(manager.get(), "radioButton_FILE")->text()));
    QVERIFY(hasChinese(child<QPushButton>(devices, "pushButton_addDevice")->text()));
}

void TestSetForm::refreshKeepsPortSelection_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("current");

    const QStringList two{"ttyS0", "ttyUSB0"};
    QTest::newRow("still there") << two << "ttyUSB0" << QStringList{"ttyACM0", "ttyS0", "ttyUSB0"}
                                 << "ttyUSB0";
    // An adapter unplugged for a moment stays the chosen port.
    QTest::newRow("unplugged") << two << "ttyUSB0" << QStringList{"ttyS0", "ttyACM0"} << "ttyUSB0";
    QTest::newRow("all unplugged") << two << "ttyS0" << QStringList{} << "ttyS0";
}

void TestSetForm::refreshKeepsPortSelection()
{
    QFETCH(QStringList, before);
    QFETCH(QString, chosen);
    QFETCH(QStringList, after);
    QFETCH(QString, current);
    g_ports = before;
    SetForm form;
    form.show();
    auto *ports = child<QComboBox>(&form, "comBox_serialPort");
    ports->setCurrentIndex(ports->findText(chosen));
    g_ports = after;
    press(&form, "btn_refreshSerial");
    QCOMPARE(ports->count(), after.size() + (after.contains(current) ? 0 : 1));
    QCOMPARE(ports->currentText(), current);
    // Data: the index in the PC's list, or UnlistedPort (-1).
    QCOMPARE(ports->findData(after.indexOf(current)), ports->currentIndex());
    press(&form, "pushButton_store");
    QCOMPARE(ConfigStore::instance()->modbusSettings().Port.toString(), current);
}

void TestSetForm::pcAddress_data()
{
    QTest::addColumn<Interfaces>("interfaces");
    QTest::addColumn<QString>("shown"); // empty: none, the label shows its placeholder

    QTest::newRow("IPv6 and IPv4") << Interfaces{ethernet({"fe80::1", "192.168.3.5", "::1"})}
                                   << "192.168.3.5";
    QTest::newRow("wi-fi only") << Interfaces{ethernet({"10.0.0.7"}, {}, QNetworkInterface::Wifi)} << "";
    QTest::newRow("loop-back") << Interfaces{ethernet({"127.0.0.1"}, QNetworkInterface::IsLoopBack)} << "";
    QTest::newRow("last wins, down or not")
        << Interfaces{ethernet({"192.168.3.5"}), ethernet({"192.168.10.2", "192.168.10.3"}, {}),
                      ethernet({"10.0.0.7"}, {}, QNetworkInterface::Wifi)}
        << "192.168.10.3";
}

void TestSetForm::pcAddress()
{
    QFETCH(Interfaces, interfaces);
    QFETCH(QString, shown);
    g_interfaces = {ethernet({"192.168.77.1"})};
    SetForm form;
    auto *label = child<QLabel>(&form, "label_pcIp");
    QCOMPARE(label->text(), QStringLiteral("192.168.77.1"));
    // The refresh button finds the address again.
    g_interfaces = interfaces;
    press(&form, "pushButton_pcIP");
    QCOMPARE(SetForm::pcAddress(interfaces), shown);
    if (!shown.isEmpty())
        QCOMPARE(label->text(), shown);
    else
        QVERIFY(QHostAddress(label->text()).isNull());
}

// Stored settings are read by a device at its next connection attempt; the
// link that is up keeps the ones it was opened with.
void TestSetForm::storedTimeoutReachesNextConnection()
{
    SimulatedCard sim(SimAddress, SimPort);
    sim.useQuickLinkSettings();
    deviceWidget *card = sim.connect();
    QVERIFY(card);
    QCOMPARE(card->device()->client()->timeout(), 200);

    SetForm form;
    form.show();
    child<QSpinBox>(&form, "spinBox_delayTime")->setValue(1234);
    child<QSpinBox>(&form, "spinBox_retries")->setValue(2);
    press(&form, "pushButton_store");
    QCOMPARE(card->device()->client()->timeout(), 200);

    sim.server.dropConnections();
    QTRY_VERIFY(!card->device()->isReady());
    QTRY_VERIFY_WITH_TIMEOUT(card->device()->isReady(), 10000);
    QCOMPARE(card->device()->client()->timeout(), 1234);
    QCOMPARE(card->device()->client()->numberOfRetries(), 2);
}

QTEST_MAIN(TestSetForm)
#include "tst_setform.moc"
