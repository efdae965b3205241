#include "config/translations.h"
#include "link/protocol.h"
#include "views/compareview.h"
#include "views/dialogs.h"
#include "views/historydialog.h"
#include "views/prgform.h"
#include "views/prgtextedit.h"
#include "viewtest.h"

#include <QAbstractTextDocumentLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

namespace {
const char SimAddress[] = "127.0.0.20";
constexpr quint16 SimPort = 1502;
const QByteArray Drill("O0012\n(DRILL)\nG81Z-5R2F100\nM30\n");

Dialogs::Answer button(int index)
{
    Dialogs::Answer answer;
    answer.button = index;
    return answer;
}
} // namespace

class TestPrgForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void tableAndEnglish();
    void listFollowsController();
    void listShownWhileCardPolls_data();
    void listShownWhileCardPolls();
    void doubleClickPreviewsOnlyNames_data();
    void doubleClickPreviewsOnlyNames();
    void failedReadKeepsEditor();
    void selectionDropsProgram();
    void previewIsByteExact_data();
    void previewIsByteExact();
    void newProgram_data();
    void newProgram();
    void confirmations_data();
    void confirmations();
    void download_data();
    void download();
    void formDeletedWhileReadWaits();
    void archiveBeforeReplacing_data();
    void archiveBeforeReplacing();
    void updateAsksWhenChangedSincePreview();
    void historyComparesVersions();

private:
    bool connectCard();
    QTableWidget *table(PrgForm &f) { return f.findChild<QTableWidget *>("tableWidget_programList"); }
    PrgTextEdit *editor(PrgForm &f) { return f.findChild<PrgTextEdit *>("textEdit_program"); }
    QString shownName(PrgForm &f) { return f.findChild<QLabel *>("label_programName")->text(); }
    QStringList column(PrgForm &f, int c);

    QTemporaryDir m_dir;
    SimulatedCard m_sim{SimAddress, SimPort};
    sim::Controller *const m_controller = &m_sim.controller;
    sim::TcpServer *const m_server = &m_sim.server;
    QPointer<deviceWidget> m_card;
    QList<Dialogs::Request> m_asked;  // every dialog the page opened
    QList<Dialogs::Answer> m_answers; // taken in order; none left: closed or cancelled
};

void TestPrgForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ConfigStore::instance()->resetToDefaults();
    m_sim.useQuickLinkSettings();
}

void TestPrgForm::cleanupTestCase()
{
    m_sim.remove();
}

void TestPrgForm::init()
{
    m_asked.clear();
    m_answers.clear();
    Dialogs::setResponder([this](const Dialogs::Request &request) {
        m_asked.append(request);
        return m_answers.isEmpty() ? Dialogs::Answer{} : m_answers.takeFirst();
    });
    for (int number : m_controller->programNumbers())
        m_controller->removeProgram(number);
    m_controller->setProgram(1, "O0001\nG01X1\n", QDate(2023, 5, 17));
    m_controller->setProgram(7, "", QDate(2021, 1, 9));
    m_controller->setProgram(12, Drill, QDate(2024, 11, 3));
}

void TestPrgForm::cleanup()
{
    Dialogs::setResponder({});
    ConfigStore::instance()->setArchiveEnabled(true);
    ConfigStore::instance()->setArchiveFolder(QString());
    QDir(m_dir.filePath("archive")).removeRecursively();
    ConfigStore::instance()->setLanguage(0);
    Translations::install(0);
    m_controller->clearFaults();
    m_controller->setRunState(sim::RunState::Idle);
}

// One card, connected once and kept; writes need the controller seen idle.
bool TestPrgForm::connectCard()
{
    m_card = m_sim.connect();
    return m_card && QTest::qWaitFor([this] { return m_card && m_card->device()->stateCode() == 3; }, 10000);
}

QStringList TestPrgForm::column(PrgForm &f, int c)
{
    QStringList texts;
    for (int row = 0; row < table(f)->rowCount(); ++row)
        texts << table(f)->item(row, c)->text();
    return texts;
}

void TestPrgForm::tableAndEnglish()
{
    ConfigStore::instance()->setLanguage(1);
    QVERIFY(Translations::install(1));
    PrgForm form;
    QTableWidget *list = table(form);
    QCOMPARE(int(list->editTriggers()), int(QAbstractItemView::NoEditTriggers));
    QVERIFY(!list->isSortingEnabled());
    QStringList texts;
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(list->horizontalHeader()->sectionResizeMode(c), QHeaderView::Stretch);
        texts << list->horizontalHeaderItem(c)->text();
    }
    for (QPushButton *b : form.findChildren<QPushButton *>())
        texts << b->text();
    QCOMPARE(texts, (QStringList{"NAME", "DATA", "SIZE", "List", "Update", "New", "Delete", "DownLoad",
                                 "Style", "History"}));
}

// Read afresh from the controller on every show and every press, in the
// controller's order; a failed read keeps the rows.
void TestPrgForm::listFollowsController()
{
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    QCOMPARE(column(form, 0), (QStringList{"O0001", "O0007", "O0012"}));
    QCOMPARE(column(form, 1), (QStringList{"2023/05/17", "2021/01/09", "2024/11/03"}));
    QCOMPARE(column(form, 2), (QStringList{"12B", "0B", "31B"}));

    m_controller->setProgram(3, "O0003\n");
    m_controller->removeProgram(12);
    form.findChild<QPushButton *>("btn_readProgramList")->click();
    QCOMPARE(column(form, 0), (QStringList{"O0001", "O0003", "O0007"}));
    m_controller->setProgram(4, "O0004\n");
    form.hide();
    form.show();
    QCOMPARE(table(form)->rowCount(), 4);
    m_controller->setExceptionAt(0x3300);
    form.readProgramList();
    QCOMPARE(table(form)->rowCount(), 4);
}

// Shown while the same device is busy, with the card's status poll on the
// wire or inside another operation's wait, the page still reads the list: at
// once after the poll, or refused at first and a moment later.
void TestPrgForm::listShownWhileCardPolls_data()
{
    QTest::addColumn<bool>("nested");
    QTest::newRow("card's poll on the wire") << false;
    QTest::newRow("inside a wait of the device") << true;
}

void TestPrgForm::listShownWhileCardPolls()
{
    QFETCH(bool, nested);
    QVERIFY(connectCard());
    PrgForm form;
    QTimer starter;
    connect(&starter, &QTimer::timeout, this, [&] {
        if (m_card->device()->isBusy() && m_card->device()->isWaiting() == nested) {
            starter.stop();
            form.show();
        }
    });
    starter.start(0);
    if (nested)
        QTRY_VERIFY(m_card->device()->pollState() >= 0 && !starter.isActive());
    QTRY_COMPARE(table(form)->rowCount(), 3);
}

void TestPrgForm::doubleClickPreviewsOnlyNames_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("name") << 0;
    QTest::newRow("date") << 1;
    QTest::newRow("size") << 2;
}

void TestPrgForm::doubleClickPreviewsOnlyNames()
{
    QFETCH(int, column);
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QWidget *cells = table(form)->viewport();
    const QPoint centre = table(form)->visualItemRect(table(form)->item(2, column)).center();
    // The view takes a double click only on the cell its press went to.
    QTest::mousePress(cells, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(cells, Qt::LeftButton, Qt::NoModifier, centre);
    QCOMPARE(shownName(form), column == 0 ? QString("O0012") : QString("O0000"));
    QCOMPARE(editor(form)->toPlainText().toLatin1(), column == 0 ? Drill : QByteArray());
}

void TestPrgForm::failedReadKeepsEditor()
{
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(0, 0);
    const QString shown = editor(form)->toPlainText();
    m_controller->removeProgram(12); // a stale row: the open is refused
    form.previewProgram(2, 0);
    // A directory name that names no program reads nothing, not program 0.
    m_controller->setProgram(0, "O0000\n");
    table(form)->item(1, 0)->setText(QStringLiteral("O7?"));
    form.previewProgram(1, 0);
    table(form)->item(1, 0)->setText(QStringLiteral("/0012"));
    form.previewProgram(1, 0);
    m_controller->setTextEndsAtChunk(1); // ends at once, short of the listed 12 bytes
    form.previewProgram(0, 0);
    QVERIFY(child<QLabel>(&form, "label_readStatus")->text().contains(QString::fromUtf8("大小不符")));
    QCOMPARE(shownName(form), QString("O0001"));
    QCOMPARE(editor(form)->toPlainText(), shown);
}

// Another card selected: the program read from the first goes with its list,
// the page says why the new one's list is missing, and Update and Delete act
// on no program of either controller.
void TestPrgForm::selectionDropsProgram()
{
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(2, 0);
    DeviceManager::instance()->addDevice(DeviceRecord::newDevice()); // switched off
    QPointer<deviceWidget> other = DeviceManager::instance()->cards().last();
    emit other->signDoubleClicked();
    QCOMPARE(editor(form)->toPlainText() + shownName(form), QString());
    QTRY_COMPARE(child<QLabel>(&form, "label_readStatus")->text(),
                 QString::fromUtf8("上次读取失败：未连接 (代码 2)"));
    QCOMPARE(table(form)->rowCount(), 0);
    editor(form)->setPlainText(QStringLiteral("O0012\n"));
    emit m_card->signDoubleClicked();
    m_answers = {button(0), button(0), button(0), button(0)};
    form.coverProgram();
    form.deleteProgram();
    QCOMPARE(m_controller->program(12), Drill);
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked.last().text,
             QString::fromUtf8("未从所选设备读取程序(no program read from the selected device)"));
    emit other->signDoubleClicked();
    DeviceManager::instance()->removeSelectedDevice();
}

void TestPrgForm::previewIsByteExact_data()
{
    QTest::addColumn<QString>("folder"); // sample programs to load; empty: the text given
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown"); // null: the text's bytes as Latin-1
    QTest::newRow("first line like markup")
        << QString() << QByteArray("(<b>bold</b>)\nG01 X1 &amp; Y2\n<p>\n") << QString();
    QTest::newRow("first line with spaces")
        << QString() << QByteArray("O0005 (MOUNTING PLATE REV B)\nG01 X1 Y2\nM30\n") << QString();
    QTest::newRow("samples, largest")
        << QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill") << QByteArray() << QString();
    QTest::newRow("gbk with CR LF") << QString() << QByteArray("O0005\r\n(\xB3\xB5\xB4\xB2)\r\nM30\r\n")
                                    << QStringLiteral("O0005\n(车床)\nM30\n");
    QTest::newRow("no encoding reproduces it, mixed line ends")
        << QString() << QByteArray("(\x81\x30\xE4\xB8\xAD)\r\nM30\n") << QStringLiteral("(\uFFFD0中)\nM30\n");
    QTest::newRow("line and paragraph separators") << QString()
                                                   << QByteArray("(A\xE2\x80\xA8"
                                                                 "B\xE2\x80\xA9"
                                                                 "C)\nM30\n")
                                                   << QStringLiteral("(A\nB\nC)\nM30\n");
}

// What is read is shown and written back byte for byte: a first line that
// looks like markup is not rich text, the editor's line rebuild does not touch
// a text it is given, the 10,000-line sample comes whole, and a text goes back
// in the encoding and line ends it came in.
void TestPrgForm::previewIsByteExact()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
    int number = 5;
    if (folder.isEmpty()) {
        m_controller->setProgram(number, text);
    } else {
        QVERIFY(m_controller->loadFolder(folder));
        for (int n : m_controller->programNumbers()) {
            if (m_controller->program(n).size() > m_controller->program(number).size())
                number = n;
        }
        text = m_controller->program(number);
        QVERIFY(text.count('\n') > 9000);
    }
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    const int row = m_controller->programNumbers().indexOf(number);
    QCOMPARE(column(form, 2).at(row), QStringLiteral("%1B").arg(text.size()));
    form.previewProgram(row, 0);
    QCOMPARE(shownName(form), column(form, 0).at(row));
    QCOMPARE(editor(form)->toPlainText(), shown.isNull() ? QString::fromLatin1(text) : shown);

    // The editor lays a long text out in steps from the event loop: finished
    // now, not inside the waits of the write with its quick time-out.
    QTextDocument *document = editor(form)->document();
    document->documentLayout()->blockBoundingRect(document->lastBlock());
    m_controller->setProgram(number, QByteArray());
    m_answers = {button(0), button(0)}; // update, and again though it changed since the preview
    form.coverProgram();
    QCOMPARE(m_controller->program(number), text);
}

void TestPrgForm::newProgram_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("number");
    QTest::newRow("initial value") << true << 1000;
    QTest::newRow("existing number, kept") << true << 7;
    QTest::newRow("existing number, replaced") << true << 1;
    QTest::newRow("largest") << true << 9999;
    QTest::newRow("cancelled") << false << 0;
    QTest::newRow("controller running") << true << 8;
}

void TestPrgForm::newProgram()
{
    QFETCH(bool, accepted);
    QFETCH(int, number);
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    Dialogs::Answer answer;
    answer.accepted = accepted;
    answer.value = number;
    m_answers = {answer, button(number == 1 ? 0 : -1)};
    const bool running = number == 8;
    const bool listed = number == 1 || number == 7;
    if (running)
        m_controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE(m_card->device()->stateCode(), running ? 1 : 3);
    form.findChild<QPushButton *>("btn_newProgram")->click();

    QCOMPARE(m_asked.size(), running || listed ? 2 : 1);
    const Dialogs::Request &asked = m_asked.first();
    QCOMPARE(asked.kind, Dialogs::Request::Integer);
    QCOMPARE(asked.parent, static_cast<QWidget *>(&form));
    QCOMPARE((QList<int>{asked.value, asked.minimum, asked.maximum, asked.step}),
             (QList<int>{1000, 0, 9999, 1000}));
    if (!accepted) {
        QCOMPARE(m_controller->programNumbers(), (QList<int>{1, 7, 12}));
        return;
    }
    const QString name = QStringLiteral("O%1").arg(number, 4, 10, QLatin1Char('0'));
    if (running) { // refused as not idle, and said so
        QVERIFY(!m_controller->hasProgram(number));
        QCOMPARE(m_asked.last().text, QStringLiteral("错误发生(error):O0008"));
        QCOMPARE(m_asked.last().informative, QString::fromUtf8("非空闲")); // and why
        return;
    }
    if (listed) {
        QCOMPARE(m_asked.last().text, QString::fromUtf8("程序已存在,是否替换(replace):") + name);
        QVERIFY(m_asked.last().buttons.at(1).isDefault);
    }
    QCOMPARE(m_controller->program(number), number == 7 ? QByteArray() : name.toLatin1());
    QVERIFY(column(form, 0).contains(name));
}

void TestPrgForm::confirmations_data()
{
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("press");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("outcome");    // empty: no second box
    QTest::addColumn<QByteArray>("program"); // O0012 afterwards; null: deleted

    const QByteArray styled("O0012\n(DRILL)\nG81 Z-5 R2 F100\nM30\n");
    QTest::newRow("update") << true << 0 << false << QString::fromUtf8("更新结束(success):O0012") << styled;
    QTest::newRow("update cancelled") << true << 1 << false << QString() << Drill;
    QTest::newRow("update closed") << true << -1 << false << QString() << Drill;
    QTest::newRow("update running") << true << 0 << true << QString::fromUtf8("错误发生(error):O0012")
                                    << Drill;
    QTest::newRow("delete") << false << 0 << false << QString::fromUtf8("删除结束(success):O0012")
                            << QByteArray();
    QTest::newRow("delete cancelled") << false << 1 << false << QString() << Drill;
    QTest::newRow("delete running") << false << 0 << true << QString::fromUtf8("删除错误(error):O0012")
                                    << Drill;
}

void TestPrgForm::confirmations()
{
    QFETCH(bool, update);
    QFETCH(int, press);
    QFETCH(bool, running);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, program);
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(2, 0);
    form.findChild<QPushButton *>("btn_programStyle")->click();
    if (running) {
        m_controller->setRunState(sim::RunState::Running);
        QTRY_COMPARE(m_card->device()->stateCode(), 1);
    }
    m_answers = {button(press), button(0)};
    update ? form.coverProgram() : form.deleteProgram();

    QCOMPARE(m_asked.size(), outcome.isEmpty() ? 1 : 2);
    const Dialogs::Request &question = m_asked.first();
    QVERIFY(!question.parent);
    QVERIFY(question.text.endsWith(QLatin1String("O0012")));
    QCOMPARE(question.buttons.size(), 2);
    QCOMPARE(question.buttons.at(0).role, QMessageBox::YesRole);
    QCOMPARE(question.buttons.at(1).role, QMessageBox::NoRole);
    QCOMPARE(question.buttons.at(1).isDefault, !update); // Enter never deletes
    if (!outcome.isEmpty()) {
        QCOMPARE(m_asked.at(1).text, outcome);
        QCOMPARE(m_asked.at(1).informative, running ? QString::fromUtf8("非空闲") : QString());
        QCOMPARE(m_asked.at(1).title, question.title);
        QCOMPARE(m_asked.at(1).buttons.at(0).text, question.buttons.at(0).text);
        QCOMPARE(m_asked.at(1).buttons.at(1).text, question.buttons.at(1).text);
    }
    QCOMPARE(m_controller->hasProgram(12), !program.isNull());
    QCOMPARE(m_controller->program(12), program);
    QCOMPARE(table(form)->rowCount(), 3); // not refreshed
    QCOMPARE(shownName(form), QString("O0012"));
}

void TestPrgForm::download_data()
{
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QString>("chosen"); // in the test folder; empty: cancelled
    QTest::addColumn<QString>("outcome");
    QTest::newRow("saved") << true << "O0012.txt" << QString::fromUtf8("下载完成(success):O0012");
    QTest::newRow("cancelled") << true << "" << QString();
    QTest::newRow("unwritable") << true << "O0001.txt/O0012.txt"
                                << QString::fromUtf8("下载失败(error):O0012");
    QTest::newRow("empty editor") << false << "O0012.txt" << QString();
}

void TestPrgForm::download()
{
    QFETCH(bool, preview);
    QFETCH(QString, chosen);
    QFETCH(QString, outcome);
    QVERIFY(connectCard());
    QFile blocker(m_dir.filePath(QStringLiteral("O0001.txt"))); // a file where a folder is needed
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QFile saved(m_dir.filePath(QStringLiteral("O0012.txt")));
    saved.remove();
    PrgForm form;
    form.show();
    if (preview)
        form.previewProgram(2, 0);
    Dialogs::Answer answer;
    answer.path = chosen.isEmpty() ? QString() : m_dir.filePath(chosen);
    m_answers = {answer};
    form.downloadProgram();

    QCOMPARE(m_asked.size(), !preview ? 0 : outcome.isEmpty() ? 1 : 2);
    if (!preview)
        return;
    QCOMPARE(m_asked.first().kind, Dialogs::Request::SaveFile);
    QCOMPARE(m_asked.first().path, QString("O0012.txt"));
    if (!outcome.isEmpty())
        QCOMPARE(m_asked.at(1).text, outcome);
    QCOMPARE(saved.exists(), chosen == QLatin1String("O0012.txt"));
    if (saved.open(QIODevice::ReadOnly))
        QCOMPARE(saved.readAll(), Drill);
}

// The page can go while its preview waits in the device's loop; the read must
// not touch it afterwards.
void TestPrgForm::formDeletedWhileReadWaits()
{
    QVERIFY(connectCard());
    QPointer<PrgForm> form = new PrgForm;
    form->show();
    m_server->stopAnsweringFor(150);
    QTimer::singleShot(20, form.data(), [&form] { delete form.data(); });
    form->previewProgram(0, 0);
    QVERIFY(!form);
    QTRY_VERIFY(!m_card->device()->isBusy());
}

QTEST_MAIN(TestPrgForm)
#include "tst_prgform.moc"

void TestPrgForm::archiveBeforeReplacing_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("number");
    // 0 off, 1 on, 2 a folder that cannot be made, 3 the controller busy, 4 a missing program
    // refused with exception 4, 5 the read cut short, 6 the card saw the controller running and a
    // poll under way finds it idle
    QTest::addColumn<int>("archive");
    QTest::addColumn<QByteArray>("kept");  // the archived version; null: none
    QTest::addColumn<QByteArray>("after"); // the controller's program; null: none
    const QByteArray styled("O0012\n(DRILL)\nG81 Z-5 R2 F100\nM30\n");
    QTest::newRow("update") << "update" << 12 << 1 << Drill << styled;
    QTest::newRow("delete") << "delete" << 12 << 1 << Drill << QByteArray();
    QTest::newRow("new over an existing number") << "new" << 12 << 1 << Drill << QByteArray("O0012");
    QTest::newRow("new number, nothing to keep") << "new" << 13 << 1 << QByteArray() << QByteArray("O0013");
    QTest::newRow("new number, refused with 4") << "new" << 13 << 4 << QByteArray() << QByteArray("O0013");
    QTest::newRow("short read is no version: no update") << "update" << 12 << 5 << QByteArray() << Drill;
    QTest::newRow("archive off") << "update" << 12 << 0 << QByteArray() << styled;
    QTest::newRow("archive cannot be written: no update") << "update" << 12 << 2 << QByteArray() << Drill;
    QTest::newRow("archive cannot be written: no delete") << "delete" << 12 << 2 << QByteArray() << Drill;
    QTest::newRow("busy answer is no absent program: no update")
        << "update" << 12 << 3 << QByteArray() << Drill;
    QTest::newRow("idle found by the poll under way") << "delete" << 12 << 6 << Drill << QByteArray();
}

// What an operation replaces is kept first, bytes as read; when it cannot be
// kept the operation is not done, and the page says why.
void TestPrgForm::archiveBeforeReplacing()
{
    QFETCH(QString, operation);
    QFETCH(int, number);
    QFETCH(int, archive);
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, after);
    ConfigStore::instance()->setArchiveEnabled(archive != 0);
    if (archive == 2)
        ConfigStore::instance()->setArchiveFolder(m_dir.filePath("archive/blocked/x"));
    QVERIFY(QDir().mkpath(m_dir.filePath("archive")));
    QFile blocker(m_dir.filePath("archive/blocked"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(2, 0);
    form.findChild<QPushButton *>("btn_programStyle")->click();
    Dialogs::Answer value;
    value.accepted = true;
    value.value = number;
    m_answers = {operation == "new" ? value : button(0), button(0)};
    if (archive == 3)
        m_controller->setExceptionAt(Protocol::TransferCommand, 0x06);
    m_controller->setAbsentException(archive == 4 ? 4 : 3);
    m_controller->setTextEndsAtChunk(archive == 5 ? 1 : 0);
    if (archive == 6) {
        m_controller->setRunState(sim::RunState::Running);
        QTRY_COMPARE(m_card->device()->stateCode(), 1);
        m_controller->setRunState(sim::RunState::Idle);
        QVERIFY(QTest::qWaitFor([this] { return m_card->device()->startStatePoll(); }));
    }
    if (operation == "update")
        form.coverProgram();
    else if (operation == "delete")
        form.deleteProgram();
    else
        form.newProgram();

    QCOMPARE(m_controller->hasProgram(number), !after.isNull());
    QCOMPARE(m_controller->program(number), after);
    const QString name = QStringLiteral("O%1").arg(number, 4, 10, QLatin1Char('0'));
    const QDir folder(m_dir.filePath("archive/sim-sim1/" + name));
    const QStringList versions = folder.entryList(QDir::Files).filter(QRegularExpression("^\\d"));
    QCOMPARE(versions.size(), kept.isNull() ? 0 : 1);
    if (!kept.isNull()) {
        QFile version(folder.filePath(versions.first()));
        QVERIFY(version.open(QIODevice::ReadOnly));
        QCOMPARE(version.readAll(), kept);
    }
    if (archive == 3 || archive == 5)
        QVERIFY(m_asked.last().informative.contains(QString::fromUtf8(archive == 3 ? "无法读取" : "大小不符")));
    if (archive == 2) {
        QCOMPARE(m_asked.last().text, QString::fromUtf8("错误发生(error):O0012"));
        QVERIFY(m_asked.last().informative.contains("blocked"));
    }
}

// Someone changed the program on the controller after it was previewed: the
// update asks, with the compare one click away, and keeps what it replaces.
void TestPrgForm::updateAsksWhenChangedSincePreview()
{
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(2, 0);
    const QByteArray theirs("O0012\nG81Z-9R2F100\nM30\n");
    m_controller->setProgram(12, theirs);

    m_answers = {button(0), button(2)};
    form.coverProgram();
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked.at(1).buttons.size(), 3);
    QVERIFY(m_asked.at(1).buttons.at(1).isDefault); // Enter compares, never updates
    QCOMPARE(m_controller->program(12), theirs);    // cancelled

    // Compare, then update: the compare window is closed as it shows.
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] {
        if (QWidget *w = QApplication::activeModalWidget(); w && w->objectName() == "compareDialog")
            w->close();
    });
    closer.start(20);
    m_asked.clear();
    m_answers = {button(0), button(1), button(0), button(0)};
    form.coverProgram();
    QCOMPARE(m_asked.size(), 4);
    QCOMPARE(m_controller->program(12), Drill);
    const QDir folder(m_dir.filePath("archive/sim-sim1/O0012"));
    QFile kept(folder.filePath(folder.entryList(QDir::Files).filter(QRegularExpression("^\\d")).first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), theirs);
}

// Two updates leave two versions: any two, one and the controller, one and a
// local file compare; a damaged version is refused and said so.
void TestPrgForm::historyComparesVersions()
{
    QVERIFY(connectCard());
    PrgForm form;
    form.show();
    form.previewProgram(2, 0);
    for (const char *line : {"G81Z-6R2F100\n", "N10 G81 Z-6 R2 F100\n"}) {
        editor(form)->setPlainText(QString::fromLatin1(Drill).replace("G81Z-5R2F100\n", line));
        m_answers = {button(0), button(0)};
        form.coverProgram();
    }
    // The list's menu opens the history of the row clicked, not of the program in the editor.
    QTimer chooser;
    connect(&chooser, &QTimer::timeout, [] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->actions().first());
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    chooser.start(20);
    emit table(form)->customContextMenuRequested(
        table(form)->visualItemRect(table(form)->item(0, 0)).center());
    chooser.stop();
    auto *other = form.findChild<HistoryDialog *>();
    QVERIFY(other && other->windowTitle().contains("O0001"));
    delete other;

    form.showHistory();
    auto *history = form.findChild<HistoryDialog *>();
    QVERIFY(history);
    QCOMPARE(history->versionTable()->rowCount(), 2); // newest first: the first update's text, then Drill

    history->versionTable()->selectAll();
    history->compareSelected();
    QCOMPARE(history->compareView()->changeCount(), 1); // Drill's line against the first update's
    auto *compared = history->compareView()->findChild<QTableView *>("compareTable");
    QCOMPARE(compared->currentIndex().row(), 2); // at the first difference
    history->versionTable()->selectRow(0);       // another choice: the old compare goes with its caption
    QVERIFY(history->status().isEmpty());
    QCOMPARE(compared->model()->rowCount(), 0);
    history->compareWithController();
    QCOMPARE(history->compareView()->changeCount(), 1);
    history->compareView()->setIgnoreNumbering(true);
    QCOMPARE(history->compareView()->changeCount(), 0); // only the N word and spacing differ

    const QString local = m_dir.filePath("local.nc");
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Drill);
    file.close();
    Dialogs::Answer chosen;
    chosen.path = local;
    m_answers = {chosen};
    history->versionTable()->selectRow(1);
    history->compareWithFile();
    QCOMPARE(history->compareView()->changeCount(), 0);
    history->compareView()->setUnified(true);
    QCOMPARE(history->compareView()->changeCount(), 0);

    const QDir folder(m_dir.filePath("archive/sim-sim1/O0012"));
    QVERIFY(QFile::remove(folder.filePath(folder.entryList(QDir::Files, QDir::Name).first())));
    history->versionTable()->selectAll();
    history->compareSelected();
    QVERIFY(history->status().contains(QString::fromUtf8("损坏")));

    // Next and previous difference, in either layout.
    CompareView view;
    view.setTexts("a", "O1\nX1\nY1\nZ1\nM30\n", "b", "O1\nX2\nY1\nZ2\nM30\n");
    auto *rows = view.findChild<QTableView *>("compareTable");
    QCOMPARE(rows->currentIndex().row(), 1);
    view.findChild<QPushButton *>("compareNext")->click();
    QCOMPARE(rows->currentIndex().row(), 3);
    view.previousChange();
    QCOMPARE(rows->currentIndex().row(), 1);
    view.setUnified(true);
    view.nextChange();
    QCOMPARE(rows->currentIndex().row(), 4); // past X1 -X2 +, Y1: Z1's removal
    QCOMPARE(view.changeCount(), 2);
}
