#include "config/textcodec.h"
#include "filesizelimit.h"
#include "views/dialogs.h"
#include "views/fileform.h"
#include "viewtest.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

namespace {
const char SimAddress[] = "127.0.0.30";
constexpr quint16 SimPort = 1502;

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Chooses the item of that name, or types the name into the custom entry.
void choose(FileForm *form, const QString &name)
{
    auto *names = child<QComboBox>(form, "comBox_fileName");
    const int index = names->findText(name);
    names->setCurrentIndex(index >= 0 ? index : names->count() - 1);
    if (index < 0)
        names->lineEdit()->setText(name);
}

void press(FileForm *form, const char *button)
{
    child<QPushButton>(form, button)->click();
}

QString pane(FileForm *form)
{
    return child<QPlainTextEdit>(form, "textEdit_file")->toPlainText();
}

QString shownName(FileForm *form)
{
    return child<QLabel>(form, "label_fileName")->text();
}
} // namespace

class TestFileForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void customEntryFollowsLastItem();
    void read_data();
    void read();
    void samplesReadIntact_data();
    void samplesReadIntact();
    void save_data();
    void save();
    void find_data();
    void find();
    void formDeletedWhileReadWaits();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedCard> m_sim;
};

void TestFileForm::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    ConfigStore::instance()->resetToDefaults();
    m_sim = std::make_unique<SimulatedCard>(SimAddress, SimPort);
    m_sim->useQuickLinkSettings();
    QVERIFY(m_sim->controller.loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/lathe")));
    m_sim->controller.setFile(QStringLiteral("SYS.PAR"), "[SPSTc]\n1\n[TYPEx]\n1\n3\n");
    m_sim->controller.setProgram(1, "O0001\nG00 X0 Z0\nM30\n");
}

void TestFileForm::cleanupTestCase()
{
    m_sim.reset();
}

void TestFileForm::cleanup()
{
    Dialogs::setResponder({});
}

void TestFileForm::customEntryFollowsLastItem()
{
    FileForm form;
    form.show();
    auto *names = child<QComboBox>(&form, "comBox_fileName");
    const int custom = names->count() - 1;
    names->setCurrentIndex(custom);
    QVERIFY(names->isEditable());
    QCOMPARE(names->currentText(), names->itemText(custom));

    names->lineEdit()->selectAll();
    QTest::keyClicks(names->lineEdit(), QStringLiteral("O0001"));
    QTest::keyClick(names->lineEdit(), Qt::Key_Return);
    QCOMPARE(names->count(), custom + 2);
    QCOMPARE(names->currentText(), QStringLiteral("O0001"));
    QVERIFY(names->isEditable());
    // The typed name is now the last item, the one that takes a name.
    for (int index : {custom, 0, custom + 1})
        QCOMPARE((names->setCurrentIndex(index), names->isEditable()), index == custom + 1);
}

void TestFileForm::read_data()
{
    QTest::addColumn<int>("selected"); // 2: clicked while a wait of its device is under way
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected"); // null: the read fails and nothing changes
    QTest::addColumn<QString>("status");      // why, in the page

    const QString failed = QString::fromUtf8("上次读取失败：");
    QTest::newRow("no device selected") << 0 << "SYS.PAR" << QByteArray() << failed + "未选择设备";
    QTest::newRow("item") << 1 << "SYS.PAR" << QByteArray("[SPSTc]\n1\n[TYPEx]\n1\n3\n") << "";
    QTest::newRow("clicked while a refresh waits")
        << 2 << "SYS.PAR" << QByteArray("[SPSTc]\n1\n[TYPEx]\n1\n3\n") << "";
    QTest::newRow("typed program name") << 1 << "O0001" << QByteArray("O0001\nG00 X0 Z0\nM30\n") << "";
    QTest::newRow("missing file") << 1 << "NOFILE.TXT" << QByteArray() << failed + "无法打开 (代码 5)";
    QTest::newRow("empty name") << 1 << "" << QByteArray() << "";
    QTest::newRow("name beyond the registers")
        << 1 << QString(240, 'N') << QByteArray() << failed + QString::fromUtf8("文件名过长，控制器无法接收");
}

void TestFileForm::read()
{
    QFETCH(int, selected);
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    QFETCH(QString, status);
    if (selected)
        QVERIFY(m_sim->connect());
    else
        m_sim->remove();

    FileForm form;
    child<QPlainTextEdit>(&form, "textEdit_file")->setPlainText(QStringLiteral("edited"));
    child<QLabel>(&form, "label_fileName")->setText(QStringLiteral("EARLIER.TXT"));
    choose(&form, name);
    if (selected == 2) { // as a page's refresh does, a wait in the device's loop
        ModbusDevice *device = DeviceManager::selectedModbusDevice();
        QTimer clicker;
        connect(&clicker, &QTimer::timeout, this, [&] {
            if (device->isWaiting()) {
                clicker.stop();
                press(&form, "btn_readFile");
            }
        });
        clicker.start(0);
        QTRY_VERIFY(device->pollState() >= 0 && !clicker.isActive());
        QTRY_COMPARE(shownName(&form), name);
    } else {
        press(&form, "btn_readFile");
    }
    QCOMPARE(pane(&form), expected.isNull() ? QStringLiteral("edited") : QString::fromLatin1(expected));
    QCOMPARE(shownName(&form), expected.isNull() ? QStringLiteral("EARLIER.TXT") : name);
    QCOMPARE(child<QLabel>(&form, "label_readStatus")->text(), status);
    emit DeviceManager::instance()->selectedDeviceChanged(); // nothing of the controller stays
    QCOMPARE(pane(&form) + shownName(&form), QString::fromUtf8("文件名称"));
}

// Every sample system file reaches the pane as the controller holds it: GBK
// bytes travel unchanged and show as Chinese, whatever the PC's encoding.
// (The lathe's and the mill's USRIO.TXT, USRMACRO.TXT and PLC.PAR are GBK.)
void TestFileForm::samplesReadIntact_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &machine : {QStringLiteral("lathe"), QStringLiteral("mill")}) {
        const QDir folder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/") + machine);
        for (const QString &name : folder.entryList(QDir::Files)) {
            if (!name.startsWith(QLatin1Char('O')))
                QTest::addRow("%s/%s", qPrintable(machine), qPrintable(name)) << folder.filePath(name);
        }
    }
}

void TestFileForm::samplesReadIntact()
{
    QFETCH(QString, path);
    const QString name = QFileInfo(path).fileName();
    const QByteArray bytes = fileBytes(path);
    m_sim->controller.setFile(name, bytes);
    QVERIFY(m_sim->connect());

    FileForm form;
    choose(&form, name);
    press(&form, "btn_readFile");
    QCOMPARE(shownName(&form), name);
    // Tests run on a UTF-8 desktop: UTF-8 files read as UTF-8, the others as GBK.
    QTextCodec *codec = QTextCodec::codecForName(TextCodec::isValidUtf8(bytes) ? "UTF-8" : "GBK");
    QCOMPARE(pane(&form), codec->toUnicode(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QVERIFY(!pane(&form).contains(QChar::ReplacementCharacter));

    // Saved unedited, it is the controller's file byte for byte.
    const QString saved = m_dir.filePath(QStringLiteral("saved-") + name);
    Dialogs::setResponder([&saved](const Dialogs::Request &) {
        Dialogs::Answer answer;
        answer.path = saved;
        return answer;
    });
    press(&form, "btn_downloadFile");
    QCOMPARE(fileBytes(saved), bytes);
}

void TestFileForm::save_data()
{
    QTest::addColumn<QString>("readFirst"); // file read before saving, or none
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("proposed"); // empty: the name shown, or the caption before any read

    QTest::newRow("cancelled") << ""
                               << "" << false << "";
    QTest::newRow("before any read") << ""
                                     << "copy.txt" << true << "";
    QTest::newRow("renamed, elsewhere") << "ZOFS.PAR"
                                        << "copy.txt" << true << "";
    QTest::newRow("folder is a file") << "ZOFS.PAR"
                                      << "old/ZOFS.PAR" << false << "";
    QTest::newRow("disk full keeps the old file") << "ZOFS.PAR"
                                                  << "old" << false << "";
    QTest::newRow("name with folders") << "../..\\.x"
                                       << "" << false << "x";
}

void TestFileForm::save()
{
    QFETCH(QString, readFirst);
    QFETCH(QString, target);
    QFETCH(bool, saved);
    QFETCH(QString, proposed);
    FileForm form;
    if (!readFirst.isEmpty()) {
        if (!m_sim->controller.hasFile(readFirst))
            m_sim->controller.setFile(readFirst, "x");
        QVERIFY(m_sim->connect());
        choose(&form, readFirst);
        press(&form, "btn_readFile");
        QCOMPARE(shownName(&form), readFirst);
    }
    const QString name = shownName(&form);

    // A file named "old" is there before, and must be there after a failure.
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old"));
    {
        QFile file(old);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\n") == 4);
    }
    const QString path = target.isEmpty() ? QString() : dir.filePath(target);
    QList<Dialogs::Request> asked;
    Dialogs::setResponder([&](const Dialogs::Request &request) {
        asked.append(request);
        Dialogs::Answer answer;
        answer.path = path;
        return answer;
    });
    {
        FileSizeLimit limit(target == QLatin1String("old") ? 64 : RLIM_INFINITY);
        press(&form, "btn_downloadFile");
    }
    QCOMPARE(asked.size(), path.isEmpty() ? 1 : 2);
    QCOMPARE(asked.first().path, proposed.isEmpty() ? name : proposed);
    QCOMPARE(fileBytes(old), QByteArray("old\n"));
    if (path.isEmpty())
        return;
    const Dialogs::Request &outcome = asked.last();
    QVERIFY2(outcome.text.contains(name), qPrintable(outcome.text));
    QCOMPARE(outcome.icon == QMessageBox::Information, saved);
    if (saved) {
        QVERIFY2(!outcome.text.contains(dir.path()), qPrintable(outcome.text));
        QCOMPARE(fileBytes(path),
                 readFirst.isEmpty() ? pane(&form).toLocal8Bit() : m_sim->controller.file(readFirst));
    }
}

void TestFileForm::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QList<int>>("starts"); // selection start after each press, -1 for none

    const QString text = QStringLiteral("G54 g54 G54.1 xG54");
    QTest::newRow("steps, stops at the last") << text << "G54" << QList<int>{0, 8, 15, 15};
    QTest::newRow("case counts") << text << "g54" << QList<int>{4, 4};
    QTest::newRow("no match") << text << "G55" << QList<int>{-1};
    QTest::newRow("empty search text") << text << "" << QList<int>{-1};
    QTest::newRow("empty pane") << ""
                                << "G54" << QList<int>{-1};
}

void TestFileForm::find()
{
    QFETCH(QString, text);
    QFETCH(QString, needle);
    QFETCH(QList<int>, starts);
    FileForm form;
    auto *edit = child<QPlainTextEdit>(&form, "textEdit_file");
    edit->setPlainText(text);
    child<QLineEdit>(&form, "lineEdit_findFile")->setText(needle);
    for (int expected : starts) {
        press(&form, "btn_findFile");
        const QTextCursor cursor = edit->textCursor();
        QCOMPARE(cursor.hasSelection() ? cursor.selectionStart() : -1, expected);
        QCOMPARE(cursor.selectedText(), expected >= 0 ? needle : QString());
    }
    // A text read or edited since is searched as it now stands.
    edit->setPlainText(QStringLiteral("x") + text);
    press(&form, "btn_findFile");
    QCOMPARE(edit->textCursor().selectionStart(), starts.first() < 0 ? 0 : starts.first() + 1);
}

// The page can go while its read waits in the device's loop; the read must
// not touch it afterwards.
void TestFileForm::formDeletedWhileReadWaits()
{
    deviceWidget *card = m_sim->connect();
    QVERIFY(card);
    QPointer<FileForm> form = new FileForm;
    m_sim->server.stopAnsweringFor(150);
    QTimer killer;
    killer.setInterval(5);
    connect(&killer, &QTimer::timeout, this, [&form, card] {
        if (form && card->device()->isWaiting())
            delete form.data();
    });
    killer.start();
    press(form, "btn_readFile");
    QVERIFY(!form);
    QTRY_VERIFY(!card->device()->isBusy());
}

QTEST_MAIN(TestFileForm)
#include "tst_fileform.moc"
