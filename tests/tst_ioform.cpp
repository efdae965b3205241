#include "app/formmanager.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "views/ioform.h"
#include "views/viewpoller.h"
#include "viewtest.h"

#include <QCheckBox>
#include <QGraphicsEffect>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const char SimAddress[] = "127.0.0.16";
constexpr quint16 SimPort = 1502;

int shownLamps(IoForm *form, bool inputs)
{
    int count = 0;
    for (int i = 0; i < (inputs ? IoForm::InputLampCount : IoForm::OutputLampCount); ++i) {
        QCheckBox *lamp = inputs ? form->inputLamp(i) : form->outputLamp(i);
        if (lamp->isVisibleTo(form))
            ++count;
    }
    return count;
}
} // namespace

class TestIoForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void englishLabels();
    void unusedLampsStayHidden();
    void namesFitTheirCells();
    void noSelectionChangesNothing();

    void liveLampCounts_data();
    void liveLampCounts();
    void inputBitsLightLamps();
    void modelSwitchReusesTables();
    void busyTickReadOnceDeviceIsFree();
    void refreshOnlyWhileVisible();
    void formDeletedWhileReadWaits();

private:
    deviceWidget *connectCard(quint8 model);
    void removeCards();
    bool acquireSimulator();

    QTemporaryDir m_dir;
    sim::Controller *m_controller = nullptr;
    sim::TcpServer *m_server = nullptr;
};

void TestIoForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ConfigStore::instance()->resetToDefaults();
    TestSupport::useQuickLink(SimPort);
}

bool TestIoForm::acquireSimulator()
{
    if (m_server)
        return true;
    m_controller = new sim::Controller(this);
    m_server = new sim::TcpServer(m_controller, this);
    return m_server->listen(QHostAddress(QString::fromLatin1(SimAddress)), SimPort);
}

void TestIoForm::cleanupTestCase()
{
    removeCards();
    if (m_server)
        m_server->close();
}

void TestIoForm::cleanup()
{
    ConfigStore::instance()->setLanguage(0);
    Translations::install(0);
    if (m_controller) {
        m_controller->clearFaults();
        for (int i = 0; i < 16; ++i) {
            m_controller->setInputWord(i, 0);
            m_controller->setOutputWord(i, 0);
        }
    }
}

void TestIoForm::removeCards()
{
    DeviceManager *manager = DeviceManager::instance();
    const QList<deviceWidget *> cards = manager->cards();
    for (deviceWidget *card : cards) {
        emit card->signDoubleClicked();
        manager->removeSelectedDevice();
    }
    QTRY_VERIFY(manager->cards().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// One connected card per model, kept for the following tests: connecting
// takes most of a second.
deviceWidget *TestIoForm::connectCard(quint8 model)
{
    if (!acquireSimulator())
        return nullptr;
    for (deviceWidget *card : DeviceManager::instance()->cards()) {
        if (card->record().Model == model) {
            emit card->signDoubleClicked();
            return QTest::qWaitFor([card] { return card->device()->isReady(); }, 10000) ? card : nullptr;
        }
    }
    DeviceRecord record;
    record.Type = 1;
    record.Name = QStringLiteral("sim");
    record.Model = model;
    record.IP = QString::fromLatin1(SimAddress);
    record.Address = m_controller->stationAddress();
    DeviceManager *manager = DeviceManager::instance();
    manager->addDevice(record);
    deviceWidget *card = manager->cards().last();
    emit card->signDoubleClicked();
    card->findChild<QCheckBox *>("checkBox_toConnect")->setChecked(true);
    return QTest::qWaitFor([card] { return card->device()->isReady(); }, 10000) ? card : nullptr;
}

void TestIoForm::englishLabels()
{
    ConfigStore::instance()->setLanguage(1);
    QVERIFY(Translations::install(1));
    IoForm form;
    QCOMPARE(form.findChild<QLabel *>("label_input")->text(), QString("INPUT"));
    QCOMPARE(form.findChild<QLabel *>("label_output")->text(), QString("OUTPUT"));
}

void TestIoForm::unusedLampsStayHidden()
{
    std::unique_ptr<FormManager> manager(FormManager::instance());
    manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(manager.get()));
    auto *form = manager->findChild<IoForm *>();
    QTest::mouseClick(manager->findChild<QRadioButton *>("radioButton_IO"), Qt::LeftButton);
    form->applyInputNames(0);
    form->applyOutputNames(0);
    QCOMPARE(shownLamps(form, true), 36);

    // Leaving the page and coming back, a resize and a style change all make
    // the tables lay out their cell widgets anew.
    QTest::mouseClick(manager->findChild<QRadioButton *>("radioButton_PAR"), Qt::LeftButton);
    QTest::mouseClick(manager->findChild<QRadioButton *>("radioButton_IO"), Qt::LeftButton);
    const QSize size = manager->size() + QSize(120, 80);
    manager->resize(size);
    form->findChild<QTableWidget *>("tableWidget_input")->setStyleSheet(QStringLiteral(".QTableWidget{}"));
    QTRY_COMPARE(manager->size(), size);
    QCoreApplication::processEvents(); // the layouts that follow
    QVERIFY(form->isVisible());
    QCOMPARE(shownLamps(form, true), 36);
    QCOMPARE(shownLamps(form, false), 14);
    for (int i = 36; i < IoForm::InputLampCount; ++i)
        QVERIFY2(!form->inputLamp(i)->isVisible(), qPrintable(QString::number(i)));
    QVERIFY(form->inputLamp(35)->isVisible());
}

// Every name of the six tables fits its 50-pixel cell right of where the lamp
// starts its text: in the lamp's font, and in the CJK font at the same size.
void TestIoForm::namesFitTheirCells()
{
    IoForm form;
    QCheckBox *probe = form.inputLamp(0);
    probe->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(probe);
    const int room =
        probe->width() - probe->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, probe).left();
    QFont cjk = probe->font();
    cjk.setFamily(QStringLiteral("WenQuanYi Micro Hei"));
    for (int model : {0, 1, 2}) {
        form.applyInputNames(model);
        form.applyOutputNames(model);
        for (int i = 0; i < IoForm::InputLampCount + IoForm::OutputLampCount; ++i) {
            QCheckBox *lamp =
                i < IoForm::InputLampCount ? form.inputLamp(i) : form.outputLamp(i - IoForm::InputLampCount);
            lamp->ensurePolished();
            for (const QFont &font : {lamp->font(), cjk}) {
                const int width = QFontMetrics(font).horizontalAdvance(lamp->text());
                QVERIFY2(width <= room, qPrintable(QStringLiteral("%1 in %2: %3 of %4 px")
                                                       .arg(lamp->text(), QFontInfo(font).family())
                                                       .arg(width)
                                                       .arg(room)));
            }
        }
    }
}

void TestIoForm::noSelectionChangesNothing()
{
    QVERIFY(!DeviceManager::instance()->selectedDevice());
    IoForm form;
    form.updateIo();
    QCOMPARE(form.poller()->lastResult(), 1);
    QCOMPARE(form.currentModel(), int(IoForm::NoModel));
    QCOMPARE(form.tableReads(), 0);
    QCOMPARE(shownLamps(&form, true), 64);
    QVERIFY(form.inputLamp(0)->text().isEmpty());
    QGraphicsEffect *fade = form.findChild<QTableWidget *>("tableWidget_input")->viewport()->graphicsEffect();
    QVERIFY(fade && fade->isEnabled()); // older than the refresh
}

void TestIoForm::liveLampCounts_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<QString>("lastInput");
    QTest::newRow("P5X") << 2 << 64 << 40 << "S-X64";
    QTest::newRow("P7") << 0 << 36 << 14 << "X36";
}

void TestIoForm::liveLampCounts()
{
    QFETCH(int, model);
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(QString, lastInput);

    QVERIFY(connectCard(quint8(model)));
    IoForm form;
    form.updateIo();
    QCOMPARE(form.poller()->lastResult(), 0);
    QCOMPARE(form.currentModel(), model);
    QCOMPARE(shownLamps(&form, true), inputs);
    QCOMPARE(shownLamps(&form, false), outputs);
    QCOMPARE(form.inputLamp(inputs - 1)->text(), lastInput);
    for (int i = 0; i < inputs; ++i)
        QVERIFY(!form.inputLamp(i)->text().isEmpty());
}

void TestIoForm::inputBitsLightLamps()
{
    QVERIFY(connectCard(0));
    m_controller->setInputWord(0, 0x0005);
    m_controller->setInputWord(2, 0x0008);  // signal 35, the last P7 input
    m_controller->setOutputWord(0, 0x2000); // signal 13, the last P7 output
    IoForm form;
    form.updateIo();
    QCOMPARE(form.poller()->lastResult(), 0);
    QCOMPARE(form.inputLamp(0)->text(), QString("X01"));
    QVERIFY(form.inputLamp(0)->isChecked());
    QVERIFY(!form.inputLamp(1)->isChecked());
    QCOMPARE(form.inputLamp(2)->text(), QString("X03"));
    QVERIFY(form.inputLamp(2)->isChecked());
    QVERIFY(form.inputLamp(35)->isChecked());
    QCOMPARE(form.inputLamp(35)->toolTip().split('\n').last(),
             QString::fromUtf8("地址 2.3")); // word 2, bit 3
    QVERIFY(form.inputLamp(0)->toolTip().contains("XS37-14"));
    QCOMPARE(form.outputLamp(13)->text(), QString("M18"));
    QVERIFY(form.outputLamp(13)->isChecked());
    for (int i = 3; i < 35; ++i)
        QVERIFY(!form.inputLamp(i)->isChecked());

    m_controller->setInputWord(0, 0x0002);
    form.updateIo();
    QVERIFY(!form.inputLamp(0)->isChecked());
    QVERIFY(form.inputLamp(1)->isChecked());
    emit DeviceManager::instance()->selectedDeviceChanged(); // nothing of the controller stays
    QCOMPARE(form.inputLamp(1)->isChecked() || !form.inputLamp(1)->text().isEmpty(), false);
}

void TestIoForm::modelSwitchReusesTables()
{
    deviceWidget *p5 = connectCard(1);
    QVERIFY(p5);
    deviceWidget *p7 = connectCard(0);
    QVERIFY(p7);
    IoForm form;

    emit p5->signDoubleClicked();
    form.updateIo();
    QCOMPARE(form.inputLamp(0)->text(), QString("XPC"));
    QCOMPARE(shownLamps(&form, true), 48);
    QCOMPARE(form.tableReads(), 2);

    emit p7->signDoubleClicked();
    form.updateIo();
    QCOMPARE(form.inputLamp(0)->text(), QString("X01"));
    QCOMPARE(shownLamps(&form, true), 36);
    QCOMPARE(shownLamps(&form, false), 14);
    QCOMPARE(form.tableReads(), 4);

    emit p5->signDoubleClicked();
    form.updateIo();
    QCOMPARE(form.inputLamp(0)->text(), QString("XPC"));
    QCOMPARE(shownLamps(&form, true), 48);
    QCOMPARE(shownLamps(&form, false), 32);
    QCOMPARE(form.tableReads(), 4);
}

void TestIoForm::busyTickReadOnceDeviceIsFree()
{
    PolledPage::busyTickReadOnceDeviceIsFree<IoForm>(connectCard(2), m_server);
}

void TestIoForm::refreshOnlyWhileVisible()
{
    deviceWidget *card = connectCard(2);
    QVERIFY(card);
    auto ioReads = [this] {
        int count = 0;
        for (const sim::Request &request : m_controller->requests()) {
            if (request.function == 0x03 && (request.address == 0x1A04 || request.address == 0x1804))
                ++count;
        }
        return count;
    };
    IoForm form;
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(form.poller()->refreshCount() >= 2, 5000);
    form.hide();
    QTRY_VERIFY(!form.poller()->isReading());
    m_controller->clearRequests();
    const int refreshes = form.poller()->refreshCount();
    QVERIFY(TestSupport::waitForPolls(card->device(), 4));
    QCOMPARE(ioReads(), 0);
    QCOMPARE(form.poller()->refreshCount(), refreshes);
}

void TestIoForm::formDeletedWhileReadWaits()
{
    PolledPage::deletedWhileReadWaits<IoForm>(connectCard(2), m_server);
}

QTEST_MAIN(TestIoForm)
#include "tst_ioform.moc"
