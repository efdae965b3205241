#include "app/formmanager.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "testsupport.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void title_data();
    void title();
    void panelsInOrder();
    void savesAtDestruction();
    void storedDevicesSurviveTheRun();
    void windowCanBeBuiltAgain();

private:
    QString configPath() const { return m_home.filePath(QStringLiteral("Configure.xml")); }

    QTemporaryDir m_home;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Configure.xml is read and written in the working directory.
    QVERIFY(QDir::setCurrent(m_home.path()));
}

void TestMainWindow::init()
{
    ConfigStore::instance()->resetToDefaults();
    Translations::install(0);
    QFile::remove(configPath());
    // Each test builds the window of a new run.
    DeviceManager::resetInstanceForTesting();
    FormManager::resetInstanceForTesting();
}

void TestMainWindow::form()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.size(), QSize(742, 548));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!QImage(QStringLiteral(":/image/VEXAICON.png")).isNull());
    QVERIFY(window.styleSheet().isEmpty());
    QVERIFY(window.centralWidget());
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralwidget"));
    auto *menuBar = window.findChild<QMenuBar *>(QStringLiteral("menubar"));
    QVERIFY(menuBar);
    // One menu: the machines' history.
    QCOMPARE(menuBar->actions().size(), 1);
    QCOMPARE(menuBar->actions().constFirst()->menu()->objectName(), QStringLiteral("menuHistory"));
    QVERIFY(!window.findChild<QStatusBar *>());
    QVERIFY(!window.findChild<QToolBar *>());
}

void TestMainWindow::title_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    const QString chinese = QStringLiteral("Vexa通讯助手软件(VEXA_DEVAZIDO)");
    QTest::newRow("chinese") << 0 << chinese;
    QTest::newRow("english") << 1 << QStringLiteral("VEXA-DEVAZIDO");
    QTest::newRow("unknown value is chinese") << 3 << chinese;
    QTest::newRow("negative is chinese") << -1 << chinese;
}

void TestMainWindow::title()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    ConfigStore::instance()->setLanguage(language);
    QVERIFY(Translations::install(language));
    MainWindow window;
    QCOMPARE(window.windowTitle(), title);
    // A language change during the run shows only at the next start.
    ConfigStore::instance()->setLanguage(language == 1 ? 0 : 1);
    QCOMPARE(window.windowTitle(), title);
}

void TestMainWindow::panelsInOrder()
{
    MainWindow window;
    auto *layout = qobject_cast<QHBoxLayout *>(window.centralWidget()->layout());
    QVERIFY(layout);
    QCOMPARE(layout->count(), 2);
    QCOMPARE(layout->itemAt(0)->widget(), static_cast<QWidget *>(DeviceManager::instance()));
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(FormManager::instance()));
    QCOMPARE(layout->stretch(0), 0);
    QCOMPARE(layout->stretch(1), 0);
    QCOMPARE(DeviceManager::instance()->parentWidget(), window.centralWidget());
    QCOMPARE(FormManager::instance()->parentWidget(), window.centralWidget());
}

void TestMainWindow::savesAtDestruction()
{
    ConfigStore::instance()->setLanguage(1);
    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(!QFile::exists(configPath()));
    window.reset();
    QCOMPARE(
        readAll(configPath()),
        QByteArray("<Configure>\n"
                   "    <Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
                   "NumberOfRetries=\"3\" Timeout=\"300\"/>\n"
                   "    <Set Language=\"1\"/>\n"
                   "</Configure>\n"));
}

void TestMainWindow::storedDevicesSurviveTheRun()
{
    QTemporaryDir dir;
    const QString start = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(
        start, "<Configure><Device Type=\"1\" Name=\"lathe\" Model=\"2\" IP=\"127.0.0.9\" Address=\"3\"/>"
               "<Device Name=\"mill\" Address=\"300\"/></Configure>"));
    ConfigStore::instance()->loadFrom(start);
    const QList<DeviceRecord> read = ConfigStore::instance()->devices();

    auto window = std::make_unique<MainWindow>();
    DeviceRecord added;
    added.Type = 1;
    added.Name = QStringLiteral("新设备");
    added.IP = QStringLiteral("127.0.0.8");
    DeviceManager::instance()->addDevice(added);
    // What is saved are the cards' records as they are now, edits included.
    deviceWidget *lathe = DeviceManager::instance()->cards().first();
    lathe->findChild<QPushButton *>("pushButton_set")->click(); // builds the setting page
    lathe->findChild<QLineEdit *>("lineEdit_deviceName")->setText("lathe 2");
    QCOMPARE(DeviceManager::instance()->deviceRecords().size(), 3);
    window.reset();

    ConfigStore::instance()->resetToDefaults();
    ConfigStore::instance()->loadFrom(configPath());
    const QList<DeviceRecord> saved = ConfigStore::instance()->devices();
    QCOMPARE(saved.size(), 3);
    QCOMPARE(saved.at(0).Name, QStringLiteral("lathe 2"));
    QCOMPARE(saved.at(0).IP, QStringLiteral("127.0.0.9"));
    QCOMPARE(saved.at(0).Model, quint8(2));
    QCOMPARE(saved.at(1).Name, QStringLiteral("mill"));
    QCOMPARE(saved.at(1).Address, quint8(44));
    QCOMPARE(saved.at(2).Name, QStringLiteral("新设备"));
    // The Ids the file lacked are the ones the run used.
    QCOMPARE(saved.at(0).Id, read.at(0).Id);
    QCOMPARE(saved.at(1).Id, read.at(1).Id);
}

void TestMainWindow::windowCanBeBuiltAgain()
{
    for (int i = 0; i < 2; ++i) {
        init();
        auto window = std::make_unique<MainWindow>();
        QPointer<DeviceManager> devices = DeviceManager::instance();
        QPointer<FormManager> forms = FormManager::instance();
        QCOMPARE(devices->parentWidget(), window->centralWidget());
        window.reset();
        // The panels go with the window, and a late call does not bring them back.
        QVERIFY(!devices);
        QVERIFY(!forms);
        QVERIFY(!DeviceManager::instance());
        QVERIFY(!FormManager::instance());
    }
    QVERIFY(QFile::exists(configPath()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
