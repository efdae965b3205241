#include "app/formmanager.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"
#include "views/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

// Every user action that can come while a transaction of the selected card's
// device waits in its event loop, against the real main window: the wait ends
// cleanly (the sanitizer build checks the memory), and the device, where it
// still exists, is usable afterwards.
namespace {

const char *const AddressA = "127.0.0.72";
const char *const AddressB = "127.0.0.73";
constexpr quint16 SimPort = 1502;
constexpr int AnswerDelayMs = 15;

template<typename T> T *named(QObject *parent, const char *name)
{
    return parent ? parent->findChild<T *>(QLatin1String(name)) : nullptr;
}

void doubleClick(deviceWidget *card)
{
    QTest::mouseDClick(named<QLabel>(card, "label_deviceName"), Qt::LeftButton);
}

void click(QObject *parent, const char *name)
{
    QAbstractButton *button = named<QAbstractButton>(parent, name);
    QVERIFY2(button, name);
    button->click();
}

} // namespace

class TestLifetime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void whileWaiting_data();
    void whileWaiting();

private:
    QTemporaryDir m_dir;
};

void TestLifetime::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    // Whatever a view asks meanwhile is answered at once with its default.
    Dialogs::setResponder([](const Dialogs::Request &) { return Dialogs::Answer(); });
}

void TestLifetime::cleanupTestCase()
{
    Dialogs::setResponder({});
}

void TestLifetime::whileWaiting_data()
{
    QTest::addColumn<QString>("wait");   // what waits: "file read" or "upload"
    QTest::addColumn<QString>("action"); // what the user does meanwhile
    const char *const actions[] = {"remove card",  "switch off",   "switch page",
                                   "select other", "close window", "store settings",
                                   "program list", "parameters",   "file read"};
    for (const char *action : actions)
        QTest::newRow(qPrintable(QStringLiteral("file read, %1").arg(QLatin1String(action))))
            << "file read" << QString::fromLatin1(action);
    for (const char *action : {"hide dialog", "close dialog", "remove card", "switch off", "close window"})
        QTest::newRow(qPrintable(QStringLiteral("upload, %1").arg(QLatin1String(action))))
            << "upload" << QString::fromLatin1(action);
}

void TestLifetime::whileWaiting()
{
    QFETCH(QString, wait);
    QFETCH(QString, action);

    sim::Controller controllerA;
    sim::Controller controllerB;
    controllerA.setFile(QStringLiteral("BIG.TXT"), QByteArray(3000, 'g'));
    sim::TcpServer serverA(&controllerA);
    sim::TcpServer serverB(&controllerB);
    QVERIFY(serverA.listen(QHostAddress(QLatin1String(AddressA)), SimPort));
    QVERIFY(serverB.listen(QHostAddress(QLatin1String(AddressB)), SimPort));
    ConfigStore::instance()->resetToDefaults();
    TestSupport::useQuickLink(SimPort, 300);

    // Each case builds the window afresh, as a new run of the program does.
    DeviceManager::resetInstanceForTesting();
    FormManager::resetInstanceForTesting();
    QPointer<MainWindow> window = new MainWindow;
    window->show();
    DeviceManager *manager = DeviceManager::instance();
    for (const char *address : {AddressA, AddressB}) {
        DeviceRecord record;
        record.Type = 1;
        record.Name = QString::fromLatin1(address);
        record.IP = QString::fromLatin1(address);
        record.Address = controllerA.stationAddress();
        manager->addDevice(record);
        named<QCheckBox>(manager->cards().last(), "checkBox_toConnect")->setChecked(true);
    }
    QPointer<deviceWidget> cardA = manager->cards().at(0);
    QPointer<deviceWidget> cardB = manager->cards().at(1);
    QTRY_VERIFY_WITH_TIMEOUT(cardA->device()->isReady() && cardB->device()->isReady(), 10000);
    QTRY_COMPARE(cardA->device()->stateCode(), 3); // idle: uploads are allowed
    doubleClick(cardA);
    QCOMPARE(manager->selectedDevice(), cardA.data());
    QPointer<ModbusDevice> device = cardA->device();
    serverA.setAnswerDelay(AnswerDelayMs);

    const QString upload = m_dir.filePath(QStringLiteral("O0007.txt"));
    if (wait == QLatin1String("upload")) {
        QFile file(upload);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3000, 'u'));
        file.close();
        cardA->showUploadDialog();
        cardA->uploadDialog()->insertFile(QFileInfo(upload));
    } else {
        click(window, "radioButton_FILE");
        named<QComboBox>(window, "comBox_fileName")->setCurrentText(QStringLiteral("BIG.TXT"));
    }

    const std::function<void()> act = [&] {
        if (action == QLatin1String("remove card")) {
            manager->removeSelectedDevice();
        } else if (action == QLatin1String("switch off")) {
            named<QCheckBox>(cardA, "checkBox_toConnect")->setChecked(false);
        } else if (action == QLatin1String("switch page")) {
            click(window, "radioButton_POS");
        } else if (action == QLatin1String("select other")) {
            doubleClick(cardB);
        } else if (action == QLatin1String("close window")) {
            // As the program ends: the window closes and the application quits,
            // which ends every event loop, the device's included.
            window->close();
            QCoreApplication::exit(0);
        } else if (action == QLatin1String("store settings")) {
            click(window, "radioButton_SET");
            click(window, "pushButton_store");
        } else if (action == QLatin1String("program list")) {
            click(window, "radioButton_PRG");
        } else if (action == QLatin1String("parameters")) {
            click(window, "radioButton_PAR");
        } else if (action == QLatin1String("file read")) {
            click(window, "btn_readFile");
        } else if (action == QLatin1String("hide dialog")) {
            cardA->uploadDialog()->hide();
        } else if (action == QLatin1String("close dialog")) {
            cardA->uploadDialog()->close();
        }
    };
    bool acted = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (!acted && device && device->isWaiting() && device->isBusy()) {
            acted = true;
            act();
        }
    });
    watcher.start(5);
    if (wait == QLatin1String("upload"))
        click(cardA->uploadDialog(), "pushButton_trans");
    else
        click(window, "btn_readFile");
    watcher.stop();
    QVERIFY(acted);

    if (action == QLatin1String("close window")) {
        // The program's main() returns and the window goes with its cards.
        delete window;
        QVERIFY(QTest::qWaitFor([&] { return !device; }, 5000));
        // A new event loop starts afresh for the next test.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        qApp->exec();
        return;
    }
    serverA.setAnswerDelay(0);
    if (action == QLatin1String("remove card")) {
        QVERIFY(QTest::qWaitFor([&] { return !device && !cardA; }, 5000));
    } else {
        QVERIFY(device);
        if (action == QLatin1String("switch off"))
            named<QCheckBox>(cardA, "checkBox_toConnect")->setChecked(true);
        QVERIFY(QTest::qWaitFor([&] { return device->isReady() && !device->isBusy(); }, 10000));
        IoStatus io;
        QVERIFY(QTest::qWaitFor([&] { return device->readIo(&io) == 0; }, 5000));
        QByteArray text;
        QVERIFY(QTest::qWaitFor([&] { return device->readSystemFile(&text, QStringLiteral("BIG.TXT")) == 0; },
                                5000));
        QCOMPARE(text.size(), 3000);
    }
    // The other card never noticed.
    QVERIFY(cardB && cardB->device()->isReady());
    delete window;
}

QTEST_MAIN(TestLifetime)
#include "tst_lifetime.moc"
