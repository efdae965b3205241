// The program as an operator meets it: the whole main window, built as main()
// builds it, driven only through its widgets (found by object name) against a
// simulated mill on Modbus TCP over loopback and a simulated lathe on Modbus
// RTU over a pseudo-terminal pair (made by socat; without it the lathe's cases
// are skipped). The test functions run in order and share one window, as one
// working session does.
#include "app/formmanager.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "config/textcodec.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "devices/statelook.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"
#include "views/dialogs.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QDomDocument>
#include <QModbusClient>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace WindowDriver;

namespace {

const char TcpAddress[] = "127.0.0.60";
constexpr quint16 TcpPort = 1502; // the link's port is never stored; the fixture sets it
const QString Mill = QStringLiteral("Mill (TCP)");
const QString Lathe = QStringLiteral("Lathe (RTU)");

QVector<sim::AxisConfig> axes(const QVector<quint16> &codes, const QVector<quint16> &channels)
{
    QVector<sim::AxisConfig> list;
    for (int i = 0; i < codes.size(); ++i) {
        sim::AxisConfig a;
        a.nameCode = codes.at(i);
        a.channel = channels.at(i);
        list.append(a);
    }
    return list;
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table ? table->item(row, column) : nullptr;
    return item ? item->text() : QString();
}

int rowOf(const QTableWidget *table, const QString &text)
{
    for (int row = 0; table && row < table->rowCount(); ++row) {
        if (cellText(table, row, 0) == text)
            return row;
    }
    return -1;
}

// The lamp of signal k: its table's cell k holds a holder with the lamp inside.
QCheckBox *lamp(const QWidget *ioForm, const char *table, int k)
{
    auto *grid = named<QTableWidget>(ioForm, table);
    QWidget *holder = grid ? grid->cellWidget(k / 8, k % 8) : nullptr;
    return holder ? holder->findChild<QCheckBox *>() : nullptr;
}

int visibleLamps(const QWidget *ioForm, const char *table)
{
    int n = 0;
    for (int k = 0; k < 64; ++k) {
        QCheckBox *l = lamp(ioForm, table, k);
        n += l && l->isVisibleTo(ioForm) ? 1 : 0;
    }
    return n;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void addAndConfigureDevices();
    void switchOnShowsLiveState_data() { machines(); }
    void switchOnShowsLiveState();
    void positionAndLampsFollowController_data();
    void positionAndLampsFollowController();
    void programs_data() { machines(); }
    void programs();
    void systemFiles_data() { machines(); }
    void systemFiles();
    void parameters_data();
    void parameters();
    void storedSettingsReachNextConnection();
    void droppedFilesAreTransferred_data() { machines(); }
    void droppedFilesAreTransferred();
    void closeSavesEverythingAndStartAgain();

private:
    void machines();
    QStringList linked() const { return m_rtuUp ? QStringList{Mill, Lathe} : QStringList{Mill}; }
    sim::Controller *controllerOf(const QString &name) { return name == Mill ? &m_mill : &m_lathe; }
    QTabWidget *selectMachine(const QString &name);
    QWidget *page(const char *button, const char *form);
    QWidget *viewOf(const QString &name, const char *button, const char *form)
    {
        return selectMachine(name) ? page(button, form) : nullptr;
    }
    QString stateName(int code) const { return m_stateTexts.value(code); }
    void buildWindow();
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    sim::Controller m_mill;
    sim::Controller m_lathe;
    sim::TcpServer m_tcp{&m_mill};
    sim::RtuServer m_rtu{&m_lathe};
    sim::PtyPair m_pty;
    bool m_rtuUp = false;
    QString m_serialLine = QStringLiteral("/dev/ttyNone"); // named in Configure.xml
    std::unique_ptr<MainWindow> m_window;
    QStringList m_stateTexts;

    // What the operator answers to the next dialogs, and what was asked.
    int m_button = 0;
    int m_number = 0;
    QString m_chosenPath;
    QList<Dialogs::Request> m_asked;
};

void TestEndToEnd::machines()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("TCP") << Mill;
    QTest::newRow("RTU") << Lathe;
}

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_rtuUp = m_pty.start();
    if (m_rtuUp)
        m_serialLine = m_pty.second();

    // A two-channel mill (model P7, station 10) and a one-channel lathe
    // (model P5, station 1), with the sample machines' programs and files.
    m_mill.setStationAddress(10);
    m_mill.setAxes(axes({1, 2, 3, 4, 102, 3}, {1, 1, 1, 1, 2, 2}));
    m_mill.setChannelCount(2);
    QVERIFY(m_mill.loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill")));
    m_lathe.setStationAddress(1);
    m_lathe.setAxes(axes({1, 3, 6}, {1, 1, 1}));
    QVERIFY(m_lathe.loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/lathe")));
    for (sim::Controller *c : {&m_mill, &m_lathe}) {
        c->setRequestLogLimit(1000);
        c->setProgram(9, "O0009\nG00 X0 Z0\nM30");
    }
    QVERIFY(m_tcp.listen(QHostAddress(QString::fromLatin1(TcpAddress)), TcpPort));
    QVERIFY(!m_rtuUp || m_rtu.open(m_pty.first(), 115200, QSerialPort::OddParity));

    // The operator's Configure.xml names the serial line; the devices are
    // added through the window.
    QVERIFY(writeAll(
        path(QStringLiteral("Configure.xml")),
        QStringLiteral("<Configure><Modbus Port=\"%1\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" "
                       "StopBits=\"1\" NumberOfRetries=\"1\" Timeout=\"300\"/></Configure>")
            .arg(m_serialLine)
            .toUtf8()));
    ConfigStore::instance()->resetToDefaults();
    ConfigStore::instance()->loadFrom(ConfigStore::filePath());
    m_stateTexts = StateLook::texts();

    Dialogs::setResponder([this](const Dialogs::Request &request) {
        m_asked.append(request);
        Dialogs::Answer answer;
        answer.button = m_button;
        answer.accepted = true;
        answer.value = m_number;
        answer.path = m_chosenPath;
        return answer;
    });
    buildWindow();
}

void TestEndToEnd::cleanupTestCase()
{
    m_window.reset();
    Dialogs::setResponder({});
}

void TestEndToEnd::init()
{
    if (!m_rtuUp && QByteArray(QTest::currentDataTag()).startsWith("RTU"))
        QSKIP("no pseudo-terminal pair (socat missing or failing)");
}

void TestEndToEnd::buildWindow()
{
    // A new run: the lists are built from the configuration as main() builds them.
    DeviceManager::resetInstanceForTesting();
    FormManager::resetInstanceForTesting();
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = TcpPort;
    ConfigStore::instance()->setModbusSettings(settings);
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QTabWidget *TestEndToEnd::selectMachine(const QString &name)
{
    QTabWidget *c = card(m_window.get(), name);
    if (!c)
        return nullptr;
    select(c);
    return named<QLabel>(m_window.get(), "label_selectDevice")->text() == name ? c : nullptr;
}

// Shows a view; one already on screen is left and shown again, as an operator
// who selected another device does to have the view read that one.
QWidget *TestEndToEnd::page(const char *button, const char *form)
{
    QWidget *view = named<QWidget>(m_window.get(), form);
    if (!view)
        return nullptr;
    if (view->isVisible())
        showPage(m_window.get(),
                 qstrcmp(button, "radioButton_FILE") ? "radioButton_FILE" : "radioButton_SET");
    showPage(m_window.get(), button);
    return view->isVisible() ? view : nullptr;
}

void TestEndToEnd::addAndConfigureDevices()
{
    click(m_window.get(), "pushButton_addDevice");
    click(m_window.get(), "pushButton_addDevice");
    const QList<QTabWidget *> added = cards(m_window.get());
    QCOMPARE(added.size(), 2);

    // A new card is a TCP device at station 10, so the mill needs only its
    // name and address; the lathe becomes an RTU P5 at station 1.
    configure(added.at(0), {1, Mill, 0, QString::fromLatin1(TcpAddress), 10});
    configure(added.at(1), {0, Lathe, 1, QString(), 1});
    QCOMPARE(card(m_window.get(), Mill), added.at(0));
    QCOMPARE(card(m_window.get(), Lathe), added.at(1));
    for (QTabWidget *c : added) {
        QCOMPARE(c->currentIndex(), 0); // back on the front page
        QCOMPARE(stateText(c), stateName(0));
    }
    // The RTU card asks for the station, not an IP address.
    QVERIFY(!named<QWidget>(added.at(1), "spinBox_address")->isHidden());
    QVERIFY(named<QWidget>(added.at(1), "lineEdit_IP")->isHidden());
}

void TestEndToEnd::switchOnShowsLiveState()
{
    QFETCH(QString, name);
    sim::Controller *controller = controllerOf(name);
    QTabWidget *c = card(m_window.get(), name);
    QVERIFY(c);

    controller->setRunState(sim::RunState::Idle);
    setSwitch(c, true);
    QTRY_COMPARE(stateText(c), stateName(4));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(c), stateName(3), 10000);
    QVERIFY(controller->signatureInstalled());
    controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE(stateText(c), stateName(1));
    controller->setRunState(sim::RunState::Alarm);
    QTRY_COMPARE(stateText(c), stateName(2));
    // Programs are written to an idle controller only.
    controller->setRunState(sim::RunState::Idle);
    QTRY_COMPARE(stateText(c), stateName(3));
}

void TestEndToEnd::positionAndLampsFollowController_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("axisNames"); // the selected channel's
    QTest::addColumn<int>("inputs");            // lamps of the model's signal tables
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("position"); // of the second axis, in thousandths
    QTest::addColumn<QString>("shown");
    QTest::newRow("TCP, P7") << Mill << QStringList{"X", "Y", "Z", "A"} << 36 << 14 << -12345 << "-12.345";
    QTest::newRow("RTU, P5") << Lathe << QStringList{"X", "Z", "C"} << 48 << 32 << 54321 << "54.321";
}

void TestEndToEnd::positionAndLampsFollowController()
{
    QFETCH(QString, name);
    QFETCH(QStringList, axisNames);
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(int, position);
    QFETCH(QString, shown);
    sim::Controller *controller = controllerOf(name);
    QWidget *pos = viewOf(name, "radioButton_POS", "PosForm");
    QVERIFY(pos);
    auto *axisTable = named<QTableWidget>(pos, "tableWidget_axis");
    controller->setAxisValues(1, position, 67890, 0, 0);
    controller->setProgramNumber(20);
    controller->setPieceCount(42);
    QTRY_COMPARE(cellText(axisTable, 1, 1), shown);
    QCOMPARE(cellText(axisTable, 1, 2), QStringLiteral("67.890"));
    QCOMPARE(axisTable->rowCount(), axisNames.size());
    for (int row = 0; row < axisNames.size(); ++row)
        QCOMPARE(cellText(axisTable, row, 0), axisNames.at(row));
    QCOMPARE(named<QLabel>(pos, "label_programName")->text(), QStringLiteral("O0020"));
    QCOMPARE(named<QLabel>(pos, "label_piece")->text(), QStringLiteral("42"));

    QWidget *io = page("radioButton_IO", "IoForm");
    QVERIFY(io);
    controller->setInputWord(0, 0x0005);
    controller->setInputWord(1, 0x0001); // signal 16
    controller->setOutputWord(0, 0x0002);
    QTRY_VERIFY(lamp(io, "tableWidget_input", 16)->isChecked());
    QVERIFY(lamp(io, "tableWidget_input", 0)->isChecked());
    QVERIFY(!lamp(io, "tableWidget_input", 1)->isChecked());
    QVERIFY(lamp(io, "tableWidget_input", 2)->isChecked());
    QVERIFY(lamp(io, "tableWidget_output", 1)->isChecked());
    QVERIFY(!lamp(io, "tableWidget_output", 0)->isChecked());
    QCOMPARE(visibleLamps(io, "tableWidget_input"), inputs);
    QCOMPARE(visibleLamps(io, "tableWidget_output"), outputs);
    // All off again, so the next machine's lamps are seen to come on.
    controller->setInputWord(0, 0);
    controller->setInputWord(1, 0);
    controller->setOutputWord(0, 0);
    QTRY_VERIFY(!lamp(io, "tableWidget_input", 16)->isChecked());
}

void TestEndToEnd::programs()
{
    QFETCH(QString, name);
    sim::Controller *controller = controllerOf(name);
    QWidget *prg = viewOf(name, "radioButton_PRG", "PrgForm");
    QVERIFY(prg);
    auto *list = named<QTableWidget>(prg, "tableWidget_programList");
    auto *editor = named<QPlainTextEdit>(prg, "textEdit_program");
    auto *shown = named<QLabel>(prg, "label_programName");

    // The list is read when the page shows.
    QTRY_COMPARE(list->rowCount(), controller->programNumbers().size());
    QVERIFY(rowOf(list, QStringLiteral("O0001")) >= 0);

    // Preview, edit and write back.
    QVERIFY(doubleClickCell(list, rowOf(list, QStringLiteral("O0009")), 0));
    QTRY_COMPARE(shown->text(), QStringLiteral("O0009"));
    QCOMPARE(editor->toPlainText(), QStringLiteral("O0009\nG00 X0 Z0\nM30"));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, QStringLiteral("M05"));
    m_asked.clear();
    m_button = 0; // "更新(ok)"
    click(prg, "btn_coverProgram");
    QCOMPARE(controller->program(9), QByteArray("O0009\nG00 X0 Z0\nM30\nM05"));
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked.at(1).text, QStringLiteral("更新结束(success):O0009"));

    // Save the shown program on the PC.
    m_chosenPath = path(name + QStringLiteral("-O0009.txt"));
    click(prg, "btn_downloadProgram");
    QCOMPARE(readAll(m_chosenPath), QByteArray("O0009\nG00 X0 Z0\nM30\nM05"));

    // A new program holds its own name and shows in the list.
    m_number = 77;
    click(prg, "btn_newProgram");
    QCOMPARE(controller->program(77), QByteArray("O0077"));
    QTRY_VERIFY(rowOf(list, QStringLiteral("O0077")) >= 0);

    // Delete acts on the program shown.
    QVERIFY(doubleClickCell(list, rowOf(list, QStringLiteral("O0077")), 0));
    QTRY_COMPARE(shown->text(), QStringLiteral("O0077"));
    m_asked.clear();
    click(prg, "btn_deleteProgram");
    QVERIFY(!controller->hasProgram(77));
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked.at(1).text, QStringLiteral("删除结束(success):O0077"));
    click(prg, "btn_readProgramList");
    QTRY_COMPARE(rowOf(list, QStringLiteral("O0077")), -1);
}

void TestEndToEnd::systemFiles()
{
    QFETCH(QString, name);
    sim::Controller *controller = controllerOf(name);
    QWidget *file = viewOf(name, "radioButton_FILE", "FileForm");
    QVERIFY(file);
    auto *names = named<QComboBox>(file, "comBox_fileName");
    auto *pane = named<QPlainTextEdit>(file, "textEdit_file");

    names->setCurrentIndex(names->findText(QStringLiteral("ZOFS.PAR")));
    click(file, "btn_readFile");
    QCOMPARE(named<QLabel>(file, "label_fileName")->text(), QStringLiteral("ZOFS.PAR"));
    const QString text = TextCodec::decodeControllerText(controller->file(QStringLiteral("ZOFS.PAR")));
    QVERIFY(!text.isEmpty());
    QCOMPARE(pane->toPlainText().remove(QLatin1Char('\r')), QString(text).remove(QLatin1Char('\r')));

    // Find steps through the matches, case-sensitively.
    typeInto(named<QLineEdit>(file, "lineEdit_findFile"), QStringLiteral("G5"));
    click(file, "btn_findFile");
    QCOMPARE(pane->textCursor().selectedText(), QStringLiteral("G5"));
    const int first = pane->textCursor().position();
    click(file, "btn_findFile");
    QVERIFY(pane->textCursor().position() > first);

    m_asked.clear();
    m_chosenPath = path(name + QStringLiteral("-ZOFS.PAR"));
    click(file, "btn_downloadFile");
    QCOMPARE(readAll(m_chosenPath), controller->file(QStringLiteral("ZOFS.PAR")));
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked.at(1).text, QStringLiteral("文件:ZOFS.PAR下载完成"));
}

void TestEndToEnd::parameters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("axisLabels"); // from the machine's SYS.PAR
    QTest::newRow("TCP") << Mill << QStringList{"X:1", "Y:1", "Z:1", "A:1", "X2:2", "Z:2"};
    QTest::newRow("RTU") << Lathe << QStringList{"X", "Z", "C"}; // one channel: no channel number
}

void TestEndToEnd::parameters()
{
    QFETCH(QString, name);
    QFETCH(QStringList, axisLabels);
    QWidget *par = viewOf(name, "radioButton_PAR", "ParForm");
    QVERIFY(par);
    auto *table = named<QTableWidget>(par, "tableWidget_PARcontain");

    // Fetched from the controller whenever the page shows.
    QTRY_COMPARE(named<QSpinBox>(par, "spinBox_coord")->value(), axisLabels.size());
    QVERIFY(named<QTextEdit>(par, "textEdit")->toPlainText().contains(QLatin1String("[SETx]")));

    QVERIFY(
        doubleClickTreeItem(named<QTreeWidget>(par, "treeWidget_sysParams"), 1, QStringLiteral("[SETx]")));
    QTRY_COMPARE(table->columnCount(), 8);
    QCOMPARE(table->rowCount(), axisLabels.size());
    for (int row = 0; row < axisLabels.size(); ++row)
        QCOMPARE(table->verticalHeaderItem(row)->text(), axisLabels.at(row));
    QVERIFY(named<QLabel>(par, "label_paramName")->text().contains(QStringLiteral("各轴相关设置")));

    clickCell(table, 0, 0);
    QVERIFY(named<QLabel>(par, "label_annote")->text().startsWith(QLatin1String("DIA\t")));
    clickCell(table, 1, 7);
    QVERIFY(named<QLabel>(par, "label_annote")->text().startsWith(QLatin1String("HID\t")));
}

// The serial line named in Configure.xml is a pseudo-terminal that no port
// list holds: storing other settings must keep it, and both links take the new
// time-out and retries at their next connection.
void TestEndToEnd::storedSettingsReachNextConnection()
{
    QWidget *set = page("radioButton_SET", "SetForm");
    QVERIFY(set);
    QCOMPARE(named<QComboBox>(set, "comBox_serialPort")->currentText(), m_serialLine);
    named<QSpinBox>(set, "spinBox_delayTime")->setValue(700);
    named<QSpinBox>(set, "spinBox_retries")->setValue(2);
    click(set, "pushButton_store");
    QCOMPARE(ConfigStore::instance()->modbusSettings().Port.toString(), m_serialLine);

    for (const QString &name : linked()) {
        auto *c = qobject_cast<deviceWidget *>(card(m_window.get(), name));
        QVERIFY(c);
        QCOMPARE(c->device()->client()->timeout(), 300); // the link that is up keeps its settings
        setSwitch(c, false);
        QTRY_COMPARE(stateText(c), stateName(0));
        setSwitch(c, true);
        QTRY_COMPARE_WITH_TIMEOUT(stateText(c), stateName(3), 10000);
        QCOMPARE(c->device()->client()->timeout(), 700);
        QCOMPARE(c->device()->client()->numberOfRetries(), 2);
    }
}

void TestEndToEnd::droppedFilesAreTransferred()
{
    QFETCH(QString, name);
    sim::Controller *controller = controllerOf(name);
    QTabWidget *c = card(m_window.get(), name);
    QVERIFY(c);
    QTRY_COMPARE(stateText(c), stateName(3));

    const QString folder = path(name + QStringLiteral("-upload"));
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/O0123.txt");
    const QString notes = folder + QStringLiteral("/NOTES.TXT");
    QVERIFY(writeAll(program, "O0123\nG00 X1\nM30\n"));
    QVERIFY(writeAll(notes, "tool change every 200 pieces\n"));

    dropFiles(c, {program, notes});
    QWidget *dialog = uploadDialog(name);
    QVERIFY(dialog);
    auto *tree = named<QTreeWidget>(dialog, "treeWidget");
    QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("O0123"));
    QCOMPARE(tree->topLevelItem(1)->child(0)->text(0), QStringLiteral("NOTES.TXT"));

    click(dialog, "pushButton_trans");
    QTRY_COMPARE_WITH_TIMEOUT(controller->program(123), QByteArray("O0123\nG00 X1\nM30\n"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(controller->file(QStringLiteral("NOTES.TXT")),
                              QByteArray("tool change every 200 pieces\n"), 10000);
    for (int root = 0; root < 2; ++root) {
        QProgressBar *bar =
            qobject_cast<UpLoadDialog *>(dialog)->progressBar(tree->topLevelItem(root)->child(0));
        QVERIFY(bar);
        QTRY_COMPARE(bar->value(), 100);
    }
    dialog->close();
}

void TestEndToEnd::closeSavesEverythingAndStartAgain()
{
    m_window->close();
    m_window.reset();

    QDomDocument saved;
    QVERIFY(saved.setContent(readAll(ConfigStore::filePath())));
    const QDomNodeList devices = saved.documentElement().elementsByTagName(QStringLiteral("Device"));
    QCOMPARE(devices.size(), 2);
    const QStringList expected[] = {{"1", Mill, "0", TcpAddress, "10"}, {"0", Lathe, "1", "", "1"}};
    const char *attributes[] = {"Type", "Name", "Model", "IP", "Address"};
    for (int i = 0; i < 2; ++i) {
        const QDomElement device = devices.at(i).toElement();
        for (int a = 0; a < 5; ++a) {
            if (!expected[i].at(a).isEmpty())
                QCOMPARE(device.attribute(QLatin1String(attributes[a])), expected[i].at(a));
        }
    }
    const QDomElement modbus = saved.documentElement().firstChildElement(QStringLiteral("Modbus"));
    QCOMPARE(modbus.attribute(QStringLiteral("Port")), m_serialLine);
    QCOMPARE(modbus.attribute(QStringLiteral("Timeout")), QStringLiteral("700"));
    QCOMPARE(modbus.attribute(QStringLiteral("NumberOfRetries")), QStringLiteral("2"));

    // The next start finds the same devices, and they connect again.
    ConfigStore::instance()->resetToDefaults();
    ConfigStore::instance()->loadFrom(ConfigStore::filePath());
    buildWindow();
    const QList<QTabWidget *> again = cards(m_window.get());
    QCOMPARE(again.size(), 2);
    QCOMPARE(again.at(0), card(m_window.get(), Mill));
    QCOMPARE(again.at(1), card(m_window.get(), Lathe));
    for (const QString &name : linked())
        setSwitch(card(m_window.get(), name), true);
    for (const QString &name : linked())
        QTRY_COMPARE_WITH_TIMEOUT(stateText(card(m_window.get(), name)), stateName(3), 10000);
    QVERIFY(selectMachine(linked().last()));
    QWidget *pos = page("radioButton_POS", "PosForm");
    QVERIFY(pos);
    QTRY_COMPARE(named<QTableWidget>(pos, "tableWidget_axis")->rowCount(), m_rtuUp ? 3 : 4);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
