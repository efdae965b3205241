#include "config/configstore.h"
#include "config/translations.h"
#include "devices/statelook.h"
#include "filesizelimit.h"
#include "permissionshold.h"

#include <QtTest>

namespace {

QString describe(const DeviceRecord &r)
{
    return QStringLiteral("%1|%2|%3|%4|%5").arg(r.Type).arg(r.Name).arg(r.Model).arg(r.IP).arg(r.Address) +
           (r.On ? QStringLiteral("|on") : QString());
}

QStringList describe(const QList<DeviceRecord> &records)
{
    QStringList out;
    for (const DeviceRecord &r : records)
        out << describe(r);
    return out;
}

QString describe(const ModbusSettings &s)
{
    return QStringList{s.Port.toString(),
                       s.Parity.toString(),
                       s.BaudRate.toString(),
                       s.DataBits.toString(),
                       s.StopBits.toString(),
                       s.NetworkPort.toString(),
                       QString::number(s.NumberOfRetries),
                       QString::number(s.Timeout)}
        .join(QLatin1Char('|'));
}

const QString kDefaultSettings = QStringLiteral("COM3|3|115200|8|1|502|3|300");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestConfigStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void load_data();
    void load();
    void stateDisplay_data();
    void stateDisplay();
    void identity_data();
    void identity();
    void roundTrip();
    void savedBytes();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void brokenFileKeptBeside_data();
    void brokenFileKeptBeside();
    void readOnlyFolder_data();
    void readOnlyFolder();
    void readTextFile_data();
    void readTextFile();
    void writeTextFile();
    void mqttElement_data();
    void mqttElement();

private:
    QTemporaryDir m_home;
    ConfigStore *m_store = nullptr;
};

void TestConfigStore::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The first instance() reads Configure.xml from here: an empty directory.
    QVERIFY(QDir::setCurrent(m_home.path()));
    m_store = ConfigStore::instance();
}

void TestConfigStore::init()
{
    m_store->resetToDefaults();
}

void TestConfigStore::load_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("language");

    const QStringList none;
    QTest::newRow("no file") << false << QByteArray() << none << kDefaultSettings << 0;
    QTest::newRow("empty file") << true << QByteArray() << none << kDefaultSettings << 0;
    QTest::newRow("not well-formed") << true
                                     << QByteArray("<Configure><Device Name=\"a\"><Set Language=\"1\"/>")
                                     << none << kDefaultSettings << 0;
    QTest::newRow("bare device") << true << QByteArray("<Configure><Device/></Configure>")
                                 << QStringList{"0||0|192.168.1.10|10"} << kDefaultSettings << 0;
    QTest::newRow("low 8 bits, non-numbers as 0")
        << true
        << QByteArray(
               "<Configure><Device Type=\"x1\" Model=\"258\" Address=\"300\"/>"
               "<Device Type=\"1\" Model=\"12abc\" Address=\"-1\" Name=\"L\" IP=\"10.0.0.2\"/></Configure>")
        << QStringList{"0||2|192.168.1.10|44", "1|L|0|10.0.0.2|255"} << kDefaultSettings << 0;
    QTest::newRow("switched on, or not a number")
        << true << QByteArray("<Configure><Device On=\"1\"/><Device On=\"yes\"/></Configure>")
        << QStringList{"0||0|192.168.1.10|10|on", "0||0|192.168.1.10|10"} << kDefaultSettings << 0;
    QTest::newRow("root in other letter case")
        << true << QByteArray("<configure><Device/><Set Language=\"1\"/></configure>") << none
        << kDefaultSettings << 0;
    QTest::newRow("foreign root") << true << QByteArray("<Device><Device/><Modbus Timeout=\"9\"/></Device>")
                                  << none << kDefaultSettings << 0;
    // 30,000 levels overflowed the stack of the document parser.
    QTest::newRow("nested beyond the limit") << true
                                             << "<Configure><Device/>" + QByteArray("<a>").repeated(30000) +
                                                    QByteArray("</a>").repeated(30000) + "</Configure>"
                                             << none << kDefaultSettings << 0;
    QTest::newRow("devices at any depth, in document order")
        << true
        << QByteArray("<Configure><Device Name=\"a\"/><Group><Device Name=\"b\"><Device Name=\"c\"/></Device>"
                      "</Group><Device Name=\"d\"/></Configure>")
        << QStringList{"0|a|0|192.168.1.10|10", "0|b|0|192.168.1.10|10", "0|c|0|192.168.1.10|10",
                       "0|d|0|192.168.1.10|10"}
        << kDefaultSettings << 0;
    QTest::newRow("last Modbus wins as a whole")
        << true
        << QByteArray(
               "<Configure><Modbus Port=\"COM1\" Parity=\"0\" BaudRate=\"9600\" DataBits=\"7\" "
               "StopBits=\"2\" NumberOfRetries=\"5\" Timeout=\"1000\"/>"
               "<Sub><Modbus BaudRate=\"19200\" NumberOfRetries=\"260\" Timeout=\"abc\"/></Sub></Configure>")
        << none << QStringLiteral("COM3|3|19200|8|1|502|4|0") << 0;
    QTest::newRow("serial values kept as text")
        << true
        << QByteArray("<Configure><Modbus Port=\"/dev/ttyUSB0\" Parity=\"even\" BaudRate=\"\" "
                      "NumberOfRetries=\"0\" Timeout=\"-5\"/></Configure>")
        << none << QStringLiteral("/dev/ttyUSB0|even||8|1|502|0|-5") << 0;
    QTest::newRow("network port is never read")
        << true << QByteArray("<Configure><Modbus NetworkPort=\"1502\"/></Configure>") << none
        << kDefaultSettings << 0;
    QTest::newRow("last Set wins") << true
                                   << QByteArray(
                                          "<Configure><Set Language=\"1\"/><Set Language=\"7\"/></Configure>")
                                   << none << kDefaultSettings << 7;
    QTest::newRow("last Set without attribute")
        << true << QByteArray("<Configure><Set Language=\"1\"/><Set/></Configure>") << none
        << kDefaultSettings << 0;
    QTest::newRow("encoding from the declaration")
        << true
        << QByteArray("<?xml version=\"1.0\" encoding=\"GBK\"?>\n"
                      "<Configure><Device Name=\"\xB3\xB5\xB4\xB2\"/></Configure>")
        << QStringList{QStringLiteral("0|车床|0|192.168.1.10|10")} << kDefaultSettings << 0;
    QTest::newRow("utf-8 with byte-order mark")
        << true
        << QByteArray(
               "\xEF\xBB\xBF<Configure>\r\n<Device Name=\"\xE8\xBD\xA6\xE5\xBA\x8A\"/>\r\n</Configure>\r\n")
        << QStringList{QStringLiteral("0|车床|0|192.168.1.10|10")} << kDefaultSettings << 0;
}

void TestConfigStore::load()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, devices);
    QFETCH(QString, settings);
    QFETCH(int, language);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    if (exists)
        QVERIFY(writeAll(path, content));
    m_store->loadFrom(path);
    QCOMPARE(describe(m_store->devices()), devices);
    QCOMPARE(describe(m_store->modbusSettings()), settings);
    QCOMPARE(m_store->language(), language);
}

void TestConfigStore::stateDisplay_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");

    const QStringList chinese{QStringLiteral("    中断"), QStringLiteral("    运行"),
                              QStringLiteral("    报警"), QStringLiteral("    空闲"),
                              QStringLiteral("    连接中")};
    QTest::newRow("chinese") << 0 << chinese;
    QTest::newRow("english") << 1
                             << QStringList{"    QUIT", "    RUN", "    ALM", "    FREE", "    CONNECTING"};
    QTest::newRow("other value is chinese") << 2 << chinese;
}

void TestConfigStore::stateDisplay()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(path,
                     QStringLiteral("<Configure><Set Language=\"%1\"/></Configure>").arg(language).toUtf8()));
    m_store->loadFrom(path);
    QVERIFY(Translations::install(m_store->language())); // as at start
    QCOMPARE(StateLook::texts(), texts);
    Translations::install(0);
    const QString style = QStringLiteral("image:url(:/image/%1);image-position:left;color:%2;font:700 10pt "
                                         "微软雅黑;padding-top:10px;padding-bottom:15px;");
    QCOMPARE(StateLook::styles(),
             (QStringList{style.arg("cncGrey.png", "rgb(188, 188, 188)"),
                          style.arg("cncRun.png", "rgb(48, 255, 58)"), style.arg("cncAlm.png", "red"),
                          style.arg("cncFree.png", "yellow"), style.arg("cnc.png", "rgb(38, 237, 255)")}));
    // Every image a state style names is in the bundle.
    for (const char *name : {"cncGrey", "cncRun", "cncAlm", "cncFree", "cnc"})
        QVERIFY2(!QImage(QStringLiteral(":/image/%1.png").arg(name)).isNull(), name);
}

void TestConfigStore::identity_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("ids"); // empty: one made for it

    QTest::newRow("kept") << QByteArray("<Configure><Device Id=\"a1\"/><Device Id=\"b-2\"/></Configure>")
                          << QStringList{"a1", "b-2"};
    QTest::newRow("missing") << QByteArray("<Configure><Device Name=\"M\"/><Device Name=\"M\"/></Configure>")
                             << QStringList{"", ""};
    QTest::newRow("copied element, unusable")
        << QByteArray("<Configure><Device Id=\"a1\"/><Device Id=\"a1\"/><Device Id=\"../x\"/></Configure>")
        << QStringList{"a1", "", ""};
}

// Every device has an Id of its own, the same at every read of an unchanged
// file, and the read never writes the file (tst_mainwindow: a save keeps them).
void TestConfigStore::identity()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, ids);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(path, content));
    m_store->loadFrom(path);
    const QList<DeviceRecord> first = m_store->devices();
    m_store->resetToDefaults();
    m_store->loadFrom(path);
    QCOMPARE(m_store->devices(), first);
    QCOMPARE(readAll(path), content);
    QSet<QString> seen;
    for (int i = 0; i < ids.size(); ++i) {
        const QString id = first.value(i).Id;
        QVERIFY2(ids.at(i).isEmpty() ? QUuid(id).version() == QUuid::Sha1 : id == ids.at(i), qPrintable(id));
        seen.insert(id);
    }
    QCOMPARE(seen.size(), ids.size());
}

void TestConfigStore::roundTrip()
{
    DeviceRecord lathe;
    lathe.Type = 1;
    lathe.Name = QStringLiteral("车床 \"A\" <1> & 'B'\tx");
    lathe.Model = 2;
    lathe.IP = QStringLiteral("192.168.3.20");
    lathe.Address = 255;
    DeviceRecord mill;
    mill.Name = QStringLiteral("  mill  ");
    mill.Model = 1;
    mill.Address = 1;
    // Characters XML cannot carry are dropped instead of spoiling the whole file.
    DeviceRecord odd;
    odd.Name =
        QStringLiteral("a") + QChar(0x01) + QChar(0xD800) + QStringLiteral("b\U0001F600") + QChar(0xFFFF);
    QList<DeviceRecord> records{lathe, mill, DeviceRecord(), odd};
    for (int i = 0; i < records.size(); ++i)
        records[i].Id = QString::number(i);

    ModbusSettings s;
    s.Port = QStringLiteral("/dev/ttyS1");
    s.Parity = 2;
    s.BaudRate = QStringLiteral("9600");
    s.DataBits = 7;
    s.StopBits = 3;
    s.NetworkPort = 1502;
    s.NumberOfRetries = 0;
    s.Timeout = 2000;
    m_store->setModbusSettings(s);
    m_store->setLanguage(1);
    const QVector<Shift> shifts{{QStringLiteral("夜班 \"1\""), QTime(22, 0), QTime(6, 0)},
                                {QStringLiteral("早班"), QTime(6, 0), QTime(14, 30)}};
    m_store->setShifts(shifts);
    QVector<StopReason> reasons = StopSettings::defaultReasons();
    reasons[0].Zh = QStringLiteral("缺料");
    reasons[3].Retired = true;
    reasons.append({12, QStringLiteral("换班&<>"), QStringLiteral("Shift \"change\""), true, false});
    m_store->setStopReasons(reasons);
    m_store->setMicroStopMinutes(0);
    m_store->setUntaggedStopMinutes(30);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(m_store->saveTo(path, records));
    m_store->resetToDefaults();
    m_store->loadFrom(path);

    records[3].Name = QStringLiteral("ab\U0001F600");
    QCOMPARE(m_store->devices(), records);
    QCOMPARE(describe(m_store->modbusSettings()), QStringLiteral("/dev/ttyS1|2|9600|7|3|502|0|2000"));
    QCOMPARE(m_store->language(), 1);
    QCOMPARE(m_store->shifts(), shifts);
    QCOMPARE(m_store->stopReasons(), reasons);
    QCOMPARE(m_store->microStopMinutes(), 0);
    QCOMPARE(m_store->untaggedStopMinutes(), 30);
}

void TestConfigStore::savedBytes()
{
    DeviceRecord a;
    a.Type = 1;
    a.Name = QStringLiteral("设备&\"");
    a.Model = 1;
    a.IP = QStringLiteral("192.168.3.20");
    a.Address = 7;
    a.Id = QStringLiteral("5b1e0c2a-7d4f-4a8e-9c61-0f3b2d9e8a71");
    a.On = true;
    m_store->setLanguage(1);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(m_store->saveTo(path, {a, DeviceRecord()}));
    const QByteArray expected =
        "<Configure>\n"
        "    <Device Type=\"1\" Name=\"\xE8\xAE\xBE\xE5\xA4\x87&amp;&quot;\" Model=\"1\" IP=\"192.168.3.20\" "
        "Address=\"7\" Id=\"5b1e0c2a-7d4f-4a8e-9c61-0f3b2d9e8a71\" On=\"1\"/>\n"
        "    <Device Type=\"0\" Name=\"\" Model=\"0\" IP=\"192.168.1.10\" Address=\"10\"/>\n"
        "    <Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
        "NumberOfRetries=\"3\" Timeout=\"300\"/>\n"
        "    <Set Language=\"1\"/>\n"
        "</Configure>\n";
    QCOMPARE(readAll(path), expected);
}

void TestConfigStore::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("textFile");
    for (const bool textFile : {false, true}) {
        const char *what = textFile ? "text file, " : "configuration, ";
        QTest::newRow(QByteArray(what).append("write fails midway").constData()) << "limit" << textFile;
        QTest::newRow(QByteArray(what).append("parent is a file").constData()) << "parentfile" << textFile;
        QTest::newRow(QByteArray(what).append("target is a directory").constData())
            << "directory" << textFile;
    }
}

void TestConfigStore::failedWriteKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(bool, textFile);

    QTemporaryDir dir;
    const QByteArray old = "<Configure><Device Name=\"kept\"/></Configure>";
    QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QString witness = path; // a file that must come out unchanged
    if (how == QLatin1String("limit")) {
        QVERIFY(writeAll(path, old));
    } else if (how == QLatin1String("parentfile")) {
        witness = dir.filePath(QStringLiteral("plain"));
        QVERIFY(writeAll(witness, old));
        path = witness + QStringLiteral("/Configure.xml");
    } else {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Configure.xml")));
        witness = path + QStringLiteral("/inside");
        QVERIFY(writeAll(witness, old));
    }

    const QList<DeviceRecord> records = QVector<DeviceRecord>(20).toList();
    const QString text = QString(4000, QLatin1Char('x'));
    bool ok = true;
    {
        FileSizeLimit limit(how == QLatin1String("limit") ? 64 : RLIM_INFINITY);
        ok = textFile ? ConfigStore::writeTextFile(path, text) : m_store->saveTo(path, records);
    }
    QVERIFY(!ok);
    QCOMPARE(readAll(witness), old);
    // No half-written temporary file is left behind.
    const QStringList left = QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QCOMPARE(left, QStringList{QFileInfo(how == QLatin1String("parentfile") ? witness : path).fileName()});
}

void TestConfigStore::brokenFileKeptBeside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("kept");
    QTest::newRow("one typo") << QByteArray("<Configure><Device Name=\"a\"></Configure>") << true;
    QTest::newRow("nested too deep") << QByteArray("<Configure>").repeated(40) << true;
    QTest::newRow("foreign root") << QByteArray("<configure><Device/></configure>") << true;
    QTest::newRow("good file") << QByteArray("<Configure><Device/></Configure>") << false;
}

// The first save over a file that could not be read moves it aside (over an
// older copy) instead of losing its devices; later saves leave the copy alone.
void TestConfigStore::brokenFileKeptBeside()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    const QString copy = path + QStringLiteral(".broken");
    QVERIFY(writeAll(path, content));
    QVERIFY(writeAll(copy, "older"));
    m_store->loadFrom(path);
    if (kept)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("kept as .*Configure.xml.broken")));
    QVERIFY(
        m_store->saveTo(path, {DeviceRecord{1, QStringLiteral("new"), 0, QStringLiteral("10.0.0.1"), 1}}));
    QVERIFY(m_store->saveTo(path, {}));
    QCOMPARE(readAll(copy), kept ? content : QByteArray("older"));
    QVERIFY(readAll(path).startsWith("<Configure>\n    <Modbus"));
}

void TestConfigStore::readOnlyFolder_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("saved");
    QTest::newRow("writable file: written in place") << QByteArray("<Configure/>") << true;
    QTest::newRow("broken file cannot be kept: left alone") << QByteArray("<Configure>") << false;
}

void TestConfigStore::readOnlyFolder()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(path, content));
    m_store->loadFrom(path);
    const QFile::Permissions folder = QFile::permissions(dir.path());
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    if (!saved)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("it is not replaced")));
    bool ok = false;
    {
        PermissionsHold asUser;
        ok =
            m_store->saveTo(path, {DeviceRecord{1, QStringLiteral("new"), 0, QStringLiteral("10.0.0.1"), 1}});
    }
    QVERIFY(QFile::setPermissions(dir.path(), folder));
    QCOMPARE(ok, saved);
    QCOMPARE(readAll(path).contains("Name=\"new\""), saved);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Configure.xml")});
}

void TestConfigStore::readTextFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("utf-8 chinese") << QByteArray("(\xE4\xB8\xAD\xE6\x96\x87)\r\nM30\r\n")
                                   << QStringLiteral("(中文)\r\nM30\r\n");
    QTest::newRow("gbk chinese") << QByteArray("(\xD6\xD0\xCE\xC4)\r\nM30\r\n")
                                 << QStringLiteral("(中文)\r\nM30\r\n");
}

void TestConfigStore::readTextFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O0001.txt"));
    QVERIFY(writeAll(path, bytes));
    QString got = QStringLiteral("stale");
    QVERIFY(ConfigStore::readTextFile(path, &got));
    QCOMPARE(got, text);
}

void TestConfigStore::writeTextFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SYS.PAR"));
    const QString text = QStringLiteral("[系统参数]\r\nP0001=1\r\n");
    QVERIFY(ConfigStore::writeTextFile(path, text));
    QCOMPARE(readAll(path), text.toLocal8Bit());
    QString back;
    QVERIFY(ConfigStore::readTextFile(path, &back));
    QCOMPARE(back, text);

    // Neither a missing file nor a directory can be read; the text stays as it was.
    QString untouched = QStringLiteral("keep");
    QVERIFY(!ConfigStore::readTextFile(dir.filePath(QStringLiteral("missing.txt")), &untouched));
    QVERIFY(!ConfigStore::readTextFile(dir.path(), &untouched));
    QCOMPARE(untouched, QStringLiteral("keep"));
}

void TestConfigStore::mqttElement_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("edited"); // the host (the board's address) changed, as in SET
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("element");

    const QByteArray plain = "<Configure><Set Language=\"0\"/></Configure>";
    QTest::newRow("board: none, stored unchanged") << plain << false << QByteArray() << QByteArray("Web");
    QTest::newRow("board: none, edited")
        << plain << true
        << QByteArray(
               "    <Web Enabled=\"0\" Listen=\"0.0.0.0\" Port=\"8080\" Source=\"fleet\" TokenFile=\"\"/>\n")
        << QByteArray("Web");
    QTest::newRow("board: kept whole; an unknown source is fleet, a port out of range the default")
        << QByteArray(
               "<Configure><Web Enabled=\"1\" Listen=\"::1\" Port=\"0\" Source=\"all\" TokenFile=\"/t\"/>"
               "</Configure>")
        << false
        << QByteArray(
               "    <Web Enabled=\"1\" Listen=\"::1\" Port=\"8080\" Source=\"fleet\" TokenFile=\"/t\"/>\n")
        << QByteArray("Web");
    QTest::newRow("none, stored unchanged") << plain << false << QByteArray() << QByteArray("Mqtt");
    QTest::newRow("none, edited") << plain << true
                                  << QByteArray("    <Mqtt Enabled=\"0\" Host=\"broker.local\" Port=\"1883\" "
                                                "Prefix=\"vexa\" User=\"\" CaFile=\"\" PasswordFile=\"\"/>\n")
                                  << QByteArray("Mqtt");
    QTest::newRow("kept whole; a password dropped, a port out of range the default")
        << QByteArray("<Configure><Mqtt Enabled=\"1\" Host=\"10.0.0.5\" Port=\"70000\" Prefix=\"shop/a\" "
                      "User=\"u\" Password=\"p\" CaFile=\"/ca.pem\" PasswordFile=\"/etc/pw\"/></Configure>")
        << false
        << QByteArray("    <Mqtt Enabled=\"1\" Host=\"10.0.0.5\" Port=\"1883\" Prefix=\"shop/a\" User=\"u\" "
                      "CaFile=\"/ca.pem\" PasswordFile=\"/etc/pw\"/>\n")
        << QByteArray("Mqtt");
}

void TestConfigStore::mqttElement()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, edited);
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, element);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(path, file));
    m_store->loadFrom(path);
    MqttSettings settings = m_store->mqttSettings();
    if (edited && element == "Mqtt")
        settings.Host = QStringLiteral("broker.local");
    m_store->setMqttSettings(settings);
    WebSettings web = m_store->webSettings();
    if (edited && element == "Web")
        web.Listen = QStringLiteral("0.0.0.0");
    m_store->setWebSettings(web);
    QVERIFY(m_store->saveTo(path, {}));
    const QByteArray bytes = readAll(path);
    const int at = bytes.indexOf("    <" + element);
    QCOMPARE(at < 0 ? QByteArray() : bytes.mid(at, bytes.indexOf('\n', at) + 1 - at), written);
}

QTEST_MAIN(TestConfigStore)
#include "tst_configstore.moc"
