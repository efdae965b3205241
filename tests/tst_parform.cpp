#include "link/protocol.h"
#include "views/dialogs.h"
#include "views/parcatalogue.h"
#include "views/parform.h"
#include "viewtest.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {

const char SimAddress[] = "127.0.0.40";
constexpr quint16 SimPort = 1502;

// One channel with the axes X, Y, Z and one spindle.
const char OneChannel[] = "[SPSTc]\n00000000\n[SSPNn]\n1\n[TYPEx]\n1\n2\n3\n[END]\n";
// Two channels: X and Z in channel 1, X2 in channel 2; a spindle in each.
const char TwoChannels[] = "[SPSTc]\n0\n0\n[CHNs]\n1\n2\n[TYPEx]\n1\n3\n102\n[CHNx]\n1\n1\n2\n[END]\n";

QString sample(const char *machine)
{
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/%1/SYS.PAR").arg(QLatin1String(machine)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QTreeWidget *treeOf(ParForm *form)
{
    return form->findChild<QTreeWidget *>("treeWidget_sysParams");
}

QTableWidget *tableOf(ParForm *form)
{
    return form->findChild<QTableWidget *>("tableWidget_PARcontain");
}

QString labelText(ParForm *form, const char *name)
{
    return form->findChild<QLabel *>(name)->text();
}

// Double-clicks the tree item of parameter `number`; false when there is none.
bool showEntry(ParForm *form, int number)
{
    const QString prefix = QStringLiteral("（%1").arg(number, 4, 10, QLatin1Char('0'));
    for (QTreeWidgetItemIterator it(treeOf(form)); *it; ++it) {
        if ((*it)->parent() && (*it)->text(0).startsWith(prefix)) {
            emit treeOf(form)->itemDoubleClicked(*it, 0);
            return true;
        }
    }
    return false;
}

// Each row's cells side by side, "_" for a cell without an item.
QStringList cells(QTableWidget *table)
{
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QString row;
        for (int c = 0; c < table->columnCount(); ++c)
            row += table->item(r, c) ? table->item(r, c)->text() : QStringLiteral("_");
        rows.append(row);
    }
    return rows;
}

QStringList rowHeaders(QTableWidget *table)
{
    QStringList headers;
    for (int r = 0; r < table->rowCount(); ++r)
        headers.append(table->verticalHeaderItem(r) ? table->verticalHeaderItem(r)->text() : QString());
    return headers;
}

QList<int> counts(ParForm *form)
{
    return {form->findChild<QSpinBox *>("spinBox_coord")->value(),
            form->findChild<QSpinBox *>("spinBox_can")->value(),
            form->findChild<QSpinBox *>("spinBox_mainCoord")->value()};
}

QString listed(const char *key, int column)
{
    const QStringList list =
        ParCatalogue::descriptionsFor(ParCatalogue::bitDescriptions(), QString::fromLatin1(key));
    return ParCatalogue::explanation(list, column);
}

// The open command that reads the file SYS.PAR: 20, 0, 0, 2, then the name.
bool isSysParOpen(const sim::Request &request)
{
    return request.function == 0x10 && request.address == 0x3300 && request.values.size() > 5 &&
           request.values.at(0) == 20 && request.values.at(3) == 2 && request.values.at(4) == 0x5953;
}

} // namespace

class TestParForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void noDeviceLeavesViewEmpty();
    void groupTable_data();
    void groupTable();
    void laterShowsAndLoads();
    void openLocalFile_data();
    void openLocalFile();
    void saveToLocalFile_data();
    void saveToLocalFile();
    void everyEntryFromTheSamples();

    void fetchesOnEveryShow();
    void readInterrupted_data();
    void readInterrupted();

private:
    bool loadText(ParForm *form, const QString &text);
    deviceWidget *connectCard();
    int sysParOpens() const;

    QTemporaryDir m_dir;
    QList<Dialogs::Request> m_requests;
    QStringList m_answers; // paths for the file dialogs, first first
    SimulatedCard m_sim{SimAddress, SimPort};
    sim::Controller *const m_controller = &m_sim.controller;
    sim::TcpServer *const m_server = &m_sim.server;
    bool m_slowNextRead = false;
    bool m_readSlowed = false; // the open was answered, the next request will wait
};

void TestParForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ConfigStore::instance()->resetToDefaults();
    // A request the simulator ignored for a while is answered on the retry.
    TestSupport::useQuickLink(SimPort, 300, 1);
    // When asked, the request after an open of SYS.PAR goes unanswered until
    // the retry, so the read waits long enough to act inside it.
    connect(m_controller, &sim::Controller::requestHandled, this, [this](const sim::Request &request) {
        if (m_slowNextRead && isSysParOpen(request)) {
            m_slowNextRead = false;
            m_readSlowed = true;
            m_server->stopAnsweringFor(150);
        }
    });
    Dialogs::setResponder([this](const Dialogs::Request &request) {
        m_requests.append(request);
        Dialogs::Answer answer;
        answer.button = 0;
        if (request.kind == Dialogs::Request::OpenFile || request.kind == Dialogs::Request::SaveFile)
            answer.path = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
        return answer;
    });
}

void TestParForm::init()
{
    m_requests.clear();
    m_answers.clear();
}

void TestParForm::cleanupTestCase()
{
    Dialogs::setResponder({});
    m_sim.remove();
}

// Puts a text in place the way the user does: through the local file button.
bool TestParForm::loadText(ParForm *form, const QString &text)
{
    const QString path = m_dir.filePath(QStringLiteral("SYS.PAR"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        return false;
    file.close();
    m_answers.append(path);
    form->findChild<QPushButton *>("pushButton_pcPar")->click();
    return form->parameterText() == text;
}

deviceWidget *TestParForm::connectCard()
{
    return m_sim.connect();
}

int TestParForm::sysParOpens() const
{
    const QVector<sim::Request> requests = m_controller->requests();
    return int(std::count_if(requests.cbegin(), requests.cend(), isSysParOpen));
}

void TestParForm::noDeviceLeavesViewEmpty()
{
    QVERIFY(!DeviceManager::instance()->selectedDevice());
    ParForm form;
    form.show();
    QTRY_COMPARE(form.lastResult(), 1);
    QCOMPARE(labelText(&form, "label_readStatus"), QString::fromUtf8("上次读取失败：未选择设备"));
    QVERIFY(form.parameterText().isEmpty());
    QCOMPARE(counts(&form), (QList<int>{0, 0, 0}));
    QVERIFY(m_requests.isEmpty());
    QVERIFY(!form.findChild<QPushButton *>("pushButton_downLoad")->isEnabled());

    // Without a text an entry changes nothing.
    QVERIFY(showEntry(&form, 1));
    QCOMPARE(labelText(&form, "label_paramName"), QString::fromUtf8("定位分类名称"));
    QCOMPARE(tableOf(&form)->rowCount(), 0);
}

void TestParForm::groupTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("columns"); // columns explained, for a bit group
    QTest::addColumn<QStringList>("explanations");

    const QString one = QString::fromLatin1(OneChannel);
    const QString two = QString::fromLatin1(TwoChannels);
    const QStringList xyz{"X", "Y", "Z"};
    const QString null = QStringLiteral("NULL");

    QTest::newRow("0001 bits per axis")
        << one + "[SETx]\n00000010\n00000000\n10000000\n[END]" << 1 << xyz
        << QStringList{"00000010", "00000000", "10000000"} << QList<int>{0, 6, 7}
        << QStringList{QString::fromUtf8("DIA\t0/1:半径/直径编程"), QString(),
                       QString::fromUtf8("HID\t0/1:坐标轴显示/不显示")};
    QTest::newRow("5101 values") << one + "[MCSTc]\n00000101\n[END]" << 5101 << QStringList{" "}
                                 << QStringList{"00000101"} << QList<int>{} << QStringList{};
    QTest::newRow("5120 bits") << one + "[MCSTc]\n00000101\n[END]" << 5120 << QStringList{" "}
                               << QStringList{"00000101"} << QList<int>{0, 3}
                               << QStringList{listed("[MCSTc]", 0), null};
    QTest::newRow("2002 key not in the map")
        << one + "[PCTSTc]\n11111111\n[END]" << 2002 << QStringList{" "} << QStringList{"11111111"}
        << QList<int>{0, 1, 7} << QStringList{QString::fromUtf8("该设置未录入，请联系相关人员"), null, null};
    QTest::newRow("2205 empty list") << one + "[PBSTc]\n00000000\n[END]" << 2205 << QStringList{" "}
                                     << QStringList{"00000000"} << QList<int>{0, 7}
                                     << QStringList{null, null};
    QTest::newRow("2035 kind 1") << one << 2035 << QStringList{""} << QStringList{"1"} << QList<int>{}
                                 << QStringList{};
    QTest::newRow("2720 five numbered rows")
        << one + "[ADDRi]\n1\n2\n3\n4\n5\n[END]" << 2720 << QStringList{"1", "2", "3", "4", "5"}
        << QStringList{"1", "2", "3", "4", "5"} << QList<int>{} << QStringList{};
    QStringList bound; // a longer section shows its first 1,000 rows, and says so
    for (int i = 1; i <= ParCatalogue::MaxTableRows; ++i)
        bound << QString::number(i);
    QTest::newRow("2720 past the bound") << one + "[ADDRi]\n" + bound.join('\n') + "\n7\n[END]" << 2720
                                         << bound << bound << QList<int>{} << QStringList{};
    QTest::newRow("short line and missing rows stay empty")
        << one + "[SETx]\n101\n[END]" << 1 << xyz << QStringList{"101_____", "________", "________"}
        << QList<int>{} << QStringList{};
    QTest::newRow("1001 per spindle of two channels")
        << two + "[SPSTs]\n00010000\n00000001\n[END]" << 1001 << QStringList{"1:1", "2:2"}
        << QStringList{"00010000", "00000001"} << QList<int>{5, 6}
        << QStringList{QString::fromUtf8("SSPCE 0/1:主轴停止时，模拟量输出不保存/保持"), null};
    QTest::newRow("1000 per channel")
        << two << 1000 << QStringList{":1", ":2"} << QStringList{"0_______", "0_______"} << QList<int>{0, 5}
        << QStringList{QString(), null};
    QTest::newRow("0012 per channel-numbered axis")
        << two << 12 << QStringList{"X:1", "Z:1", "X2:2"} << QStringList{"1", "3", "102"} << QList<int>{}
        << QStringList{};
}

void TestParForm::groupTable()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QList<int>, columns);
    QFETCH(QStringList, explanations);

    ParForm form;
    QVERIFY(loadText(&form, text));
    QVERIFY(showEntry(&form, number));
    QTableWidget *table = tableOf(&form);
    QVERIFY(labelText(&form, "label_paramName")
                .startsWith(QStringLiteral("（%1").arg(number, 4, 10, QLatin1Char('0'))));
    QTEST(rowHeaders(table), "headers");
    QTEST(cells(table), "rows");
    QCOMPARE(labelText(&form, "label_paramName").endsWith(QString::fromUtf8("（仅显示前1000行）")),
             table->rowCount() == ParCatalogue::MaxTableRows);
    const bool bits = table->columnCount() == 8;
    QCOMPARE(table->editTriggers(), bits ? QAbstractItemView::EditTriggers(QAbstractItemView::NoEditTriggers)
                                         : QAbstractItemView::EditTriggers(QAbstractItemView::DoubleClicked));
    for (int i = 0; i < columns.size(); ++i) {
        table->setCurrentCell(0, columns.at(i));
        QCOMPARE(labelText(&form, "label_annote"), explanations.at(i));
    }
    if (!bits) {
        table->setCurrentCell(0, 0);
        QCOMPARE(labelText(&form, "label_annote"), QString());
    }
}

// What a group leaves behind for the next show or load: an absent section
// keeps the table; another group clears the explanation and starts without a
// current cell, so the next click explains even the cell that was current;
// edits are undone by showing the group again; a new text replaces the counts
// (unless it has no channels) but not the table.
void TestParForm::laterShowsAndLoads()
{
    ParForm form;
    QVERIFY(loadText(&form, QString::fromLatin1(OneChannel) + "[SETx]\n00000010\n0\n0\n[END]"));
    QTableWidget *table = tableOf(&form);
    QVERIFY(showEntry(&form, 1));
    table->setCurrentCell(0, 7);
    QCOMPARE(labelText(&form, "label_annote"), listed("[SETx]", 7));
    const QString shownTitle = labelText(&form, "label_paramName");
    const QStringList shown = cells(table);
    QVERIFY(showEntry(&form, 2)); // [SVSETx] is not in the text
    QCOMPARE(labelText(&form, "label_paramName"), shownTitle);
    QCOMPARE(cells(table), shown);

    QVERIFY(showEntry(&form, 1000));
    QCOMPARE(labelText(&form, "label_annote"), QString());
    QCOMPARE(table->currentColumn(), -1);
    table->setCurrentCell(0, 7);
    QCOMPARE(labelText(&form, "label_annote"), QStringLiteral("NULL"));
    QVERIFY(showEntry(&form, 12));
    QCOMPARE(labelText(&form, "label_annote"), QString());

    // An edited value stays in the table until the group is shown again.
    const QString text = form.parameterText();
    table->item(1, 0)->setText(QStringLiteral("7"));
    QCOMPARE(form.parameterText(), text);
    QVERIFY(showEntry(&form, 12));
    const QStringList axes = cells(table);
    QCOMPARE(axes, (QStringList{"1", "2", "3"}));

    QVERIFY(loadText(&form, QString::fromLatin1(TwoChannels)));
    QCOMPARE(counts(&form), (QList<int>{3, 2, 2}));
    QVERIFY(loadText(&form, QStringLiteral("[TYPEx]\n1\n")));
    QCOMPARE(counts(&form), (QList<int>{3, 2, 2}));
    QCOMPARE(cells(table), axes);

    emit DeviceManager::instance()->selectedDeviceChanged(); // nothing of the controller stays
    QCOMPARE(form.parameterText() + cells(table).join(QString()), QString());
    QCOMPARE(counts(&form), (QList<int>{0, 0, 0}));
}

void TestParForm::openLocalFile_data()
{
    QTest::addColumn<QString>("answer");  // "" cancels
    QTest::addColumn<QString>("address"); // entry 2720's first row afterwards, "" for unchanged
    QTest::newRow("gbk file") << "local.PAR" << QString::fromUtf8("主站");
    QTest::newRow("cancelled") << ""
                               << "";
    QTest::newRow("unreadable") << "none.PAR"
                                << "";
    QTest::newRow("larger than any controller's text") << "huge.PAR"
                                                       << "";
}

void TestParForm::openLocalFile()
{
    QFETCH(QString, answer);
    QFETCH(QString, address);
    QTextCodec *gbk = QTextCodec::codecForName("GBK");
    QVERIFY(gbk);
    QFile file(m_dir.filePath(QStringLiteral("local.PAR")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(gbk->fromUnicode(QString::fromUtf8("[SPSTc]\n0\n[SSPNn]\n1\n[ADDRi]\n主站\n从站\n")));
    file.close();
    QFile huge(m_dir.filePath(QStringLiteral("huge.PAR"))); // sparse: no disk used
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(Protocol::MaxTextBytes + 1));
    huge.close();

    ParForm form;
    const QString before = QString::fromLatin1(OneChannel);
    QVERIFY(loadText(&form, before));
    m_requests.clear();
    m_answers.append(answer.isEmpty() ? QString() : m_dir.filePath(answer));
    form.findChild<QPushButton *>("pushButton_pcPar")->click();

    QCOMPARE(m_requests.size(), 1);
    const Dialogs::Request request = m_requests.first();
    QCOMPARE(request.kind, Dialogs::Request::OpenFile);
    QCOMPARE(request.title, QString::fromUtf8("打开SYS文件"));
    QCOMPARE(request.filter, QStringLiteral("SYS.PAR"));
    QCOMPARE(request.path, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    QCOMPARE(request.parent, &form);
    if (address.isEmpty()) {
        QCOMPARE(form.parameterText(), before);
        return;
    }
    QVERIFY(showEntry(&form, 2720));
    QCOMPARE(tableOf(&form)->item(0, 0)->text(), address);
}

void TestParForm::saveToLocalFile_data()
{
    QTest::addColumn<QString>("answer"); // "" cancels
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("controller"); // SYS.PAR read from the controller; null: a local file
    const QString done = QString::fromUtf8("文件:SYS.PAR下载完成");
    QTest::newRow("saved") << "saved.PAR" << true << done << QByteArray();
    QTest::newRow("cannot write") << "no/such/folder/SYS.PAR" << false
                                  << QString::fromUtf8("文件:SYS.PAR下载失败") << QByteArray();
    QTest::newRow("cancelled") << "" << false << QString() << QByteArray();
    QTest::newRow("gbk with CR LF from the controller")
        << "gbk.PAR" << true << done << QByteArray("[SPSTc]\r\n0\r\n; \xD6\xF7\xD5\xBE\r\n[END]\r\n");
}

void TestParForm::saveToLocalFile()
{
    QFETCH(QString, answer);
    QFETCH(bool, written);
    QFETCH(QString, message);
    QFETCH(QByteArray, controller);

    ParForm form;
    if (controller.isNull()) {
        QVERIFY(loadText(&form, QString::fromLatin1(TwoChannels)));
    } else {
        m_controller->setFile(QStringLiteral("SYS.PAR"), controller);
        QVERIFY(connectCard());
        QCOMPARE(form.loadFromController(), 0);
    }
    const QString path = answer.isEmpty() ? QString() : m_dir.filePath(answer);
    m_requests.clear();
    m_answers.append(path);
    form.findChild<QPushButton *>("pushButton_downLoad")->click();

    QFile saved(path);
    QCOMPARE(!path.isEmpty() && saved.open(QIODevice::ReadOnly), written);
    if (written) // as the bytes came, whatever their encoding and line ends
        QCOMPARE(saved.readAll(), controller.isNull() ? QByteArray(TwoChannels) : controller);
    QCOMPARE(m_requests.size(), message.isEmpty() ? 1 : 2);
    QCOMPARE(m_requests.first().kind, Dialogs::Request::SaveFile);
    if (message.isEmpty())
        return;
    QCOMPARE(m_requests.at(1).title, QString::fromUtf8("信息"));
    QCOMPARE(m_requests.at(1).text, message);
    QCOMPARE(m_requests.at(1).icon, written ? QMessageBox::Information : QMessageBox::Warning);
}

// Between them the two sample files give every entry of the catalogue its
// rows, every bit entry full rows of eight, and the row headers their labels.
void TestParForm::everyEntryFromTheSamples()
{
    ParForm form;
    QTableWidget *table = tableOf(&form);
    QSet<QString> shown;
    int entries = 0;
    const struct
    {
        const char *machine;
        QList<int> counts;
        QStringList axes;
    } machines[] = {
        {"lathe", {3, 1, 1}, {"X", "Z", "C"}},
        {"mill", {6, 2, 2}, {"X:1", "Y:1", "Z:1", "A:1", "X2:2", "Z:2"}},
    };
    for (const auto &machine : machines) {
        QVERIFY(loadText(&form, sample(machine.machine)));
        QCOMPARE(counts(&form), machine.counts);
        QVERIFY(showEntry(&form, 12));
        QCOMPARE(rowHeaders(table), machine.axes);
        entries = 0;
        for (QTreeWidgetItemIterator it(treeOf(&form)); *it; ++it) {
            if (!(*it)->parent())
                continue;
            ++entries;
            emit treeOf(&form)->itemDoubleClicked(*it, 0);
            if (labelText(&form, "label_paramName") != (*it)->text(0) || table->rowCount() == 0)
                continue;
            shown.insert((*it)->text(0));
            if (table->columnCount() == 8)
                QVERIFY2(!cells(table).join(QString()).contains(QLatin1Char('_')),
                         qPrintable((*it)->text(0)));
        }
    }
    QCOMPARE(entries, 541);
    QCOMPARE(shown.size(), 541);
}

void TestParForm::fetchesOnEveryShow()
{
    QVERIFY(connectCard());
    QVERIFY(m_controller->loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill")));
    m_controller->clearRequests();
    ParForm form;
    form.show();
    QTRY_COMPARE_WITH_TIMEOUT(form.lastResult(), 0, 10000);
    QCOMPARE(form.parameterText(), sample("mill"));
    QCOMPARE(counts(&form), (QList<int>{6, 2, 2}));
    QCOMPARE(sysParOpens(), 1);

    m_controller->setFile(QStringLiteral("SYS.PAR"), QByteArray(OneChannel));
    form.hide();
    form.show();
    QTRY_COMPARE_WITH_TIMEOUT(form.parameterText(), QString::fromLatin1(OneChannel), 10000);
    QCOMPARE(counts(&form), (QList<int>{3, 1, 1}));
    QCOMPARE(sysParOpens(), 2);

    form.findChild<QPushButton *>("pushButton_refreshCoordNumber")->click();
    QCOMPARE(sysParOpens(), 3);
}

// What happens inside the page's read, while it waits: nothing may start a
// second read, and the page, the device or both may go.
void TestParForm::readInterrupted_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("read"); // the read succeeds
    QTest::addColumn<QString>("text");
    const QString two = QString::fromLatin1(TwoChannels);
    QTest::newRow("shown again and buttons") << "again" << true << two;
    QTest::newRow("page hidden") << "hide" << true << two;
    QTest::newRow("local file opened wins") << "local" << true << QString::fromLatin1(OneChannel);
    QTest::newRow("device removed") << "remove" << false << QString();
    QTest::newRow("page deleted") << "delete" << false << QString();
}

void TestParForm::readInterrupted()
{
    QFETCH(QString, action);
    QFETCH(bool, read);
    QFETCH(QString, text);
    QPointer<deviceWidget> card = connectCard();
    QVERIFY(card);
    QPointer<ModbusDevice> device = card->device();
    m_controller->setFile(QStringLiteral("SYS.PAR"), QByteArray(TwoChannels));
    QPointer<ParForm> form = new ParForm;
    const QTimer *fetchTimer = form->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);

    bool acted = false;
    int nestedResult = -1;
    QTimer trigger;
    connect(&trigger, &QTimer::timeout, this, [&] {
        if (acted || !m_readSlowed || !form || !form->isReading())
            return;
        acted = true;
        m_controller->clearRequests();
        if (action == QLatin1String("again")) {
            form->hide();
            form->show();
            form->findChild<QPushButton *>("pushButton_cncPar")->click();
            nestedResult = form->loadFromController();
        } else if (action == QLatin1String("hide")) {
            form->hide();
        } else if (action == QLatin1String("local")) {
            loadText(form, QString::fromLatin1(OneChannel));
        } else if (action == QLatin1String("remove")) {
            DeviceManager::instance()->removeSelectedDevice();
        } else {
            delete form.data();
        }
    });
    trigger.start(2);
    m_readSlowed = false;
    m_slowNextRead = true;
    form->show();
    // Until no read runs and none is queued (a second show queues one).
    QTRY_VERIFY_WITH_TIMEOUT(acted && (!form || (!form->isReading() && !fetchTimer->isActive())), 10000);
    QCOMPARE(sysParOpens(), 0);
    if (action == QLatin1String("again"))
        QCOMPARE(nestedResult, 9);
    if (form) {
        QCOMPARE(form->lastResult() == 0, read);
        QCOMPARE(form->parameterText(), text);
    }
    if (action == QLatin1String("remove"))
        QTRY_VERIFY(!card);
    else
        QTRY_VERIFY(device && !device->isBusy());
    delete form.data();
}

QTEST_MAIN(TestParForm)
#include "tst_parform.moc"
