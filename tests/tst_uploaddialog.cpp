#include "archive/archivestore.h"
#include "config/configstore.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHideEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QtTest>
#include <QtTest/qtestspontaneevent.h>

#include <memory>

namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.7"));
constexpr quint16 SimPort = 1502;

QStringList lineTexts(const QTreeWidgetItem *root)
{
    QStringList texts;
    for (int i = 0; i < root->childCount(); ++i)
        texts << root->child(i)->text(0);
    return texts;
}

QByteArray programText(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + " F300\n";
    return text;
}

// The open commands of writes the controller received (not the reads that
// check them): (kind, word 4) in order.
QVector<QPair<int, int>> openCommands(const sim::Controller &controller)
{
    QVector<QPair<int, int>> opens;
    for (const sim::Request &request : controller.requests()) {
        if (request.function == 0x10 && request.address == 0x3300 && request.values.size() >= 5 &&
            request.values.at(0) == 20 && (request.values.at(3) & 0x1000))
            opens.append({request.values.at(3), request.values.at(4)});
    }
    return opens;
}

} // namespace

class TestUploadDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void archivesWhatItReplaces();
    void cleanup();

    void form();
    void lines_data();
    void lines();
    void sizeLimit_data();
    void sizeLimit();
    void folderWalk();
    void folderWalkBounded();
    void checkPropagation();
    void clipboardAdd_data();
    void clipboardAdd();
    void chooserAdd();
    void hideEmptiesLists();
    void noDeviceShowsOutcome();
    void oversizedProgramNotRead();

    void transferWritesCheckedLines();
    void runningControllerRefuses();
    void secondPressChangesNothing();
    void pressDuringPollWaitsForTheDevice();
    void goneDuringTransfer_data();
    void goneDuringTransfer();

private:
    QString makeFile(const QString &relative, const QByteArray &bytes = QByteArray("G0\n"));
    void connectDevice();

    std::unique_ptr<QTemporaryDir> m_dir;
    sim::Controller m_controller;
    sim::TcpServer *m_server = nullptr;
    std::unique_ptr<ModbusDevice> m_device;
};

void TestUploadDialog::initTestCase()
{
    TestSupport::useQuickLink(SimPort);
    ConfigStore::instance()->setLanguage(0);
    // These count the upload's own requests; archivesWhatItReplaces() has the
    // archive's read before each line.
    ConfigStore::instance()->setArchiveEnabled(false);
    m_server = new sim::TcpServer(&m_controller, this);
    QVERIFY(m_server->listen(SimAddress, SimPort));
}

void TestUploadDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    UpLoadDialog::setFileChooser({});
    m_controller.clearRequests();
    m_controller.setRunState(sim::RunState::Idle);
}

void TestUploadDialog::cleanup()
{
    m_controller.clearFaults();
    for (int number : m_controller.programNumbers())
        m_controller.removeProgram(number);
}

QString TestUploadDialog::makeFile(const QString &relative, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestUploadDialog::connectDevice()
{
    if (!m_device) {
        m_device = std::make_unique<ModbusDevice>();
        DeviceRecord record;
        record.Type = 1;
        record.Name = QStringLiteral("Mill 7");
        record.IP = SimAddress.toString();
        m_device->setRecord(record);
        m_device->open();
    }
    // The card retries every tick while the device is not ready; so do we.
    QTRY_VERIFY_WITH_TIMEOUT(m_device->isReady() || (m_device->tryConnect(), false), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_device->pollState(), 3, 5000);
}

void TestUploadDialog::form()
{
    UpLoadDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("UpLoadDialog"));
    auto *tree = dialog.findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
    QVERIFY(tree);
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0), dialog.programRoot());
    QCOMPARE(tree->topLevelItem(1), dialog.fileRoot());
    for (QTreeWidgetItem *root : {dialog.programRoot(), dialog.fileRoot()}) {
        QCOMPARE(root->type(), 1001);
        QCOMPARE(root->flags(), Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        QCOMPARE(root->checkState(0), Qt::Checked);
    }
    for (const char *name : {"pushButton_clip", "pushButton_reset", "pushButton_choose", "pushButton_trans"})
        QVERIFY2(dialog.findChild<QPushButton *>(QLatin1String(name)), name);

    auto device = std::make_unique<ModbusDevice>();
    DeviceRecord record = device->record();
    record.Name = QStringLiteral("车床 2");
    device->setRecord(record);
    dialog.bindDevice(device.get());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("车床 2"));
    device.reset();
    QCOMPARE(dialog.device(), nullptr);
}

void TestUploadDialog::lines_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<QVariantList>("numbers");
    QTest::addColumn<QStringList>("others");

    QTest::newRow("program, bare number, system file")
        << QStringList{"O0001.txt", "12.nc", "PLC.PAR"} << QStringList{"O0001", "O0012"}
        << QVariantList{1, 12} << QStringList{"PLC.PAR"};
    QTest::newRow("PLC suffix goes to SYS")
        << QStringList{"MAIN.PLC"} << QStringList{} << QVariantList{} << QStringList{"SYS/MAIN.PLC"};
    QTest::newRow("PLC suffix is case-sensitive") << QStringList{"main.plc", "MAIN.Plc"} << QStringList{}
                                                  << QVariantList{} << QStringList{"main.plc", "MAIN.Plc"};
    // The name rule's own cases are in tst_filenames; these are what the
    // dialog takes of a file name: its complete base name, whatever the suffixes.
    QTest::newRow("names that are not programs")
        << QStringList{"O12A.nc", "PLC", "O0012.tar.gz"} << QStringList{} << QVariantList{}
        << QStringList{"O12A.nc", "PLC", "O0012.tar.gz"};
    QTest::newRow("no suffix") << QStringList{"7", "O12"} << QStringList{"O0007", "O0012"}
                               << QVariantList{7, 12} << QStringList{};
}

void TestUploadDialog::lines()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, programs);
    QFETCH(QVariantList, numbers);
    QFETCH(QStringList, others);

    QStringList paths;
    for (const QString &name : files)
        paths << makeFile(name);
    UpLoadDialog dialog;
    dialog.insertFiles(paths);

    QCOMPARE(lineTexts(dialog.programRoot()), programs);
    QCOMPARE(lineTexts(dialog.fileRoot()), others);
    for (int i = 0; i < numbers.size(); ++i)
        QCOMPARE(dialog.programRoot()->child(i)->data(1, Qt::UserRole).toInt(), numbers.at(i).toInt());
    for (int i = 0; i < others.size(); ++i)
        QCOMPARE(dialog.fileRoot()->child(i)->data(1, Qt::UserRole).toString(), others.at(i));

    for (QTreeWidgetItem *root : {dialog.programRoot(), dialog.fileRoot()}) {
        QVERIFY(root->isExpanded() || root->childCount() == 0);
        for (int i = 0; i < root->childCount(); ++i) {
            QTreeWidgetItem *line = root->child(i);
            QCOMPARE(line->type(), 1002);
            QCOMPARE(line->flags(), Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
            QCOMPARE(line->checkState(0), Qt::Checked);
            const QString path = line->data(0, Qt::UserRole).toString();
            QCOMPARE(line->toolTip(0), path);
            QVERIFY2(paths.contains(path), qPrintable(path));
            QProgressBar *bar = dialog.progressBar(line);
            QVERIFY(bar);
            QCOMPARE(bar->value(), 0);
        }
    }
}

void TestUploadDialog::sizeLimit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("programLines");
    QTest::addColumn<int>("fileLines");

    QTest::newRow("file of 10 MiB") << "SYS.PAR" << qint64(10485760) << 0 << 1;
    QTest::newRow("file of 10 MiB + 1") << "SYS.PAR" << qint64(10485761) << 0 << 0;
    QTest::newRow("program of 10 MiB + 1") << "O0003.txt" << qint64(10485761) << 1 << 0;
}

void TestUploadDialog::sizeLimit()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(int, programLines);
    QFETCH(int, fileLines);

    const QString path = makeFile(name, QByteArray());
    QFile file(path);
    QVERIFY(file.resize(size)); // sparse: no 10 MiB written
    UpLoadDialog dialog;
    dialog.insertFile(QFileInfo(path));
    QCOMPARE(dialog.programRoot()->childCount(), programLines);
    QCOMPARE(dialog.fileRoot()->childCount(), fileLines);
}

void TestUploadDialog::folderWalk()
{
    makeFile(QStringLiteral("batch/b.PAR"));
    makeFile(QStringLiteral("batch/Z.TXT"));
    makeFile(QStringLiteral("batch/A.txt"));
    makeFile(QStringLiteral("batch/O0009.txt"));
    makeFile(QStringLiteral("batch/sub/O0002.nc"));
    makeFile(QStringLiteral("batch/sub/c.txt"));
    makeFile(QStringLiteral("batch/Sub2/deep/D.PLC"));
    makeFile(QStringLiteral("batch/sub/O0001.nc"));
    // A link back up the tree must not walk forever.
    QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("batch")),
                        m_dir->filePath(QStringLiteral("batch/sub/up"))));

    UpLoadDialog dialog;
    dialog.insertFiles(
        {m_dir->filePath(QStringLiteral("batch")), m_dir->filePath(QStringLiteral("missing"))});

    QCOMPARE(lineTexts(dialog.programRoot()), QStringList({"O0009", "O0001", "O0002"}));
    QCOMPARE(lineTexts(dialog.fileRoot()), QStringList({"A.txt", "b.PAR", "c.txt", "SYS/D.PLC", "Z.TXT"}));
    QVERIFY(dialog.programRoot()->isExpanded());
    QVERIFY(dialog.fileRoot()->isExpanded());
}

// A chain of folders each linking twice to the next is walked once per
// folder, not once per route (2^12 here); a chain deeper than the bound is
// not walked to its end.
void TestUploadDialog::folderWalkBounded()
{
    QString level = m_dir->filePath(QStringLiteral("diamond"));
    for (int i = 0; i < 12; ++i) {
        const QString next = m_dir->filePath(QStringLiteral("level%1").arg(i));
        QVERIFY(QDir().mkpath(level) && QDir().mkpath(next));
        QVERIFY(QFile::link(next, level + QStringLiteral("/a")) &&
                QFile::link(next, level + QStringLiteral("/b")));
        level = next;
    }
    makeFile(QStringLiteral("level11/O0001.nc"));
    makeFile(QStringLiteral("deep/") + QStringLiteral("d/").repeated(UpLoadDialog::MaxWalkDepth) +
             QStringLiteral("O0002.nc"));

    UpLoadDialog dialog;
    dialog.insertFiles({m_dir->filePath(QStringLiteral("diamond")), m_dir->filePath(QStringLiteral("deep"))});
    QCOMPARE(lineTexts(dialog.programRoot()), QStringList{"O0001"});
}

void TestUploadDialog::checkPropagation()
{
    UpLoadDialog dialog;
    dialog.insertFiles({makeFile("O0001.txt"), makeFile("O0002.txt"), makeFile("SYS.PAR")});
    QTreeWidgetItem *programs = dialog.programRoot();

    programs->setCheckState(0, Qt::Unchecked);
    QCOMPARE(programs->child(0)->checkState(0), Qt::Unchecked);
    QCOMPARE(programs->child(1)->checkState(0), Qt::Unchecked);
    QCOMPARE(dialog.fileRoot()->child(0)->checkState(0), Qt::Checked);

    programs->child(1)->setCheckState(0, Qt::Checked);
    QCOMPARE(programs->checkState(0), Qt::Unchecked);
    QCOMPARE(programs->child(0)->checkState(0), Qt::Unchecked);

    dialog.fileRoot()->child(0)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(dialog.fileRoot()->checkState(0), Qt::Checked);

    programs->setCheckState(0, Qt::Checked);
    QCOMPARE(programs->child(0)->checkState(0), Qt::Checked);
    QCOMPARE(programs->child(1)->checkState(0), Qt::Checked);
}

void TestUploadDialog::clipboardAdd_data()
{
    QTest::addColumn<QString>("form"); // how the existing file is put on the clipboard
    QTest::addColumn<int>("lines");

    QTest::newRow("quoted file URL") << "\"%url\"" << 1;
    QTest::newRow("two paths") << "%path\n%path" << 0;
    QTest::newRow("missing file") << "%path.missing" << 0;
}

void TestUploadDialog::clipboardAdd()
{
    QFETCH(QString, form);
    QFETCH(int, lines);

    const QString path = makeFile(QStringLiteral("my prg/O0003.txt"));
    QString text = form;
    text.replace(QLatin1String("%url"), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    text.replace(QLatin1String("%path"), path);
    QGuiApplication::clipboard()->setText(text);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);

    UpLoadDialog dialog;
    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_clip"))->click();
    QCOMPARE(dialog.programRoot()->childCount(), lines);
    if (lines == 1) {
        QCOMPARE(dialog.programRoot()->child(0)->text(0), QStringLiteral("O0003"));
        QCOMPARE(dialog.programRoot()->child(0)->data(0, Qt::UserRole).toString(), path);
    }
    QCOMPARE(dialog.fileRoot()->childCount(), 0);
}

void TestUploadDialog::chooserAdd()
{
    const QString program = makeFile(QStringLiteral("O0004.txt"));
    makeFile(QStringLiteral("folder/USRIO.TXT"));
    QStringList answers{program, QString(), m_dir->filePath(QStringLiteral("folder")),
                        m_dir->filePath(QStringLiteral("gone.txt"))};
    int asked = 0;
    UpLoadDialog dialog;
    UpLoadDialog::setFileChooser([&](QWidget *parent) {
        [&] { QCOMPARE(parent, &dialog); }();
        return answers.value(asked++);
    });
    auto *choose = dialog.findChild<QPushButton *>(QStringLiteral("pushButton_choose"));
    for (int i = 0; i < answers.size(); ++i)
        choose->click();
    QCOMPARE(asked, answers.size());
    QCOMPARE(lineTexts(dialog.programRoot()), QStringList{"O0004"});
    QCOMPARE(lineTexts(dialog.fileRoot()), QStringList{"USRIO.TXT"});
}

void TestUploadDialog::hideEmptiesLists()
{
    UpLoadDialog dialog;
    dialog.show();
    dialog.insertFiles({makeFile("O0001.txt"), makeFile("SYS.PAR")});

    // What the window system sends when the operator minimises the dialog;
    // notify(), unlike sendEvent(), keeps the event spontaneous.
    QHideEvent minimised;
    QSpontaneKeyEvent::setSpontaneous(&minimised);
    QCoreApplication::instance()->notify(&dialog, &minimised);
    QCOMPARE(dialog.programRoot()->childCount(), 1);

    dialog.close();
    dialog.show();
    QCOMPARE(dialog.findChild<QTreeWidget *>(QStringLiteral("treeWidget"))->topLevelItemCount(), 2);
    QCOMPARE(dialog.programRoot()->childCount(), 0);
    QCOMPARE(dialog.fileRoot()->childCount(), 0);

    // The dialog fills again after being emptied.
    dialog.insertFile(QFileInfo(makeFile("O0002.txt")));
    QCOMPARE(lineTexts(dialog.programRoot()), QStringList{"O0002"});
}

void TestUploadDialog::oversizedProgramNotRead()
{
    // A program file is listed whatever its size, but one beyond any text the
    // transfer can carry is refused before it is read into memory.
    const QString path = makeFile(QStringLiteral("big/O0007.nc"), QByteArray());
    QFile file(path);
    QVERIFY(file.resize(Protocol::MaxTextBytes + 1)); // sparse
    UpLoadDialog dialog;
    dialog.insertFile(QFileInfo(path));
    QCOMPARE(lineTexts(dialog.programRoot()), QStringList{"O0007"});
    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();
    QTreeWidgetItem *line = dialog.programRoot()->child(0);
    QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), int(UpLoadDialog::FileTooLarge));
    QCOMPARE(dialog.progressBar(line)->text(), QStringLiteral("文件过大"));
}

void TestUploadDialog::noDeviceShowsOutcome()
{
    UpLoadDialog dialog;
    const QString gone = makeFile("O0002.txt");
    dialog.insertFiles({makeFile("O0001.txt"), gone, makeFile("SYS.PAR"), makeFile("65536.txt")});
    QVERIFY(QFile::remove(gone));
    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();
    QTreeWidgetItem *beyond = dialog.programRoot()->child(2);
    QCOMPARE(beyond->data(1, UpLoadDialog::OutcomeRole).toInt(), int(UpLoadDialog::NumberOutOfRange));
    QCOMPARE(dialog.progressBar(beyond)->text(), QString::fromUtf8("编号超出 (0-9999)"));

    QTreeWidgetItem *first = dialog.programRoot()->child(0);
    QTreeWidgetItem *missing = dialog.programRoot()->child(1);
    QCOMPARE(first->data(1, UpLoadDialog::OutcomeRole).toInt(), 2);
    QCOMPARE(dialog.progressBar(first)->text(), QStringLiteral("未连接 (代码 2)"));
    QCOMPARE(missing->data(1, UpLoadDialog::OutcomeRole).toInt(), int(UpLoadDialog::UnreadableFile));
    QCOMPARE(dialog.progressBar(missing)->text(), QStringLiteral("无法读取"));
    QCOMPARE(dialog.fileRoot()->child(0)->data(1, UpLoadDialog::OutcomeRole).toInt(), 2);

    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_reset"))->click();
    for (QTreeWidgetItem *line : {first, missing}) {
        QVERIFY(!line->data(1, UpLoadDialog::OutcomeRole).isValid());
        QCOMPARE(dialog.progressBar(line)->text(), QStringLiteral("0%"));
        QCOMPARE(line->checkState(0), Qt::Checked);
    }
}

void TestUploadDialog::transferWritesCheckedLines()
{
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    const QByteArray prg1 = programText(30); // several chunks
    const QByteArray prg12(200, 'X');        // exactly one full chunk and an empty one
    // Sent as they are on disk (GBK stays GBK), less a byte-order mark.
    const QByteArray par = "[SYS]\r\n; \xD6\xF7\xD5\xBE\r\nP0001=1\r\n";
    const QByteArray plc = "LD X0.0\nOUT Y0.1\n";

    UpLoadDialog dialog;
    dialog.bindDevice(m_device.get());
    dialog.show();
    dialog.insertFiles({makeFile("O0001.txt", prg1), makeFile("12.nc", prg12), makeFile("O0005.txt"),
                        makeFile("PLC.PAR", par), makeFile("MAIN.PLC", "\xEF\xBB\xBF" + plc),
                        makeFile("EMPTY.TXT", QByteArray())});
    dialog.programRoot()->child(2)->setCheckState(0, Qt::Unchecked); // O0005
    // An earlier outcome must not survive a new transfer.
    dialog.progressBar(dialog.fileRoot()->child(0))->setFormat(QStringLiteral("stale"));
    m_controller.clearRequests();

    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();

    QCOMPARE(m_controller.program(1), prg1);
    QCOMPARE(m_controller.program(12), prg12);
    QVERIFY(!m_controller.hasProgram(5));
    QCOMPARE(m_controller.file(QStringLiteral("PLC.PAR")), par);
    QCOMPARE(m_controller.file(QStringLiteral("SYS/MAIN.PLC")), plc);
    QVERIFY(m_controller.hasFile(QStringLiteral("EMPTY.TXT")));
    QCOMPARE(m_controller.file(QStringLiteral("EMPTY.TXT")), QByteArray());

    // Programs first, each by number, then the files in list order.
    const auto opens = openCommands(m_controller);
    QCOMPARE(opens.size(), 5);
    QCOMPARE(opens.at(0), qMakePair(0x1001, 1));
    QCOMPARE(opens.at(1), qMakePair(0x1001, 12));
    QCOMPARE(opens.at(2), qMakePair(0x1003, 'P' | 'L' << 8));
    QCOMPARE(opens.at(3), qMakePair(0x1003, 'S' | 'Y' << 8));
    QCOMPARE(opens.at(4).first, 0x1003);

    for (QTreeWidgetItem *root : {dialog.programRoot(), dialog.fileRoot()}) {
        for (int i = 0; i < root->childCount(); ++i) {
            QTreeWidgetItem *line = root->child(i);
            QProgressBar *bar = dialog.progressBar(line);
            if (line->checkState(0) != Qt::Checked) {
                QCOMPARE(bar->value(), 0);
                QVERIFY(!line->data(1, UpLoadDialog::OutcomeRole).isValid());
                continue;
            }
            QCOMPARE(bar->value(), 100);
            QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), 0);
            QCOMPARE(bar->text(), QStringLiteral("成功"));
        }
    }
}

void TestUploadDialog::runningControllerRefuses()
{
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    m_controller.setRunState(sim::RunState::Running);
    QTRY_COMPARE_WITH_TIMEOUT(m_device->pollState(), 1, 5000);

    UpLoadDialog dialog;
    dialog.bindDevice(m_device.get());
    dialog.insertFiles({makeFile("O0001.txt"), makeFile("SYS.PAR")});
    m_controller.clearRequests();
    dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();

    QVERIFY(openCommands(m_controller).isEmpty());
    QVERIFY(!m_controller.hasProgram(1));
    for (QTreeWidgetItem *line : {dialog.programRoot()->child(0), dialog.fileRoot()->child(0)}) {
        QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), 3);
        QCOMPARE(dialog.progressBar(line)->value(), 0);
        QCOMPARE(dialog.progressBar(line)->text(), QStringLiteral("非空闲 (代码 3)"));
    }

    m_controller.setRunState(sim::RunState::Idle);
    QTRY_COMPARE_WITH_TIMEOUT(m_device->pollState(), 3, 5000);
}

void TestUploadDialog::secondPressChangesNothing()
{
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    const QByteArray big = programText(200);
    UpLoadDialog dialog;
    dialog.bindDevice(m_device.get());
    dialog.show();
    dialog.insertFiles({makeFile("O0001.txt", big), makeFile("O0002.txt", big), makeFile("SYS.PAR", big)});
    const QList<QTreeWidgetItem *> lines{dialog.programRoot()->child(0), dialog.programRoot()->child(1),
                                         dialog.fileRoot()->child(0)};
    auto *trans = dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"));

    // Pressed again while the first transfer writes O0001: nothing is reported.
    bool pressed = false;
    bool outcomeShown = false;
    QTimer::singleShot(0, &dialog, [&] {
        trans->click();
        pressed = true;
        for (QTreeWidgetItem *line : lines)
            outcomeShown |= line->data(1, UpLoadDialog::OutcomeRole).isValid();
    });
    trans->click();

    QVERIFY(pressed);
    QVERIFY(!outcomeShown);
    QCOMPARE(m_controller.program(1), big);
    QCOMPARE(m_controller.program(2), big);
    QCOMPARE(m_controller.file(QStringLiteral("SYS.PAR")), big);
    QCOMPARE(openCommands(m_controller).size(), 3);
    for (QTreeWidgetItem *line : lines) {
        QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), 0);
        QCOMPARE(dialog.progressBar(line)->value(), 100);
    }
}

// Pressed while the card's status poll waits on the same controller (the
// press arrives inside that wait), the transfer waits for the device instead
// of failing the line with busy.
void TestUploadDialog::pressDuringPollWaitsForTheDevice()
{
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    UpLoadDialog dialog;
    dialog.bindDevice(m_device.get());
    dialog.insertFiles({makeFile("O0006.txt", programText(3))});
    QTreeWidgetItem *line = dialog.programRoot()->child(0);
    m_server->stopAnsweringFor(100); // the poll's request times out after 200 ms
    bool busyAtPress = false;
    QTimer::singleShot(20, &dialog, [&] {
        busyAtPress = m_device->isBusy();
        dialog.findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();
    });
    m_device->pollState();
    QVERIFY(busyAtPress);
    QTRY_VERIFY(!dialog.isTransferring());
    QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), 0);
    QCOMPARE(m_controller.program(6), programText(3));
}

void TestUploadDialog::goneDuringTransfer_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("hidden") << false;
    QTest::newRow("destroyed") << true;
}

void TestUploadDialog::goneDuringTransfer()
{
    QFETCH(bool, destroy);
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    const QByteArray big = programText(200);
    QPointer<UpLoadDialog> dialog = new UpLoadDialog;
    dialog->bindDevice(m_device.get());
    dialog->show();
    const QString fileName = QStringLiteral("GONE_%1.PAR").arg(QLatin1String(QTest::currentDataTag()));
    dialog->insertFiles({makeFile("O0001.txt", big), makeFile("O0002.txt"), makeFile(fileName)});
    m_controller.clearRequests();
    QPointer<QProgressBar> firstBar = dialog->progressBar(dialog->programRoot()->child(0));

    QTimer::singleShot(0, m_device.get(), [&] {
        if (destroy)
            delete dialog.data();
        else
            dialog->hide();
    });
    dialog->findChild<QPushButton *>(QStringLiteral("pushButton_trans"))->click();

    // The write under way finishes; nothing after it is sent.
    QTRY_VERIFY(!firstBar);
    QVERIFY(!m_controller.hasProgram(2));
    QVERIFY(!m_controller.hasFile(fileName));
    QCOMPARE(openCommands(m_controller).size(), 1);
    QCOMPARE(m_controller.program(1), big);
    QVERIFY(!m_device->isBusy());
    if (destroy) {
        QVERIFY(!dialog);
    } else {
        QVERIFY(dialog);
        QCOMPARE(dialog->programRoot()->childCount(), 0);
        QCOMPARE(dialog->fileRoot()->childCount(), 0);
        delete dialog.data();
    }
}

QTEST_MAIN(TestUploadDialog)
#include "tst_uploaddialog.moc"

// A line replaces a text only once the controller's copy is in the archive;
// one that cannot be kept is not written, and the line says why.
void TestUploadDialog::archivesWhatItReplaces()
{
    connectDevice();
    if (QTest::currentTestFailed())
        return;
    ConfigStore *config = ConfigStore::instance();
    config->setArchiveEnabled(true);
    config->setArchiveFolder(m_dir->filePath("archive"));
    m_controller.setProgram(1, "O0001\nold\n");
    m_controller.setFile("USRIO.TXT", "\xd6\xd0\r\n");
    UpLoadDialog dialog;
    dialog.bindDevice(m_device.get());
    dialog.insertFiles({makeFile("O0001.txt", "O0001\nnew\n"), makeFile("O0002.txt"), makeFile("USRIO.TXT")});
    m_controller.setAbsentException(4); // a missing text refused as some controllers do
    m_controller.clearRequests();
    dialog.transfer();
    QTRY_VERIFY(!dialog.isTransferring());

    QCOMPARE(m_controller.program(1), QByteArray("O0001\nnew\n"));
    QCOMPARE(m_controller.program(2), QByteArray("G0\n"));
    const QVector<sim::Request> sent = m_controller.requests();
    QCOMPARE(std::count_if(sent.begin(), sent.end(),
                           [](const sim::Request &r) { return r.values.value(0) == 30; }),
             1); // one directory read for the whole batch
    const ArchiveStore store(m_dir->filePath("archive"));
    QByteArray kept;
    QVERIFY(store.read(m_device->record().Name, "O0001",
                       store.versions(m_device->record().Name, "O0001").value(0), &kept));
    QCOMPARE(kept, QByteArray("O0001\nold\n"));
    QVERIFY(store.read(m_device->record().Name, "USRIO.TXT",
                       store.versions(m_device->record().Name, "USRIO.TXT").value(0), &kept));
    QCOMPARE(kept, QByteArray("\xd6\xd0\r\n"));
    QVERIFY(store.versions(m_device->record().Name, "O0002").isEmpty()); // nothing to keep

    config->setArchiveFolder(makeFile("blocked") + "/archive");
    m_controller.setProgram(1, "O0001\nold\n");
    dialog.transfer();
    QTRY_VERIFY(!dialog.isTransferring());
    config->setArchiveFolder(QString());
    config->setArchiveEnabled(false);
    QCOMPARE(m_controller.program(1), QByteArray("O0001\nold\n"));
    QTreeWidgetItem *line = dialog.programRoot()->child(0);
    QCOMPARE(line->data(1, UpLoadDialog::OutcomeRole).toInt(), UpLoadDialog::NotArchived);
    QVERIFY(line->toolTip(1).contains("blocked"));
}
