#include "app/headless.h"
#include "brokerprocess.h"
#include "config/configstore.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttformat.h"
#include "mqtt/mqttpassword.h"
#include "mqtt/mqttservice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>

namespace {

const char *const SimAddresses[] = {"127.0.0.125", "127.0.0.126"};
const char *const SimNames[] = {"Mill 1", "车床"};
constexpr quint16 SimPort = 1502;

// mosquitto_sub on everything under vexa/, one "retained topic payload" line
// per message.
class Subscriber
{
public:
    explicit Subscriber(quint16 port)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine())
                m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
        });
        m_process.start(QStringLiteral("mosquitto_sub"), {"-h", "127.0.0.1", "-p", QString::number(port),
                                                          "-t", "vexa/#", "-v", "-F", "%r %t %p"});
    }
    ~Subscriber()
    {
        m_process.disconnect();
        m_process.kill();
        m_process.waitForFinished();
    }
    Subscriber(const Subscriber &) = delete;
    Subscriber &operator=(const Subscriber &) = delete;

    // Waits for a message whose line starts so; "* " stands for either
    // retained flag (for what a subscriber may see live or retained).
    bool waitFor(const QString &start)
    {
        const bool any = start.startsWith(QLatin1String("* "));
        const auto matches = [&](const QString &line) {
            return any ? line.midRef(2).startsWith(start.midRef(2)) : line.startsWith(start);
        };
        const bool seen =
            QTest::qWaitFor([&] { return std::any_of(m_lines.cbegin(), m_lines.cend(), matches); }, 20000);
        if (!seen)
            qWarning().noquote() << "Not seen:" << start << "\nSeen:\n" << m_lines.join(QLatin1Char('\n'));
        return seen;
    }

    QStringList lines() const { return m_lines; }

private:
    QProcess m_process;
    QStringList m_lines;
};

// Two simulated controllers and, when watched, their links in one fleet,
// switched on as the cards (or the windowless mode) do.
struct Shop
{
    Shop()
    {
        controllers[0].setRunState(sim::RunState::Running);
        controllers[0].setProgramNumber(1);
        controllers[0].setPieceCount(12);
        controllers[0].setPieceTarget(500);
        for (int i = 0; i < 2; ++i)
            listening = servers[i].listen(QHostAddress(QLatin1String(SimAddresses[i])), SimPort) && listening;
    }
    void watch()
    {
        for (int i = 0; i < 2; ++i) {
            devices[i] = new ModbusDevice(&links);
            devices[i]->setRecord({1, QString::fromUtf8(SimNames[i]), 0, QLatin1String(SimAddresses[i]), 10});
            auto *watch = new DeviceWatch(devices[i], &fleet);
            fleet.add(watch);
            watch->setOn(true);
        }
    }

    sim::Controller controllers[2];
    sim::TcpServer servers[2]{sim::TcpServer(&controllers[0]), sim::TcpServer(&controllers[1])};
    bool listening = true;
    QObject links;
    DeviceFleet fleet;
    ModbusDevice *devices[2] = {};
};

MqttSettings brokerSettings(quint16 port)
{
    MqttSettings settings;
    settings.Enabled = true;
    settings.Port = port;
    return settings;
}

MqttClient::Options clientOptions(quint16 port)
{
    MqttClient::Options options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = port;
    return options;
}

const char kRunning[] =
    "* vexa/Mill_1/state {\"state\":\"running\",\"code\":1,\"program\":\"O0001\",\"pieces\":12,"
    "\"target\":500,\"time\":\"";

} // namespace

class TestMqtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void passwordFile_data();
    void passwordFile();
    void publishesStatesChangesAndEvents();
    void windowlessStops_data();
    void windowlessStops();
    void twoCollectorsOneBroker();
    void brokerStoppedMidRun();
    void refusalIsTold();
    void acceptedAndDroppedBacksOff();
    void eventsOutliveRestart();
};

void TestMqtt::initTestCase()
{
    TestSupport::useQuickLink(SimPort);
}

void TestMqtt::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QDateTime time(QDate(2026, 12, 8), QTime(10, 15, 2), Qt::OffsetFromUTC, 8 * 3600);
    QTest::newRow("state")
        << QString::fromUtf8(MqttFormat::stateJson(1, "O0001", 12, 500, time))
        << "{\"state\":\"running\",\"code\":1,\"program\":\"O0001\",\"pieces\":12,\"target\":500,"
           "\"time\":\"2026-12-08T10:15:02+08:00\"}";
    QTest::newRow("counters not read, west of UTC")
        << QString::fromUtf8(
               MqttFormat::stateJson(4, QString(), -1, -1, time.toOffsetFromUtc(-(3 * 3600 + 1800))))
        << "{\"state\":\"connecting\",\"code\":4,\"program\":null,\"pieces\":null,\"target\":null,"
           "\"time\":\"2026-12-07T22:45:02-03:30\"}";
    QTest::newRow("failed read, quoted target")
        << QString::fromUtf8(MqttFormat::eventJson("read-file", "A\"\\\n.TXT", 7, 0, time))
        << "{\"event\":\"read-file\",\"target\":\"A\\\"\\\\\\u000a.TXT\",\"result\":7,\"ok\":false,\"bytes\":"
           "0,"
           "\"time\":\"2026-12-08T10:15:02+08:00\"}";
    QTest::newRow("a tagged stop")
        << QString::fromUtf8(MqttFormat::stateJson(3, "O1", 2, 5, time, 3, QStringLiteral("Setup \"A\"")))
        << "{\"state\":\"idle\",\"code\":3,\"program\":\"O1\",\"pieces\":2,\"target\":5,"
           "\"time\":\"2026-12-08T10:15:02+08:00\",\"reason\":{\"code\":3,\"text\":\"Setup \\\"A\\\"\"}}";
    QTest::newRow("stop-reason event")
        << QString::fromUtf8(MqttFormat::stopReasonJson(1, QStringLiteral("待料"), time))
        << QStringLiteral("{\"event\":\"stop-reason\",\"reason\":{\"code\":1,\"text\":\"待料\"},"
                          "\"time\":\"2026-12-08T10:15:02+08:00\"}");
    QTest::newRow("id") << MqttFormat::topicId("Mill A/1+#$ 车床-2_x") << "Mill_A_1____车床-2_x";
    QTest::newRow("id with the device's short Id")
        << MqttFormat::topicId("Mill (TCP)", "5b1e0c2a") << "Mill__TCP_-5b1e0c2a";
    QTest::newRow("empty id") << MqttFormat::topicId(QString()) << "_";
    QString prefixes;
    for (const char *prefix : {"vexa", "shop/line 2", "", "a/+/b", "a#", "$SYS"})
        prefixes += MqttFormat::isUsablePrefix(QString::fromUtf8(prefix)) ? '1' : '0';
    QTest::newRow("usable prefixes") << prefixes << "110000";
}

void TestMqtt::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestMqtt::passwordFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode"); // -1: a folder
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("refusal");

    QTest::newRow("owner only, first line")
        << QByteArray("s3cret\r\nnext\n") << 0600 << QByteArray("s3cret") << int(MqttPassword::Refusal::None);
    QTest::newRow("group can read") << QByteArray("s3cret") << 0640 << QByteArray()
                                    << int(MqttPassword::Refusal::OthersCanRead);
    QTest::newRow("anyone can read") << QByteArray("s3cret") << 0604 << QByteArray()
                                     << int(MqttPassword::Refusal::OthersCanRead);
    QTest::newRow("far too large") << QByteArray(5000, 'x') << 0400 << QByteArray()
                                   << int(MqttPassword::Refusal::TooLarge);
    QTest::newRow("a folder") << QByteArray() << -1 << QByteArray()
                              << int(MqttPassword::Refusal::NotPlainFile);
}

void TestMqtt::passwordFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(QByteArray, password);
    QFETCH(int, refusal);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("password"));
    if (mode < 0) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("password")));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    }
    MqttPassword::Refusal why = MqttPassword::Refusal::Missing;
    QCOMPARE(MqttPassword::readFile(path, &why), password);
    QCOMPARE(int(why), refusal);
}

// Two controllers on a real broker: the retained states and online flags a
// late subscriber finds, a change as it happens, and the events of a write
// and of a failed read.
void TestMqtt::publishesStatesChangesAndEvents()
{
    Broker broker;
    QVERIFY(broker.start());
    Shop shop;
    QVERIFY(shop.listening);
    shop.watch();
    Subscriber live(broker.port());
    MqttService service(&shop.fleet, false);
    service.apply(brokerSettings(broker.port()));

    const QString presence = service.collectorTopic() + QStringLiteral("/online");
    QVERIFY(live.waitFor(QStringLiteral("* %1 true").arg(presence)));
    QVERIFY(
        live.waitFor(QStringLiteral("* %1/machines [\"Mill_1\",\"车床\"]").arg(service.collectorTopic())));
    QVERIFY(live.waitFor(QString::fromUtf8(kRunning)));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/Mill_1/online true")));
    QVERIFY(live.waitFor(
        QStringLiteral("* vexa/车床/state {\"state\":\"idle\",\"code\":3,\"program\":\"O0000\"")));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/车床/online true")));

    QCOMPARE(shop.devices[1]->writeProgram(QStringLiteral("O0007\nG0 X1\n"), 7), 0);
    QVERIFY(live.waitFor(
        QStringLiteral("0 vexa/车床/event {\"event\":\"write-program\",\"target\":\"O0007\",\"result\":0,"
                       "\"ok\":true,\"bytes\":12,\"time\":\"")));
    QString text;
    QVERIFY(shop.devices[1]->readProgram(&text, 99) != 0);
    QVERIFY(
        live.waitFor(QStringLiteral("0 vexa/车床/event {\"event\":\"read-program\",\"target\":\"O0099\"")));

    shop.controllers[1].setRunState(sim::RunState::Alarm);
    QVERIFY(live.waitFor(QStringLiteral("0 vexa/车床/state {\"state\":\"alarm\",\"code\":2,")));

    Subscriber late(broker.port());
    QVERIFY(late.waitFor(QStringLiteral("1 %1 true").arg(presence)));
    QVERIFY(late.waitFor(QStringLiteral("1 vexa/车床/state {\"state\":\"alarm\"")));
    QVERIFY(late.waitFor(QStringLiteral("1 vexa/Mill_1/online true")));
}

void TestMqtt::windowlessStops_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("killed: the last will") << int(SIGKILL);
    QTest::newRow("terminated") << int(SIGTERM);
    QTest::newRow("interrupted") << int(SIGINT);
}

// The windowless mode as a process of its own, without a display: it
// publishes what Configure.xml lists; killed, the broker says it is gone;
// stopped, it says so itself and leaves the file as it was.
void TestMqtt::windowlessStops()
{
    QFETCH(int, signal);
    Broker broker;
    QVERIFY(broker.start());
    Shop shop;
    QVERIFY(shop.listening);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    const QByteArray config =
        QStringLiteral(
            "<Configure>\n"
            "    <Device Type=\"1\" Name=\"Mill 1\" Model=\"0\" IP=\"%1\" Address=\"10\" Id=\"m1\"/>\n"
            "    <Device Type=\"1\" Name=\"车床\" Model=\"0\" IP=\"%2\" Address=\"10\" "
            "Id=\"5b1e0c2a-7d4f-4a8e-9c61-0f3b2d9e8a71\"/>\n"
            "    <Mqtt Enabled=\"1\" Host=\"127.0.0.1\" Port=\"%3\"/>\n"
            "</Configure>\n")
            .arg(QLatin1String(SimAddresses[0]), QLatin1String(SimAddresses[1]))
            .arg(broker.port())
            .toUtf8();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(config), config.size());
    file.close();

    Subscriber live(broker.port());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(dir.path());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--headless-child")});
    // Topics carry the device's Id: another collector's 车床 has topics of its own.
    QVERIFY(live.waitFor(QStringLiteral("* vexa/Mill_1-m1/state {\"state\":\"running\"")));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/车床-5b1e0c2a/online true")));

    ::kill(pid_t(child.processId()), signal);
    QVERIFY(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 10000));
    const QString presence = QStringLiteral("vexa/$collectors/%1/online").arg(MqttService::collectorId(path));
    QVERIFY(live.waitFor(QStringLiteral("0 %1 false").arg(presence)));
    if (signal != SIGKILL) {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(live.waitFor(QStringLiteral("0 vexa/车床-5b1e0c2a/online false")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), config);
    }
    if (signal == SIGTERM) { // a command-line backup is an event too (port 502: out of its reach)
        child.start(QStringLiteral(VEXA_BINARY_DIR "/vexa-assistant"),
                    {"--backup", QString::fromUtf8("车床")});
        QVERIFY(
            live.waitFor(QStringLiteral("0 vexa/车床-5b1e0c2a/event {\"event\":\"backup\",\"target\":\"\","
                                        "\"result\":1,\"ok\":false,\"bytes\":0")));
        QVERIFY(child.waitForFinished(30000));
    }
    Subscriber late(broker.port());
    QVERIFY(late.waitFor(QStringLiteral("1 %1 false").arg(presence)));
}

// Two halls, one broker: each collector says which machines it covers, and
// one that vanishes takes down its own presence flag only.
void TestMqtt::twoCollectorsOneBroker()
{
    Broker broker;
    QVERIFY(broker.start());
    Shop shop;
    QVERIFY(shop.listening);
    Subscriber live(broker.port());
    QTemporaryDir dirs[2];
    QProcess collectors[2];
    QString topics[2];
    for (int i = 0; i < 2; ++i) {
        const QString path = dirs[i].filePath(QStringLiteral("Configure.xml"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral(
                "<Configure>\n<Device Type=\"1\" Name=\"%1\" Model=\"0\" IP=\"%2\" "
                "Address=\"10\" Id=\"hall%4\"/>\n<Mqtt Enabled=\"1\" Host=\"127.0.0.1\" Port=\"%3\"/>\n"
                "</Configure>\n")
                .arg(QString::fromUtf8(SimNames[i]), QLatin1String(SimAddresses[i]))
                .arg(broker.port())
                .arg(i)
                .toUtf8());
        file.close();
        topics[i] = QStringLiteral("vexa/$collectors/") + MqttService::collectorId(path);
        collectors[i].setWorkingDirectory(dirs[i].path());
        collectors[i].start(QCoreApplication::applicationFilePath(), {QStringLiteral("--headless-child")});
    }
    QVERIFY(topics[0] != topics[1]);
    QVERIFY(live.waitFor(QStringLiteral("* %1/machines [\"Mill_1-hall0\"]").arg(topics[0])));
    QVERIFY(live.waitFor(QStringLiteral("* %1/machines [\"车床-hall1\"]").arg(topics[1])));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/Mill_1-hall0/state {\"state\":\"running\"")));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/车床-hall1/state {\"state\":\"idle\"")));

    ::kill(pid_t(collectors[0].processId()), SIGKILL);
    QVERIFY(live.waitFor(QStringLiteral("0 %1/online false").arg(topics[0])));
    Subscriber late(broker.port());
    QVERIFY(late.waitFor(QStringLiteral("1 %1/online true").arg(topics[1])));
    QVERIFY(late.waitFor(QStringLiteral("1 %1/online false").arg(topics[0])));
    QVERIFY(late.waitFor(QStringLiteral("1 vexa/Mill_1-hall0/state {\"state\":\"running\"")));
    QVERIFY(late.waitFor(QStringLiteral("1 vexa/车床-hall1/state {\"state\":\"idle\"")));
    QStringList states = late.lines().filter(QRegularExpression(QStringLiteral("^1 vexa/[^/$]+/state ")));
    for (QString &line : states)
        line = line.section(QLatin1Char(' '), 1, 1);
    states.sort();
    QCOMPARE(states, QStringList({QStringLiteral("vexa/Mill_1-hall0/state"),
                                  QStringLiteral("vexa/车床-hall1/state")}));
    collectors[1].terminate();
    QVERIFY(collectors[1].waitForFinished(10000));
}

// A broker that falls silent and then goes away holds up neither the polls
// nor the window: the polls keep their period, and the broker started again
// gets the current states back.
void TestMqtt::brokerStoppedMidRun()
{
    Broker broker;
    QVERIFY(broker.start());
    Shop shop;
    QVERIFY(shop.listening);
    shop.watch();
    Subscriber live(broker.port());
    MqttService service(&shop.fleet, false);
    service.apply(brokerSettings(broker.port()));
    QVERIFY(live.waitFor(QStringLiteral("* vexa/Mill_1/online true")));

    QElapsedTimer clock;
    clock.start();
    QList<qint64> polls;
    QObject::connect(shop.devices[0], &ModbusDevice::pollFinished, [&] { polls.append(clock.elapsed()); });
    broker.signal(SIGSTOP);
    shop.controllers[0].setRunState(sim::RunState::Alarm);
    QTRY_VERIFY_WITH_TIMEOUT(polls.size() >= 8, 10000);
    broker.kill();
    QTRY_VERIFY_WITH_TIMEOUT(polls.size() >= 16, 10000);
    // The period is the point: a publish that waited on the broker would stretch
    // it; three periods leave room for slow builds.
    for (int i = 1; i < polls.size(); ++i)
        QVERIFY2(polls.at(i) - polls.at(i - 1) < 3 * DeviceWatch::PollIntervalMs,
                 qPrintable(QStringLiteral("%1 ms between polls").arg(polls.at(i) - polls.at(i - 1))));

    // A broker started afresh has no retained messages but those sent again.
    QVERIFY(broker.start());
    Subscriber late(broker.port());
    QVERIFY(late.waitFor(QStringLiteral("* %1/online true").arg(service.collectorTopic())));
    QVERIFY(late.waitFor(QStringLiteral("* vexa/Mill_1/state {\"state\":\"alarm\"")));
}

// A broker that refuses us is told as a refusal, not as one out of reach.
void TestMqtt::refusalIsTold()
{
    Broker broker;
    broker.m_anonymous = false;
    QVERIFY(broker.start());
    DeviceFleet fleet;
    MqttService service(&fleet, false);
    service.apply(brokerSettings(broker.port()));
    QTRY_VERIFY_WITH_TIMEOUT(service.statusText().startsWith(QString::fromUtf8("代理拒绝连接")), 10000);
}

// A peer that accepts the connection and drops it at once is asked again
// after a growing back-off, not every second.
void TestMqtt::acceptedAndDroppedBacksOff()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost));
    QElapsedTimer clock;
    clock.start();
    QList<qint64> accepted;
    QObject::connect(&peer, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = peer.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [&, socket] {
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            socket->write(QByteArray("\x20\x02\x00\x00", 4)); // CONNACK: accepted
            socket->disconnectFromHost();
            accepted.append(clock.elapsed());
        });
    });
    MqttClient client;
    client.start(clientOptions(peer.serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(accepted.size() >= 3, 10000);
    QVERIFY(accepted.at(2) - accepted.at(1) >= 3 * MqttClient::FirstRetryMs / 2); // 2 s, not 1 s
}

// Events that wait for a broker out of reach are published after the client
// is stopped and started again.
void TestMqtt::eventsOutliveRestart()
{
    Broker broker;
    QVERIFY(broker.start());
    broker.kill();
    MqttClient client;
    client.start(clientOptions(broker.port()));
    client.publishEvent(QStringLiteral("vexa/event"), "waited");
    client.stop();
    QVERIFY(broker.start());
    Subscriber live(broker.port());
    QVERIFY(QProcess::execute(QStringLiteral("mosquitto_pub"),
                              {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t", "vexa/ready",
                               "-m", "1", "-r"}) == 0);
    QVERIFY(live.waitFor(QStringLiteral("* vexa/ready 1"))); // retained: seen once subscribed
    client.start(clientOptions(broker.port()));
    QVERIFY(live.waitFor(QStringLiteral("0 vexa/event waited")));
}

int main(int argc, char *argv[])
{
    // The windowless mode as the program runs it, for the test that stops it;
    // only the controllers' port is the test's.
    if (argc > 1 && qstrcmp(argv[1], "--headless-child") == 0) {
        ModbusSettings settings = ConfigStore::instance()->modbusSettings();
        settings.NetworkPort = SimPort;
        ConfigStore::instance()->setModbusSettings(settings);
        return Headless::run(argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestMqtt test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mqtt.moc"
