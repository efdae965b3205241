#include "brokerprocess.h"
#include "config/mqttsettings.h"
#include "history/historystore.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "web/board.h"
#include "web/brokersource.h"
#include "web/historyday.h"
#include "web/webserver.h"
#include "web/webservice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QtTest>

#include <sys/stat.h>

namespace {

const char *const Hostile = "<img src=x onerror=alert(1)>";

Web::MachineReport machine(const QString &id, int state, const QString &name = QString())
{
    Web::MachineReport report;
    report.id = id;
    report.name = name.isEmpty() ? id : name;
    report.state = state;
    report.on = true;
    return report;
}

} // namespace

// The board's HTTP contract, against the server on a loopback port of its own.
class TestWeb : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rawRequests_data();
    void rawRequests();
    void escaping();
    void token_data();
    void token();
    void tokenFile();
    void events();
    void stuckClients();
    void brokerSource();
    void pastDay();

private:
    QByteArray raw(const QByteArray &request, int waitMs = 5000);
    QNetworkReply *get(const QString &path, const QByteArray &authorization = QByteArray(),
                       const QByteArray &cookie = QByteArray());
    void startServer(const QByteArray &token = QByteArray());

    std::unique_ptr<Web::Board> m_board;
    std::unique_ptr<Web::WebServer> m_server;
    QNetworkAccessManager m_network;
};

void TestWeb::init()
{
    m_board = std::make_unique<Web::Board>();
    m_server = std::make_unique<Web::WebServer>(m_board.get());
    startServer();
}

void TestWeb::cleanup()
{
    m_server.reset();
    m_board.reset();
}

void TestWeb::startServer(const QByteArray &token)
{
    Web::WebServer::Options options;
    options.port = 0;
    options.token = token;
    QString error;
    QVERIFY2(m_server->start(options, &error), qPrintable(error));
}

QByteArray TestWeb::raw(const QByteArray &request, int waitMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    if (!socket.waitForConnected(waitMs))
        return QByteArray();
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    return answer + socket.readAll();
}

QNetworkReply *TestWeb::get(const QString &path, const QByteArray &authorization, const QByteArray &cookie)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->port()).arg(path)));
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    QNetworkReply *reply = m_network.get(request);
    reply->setParent(this);
    return reply;
}

void TestWeb::rawRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("header"); // a header line the answer carries

    const QByteArray end = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    QTest::newRow("board") << "GET /" + end << QByteArray("200")
                           << QByteArray("Content-Security-Policy: default-src 'self'");
    QTest::newRow("nosniff") << "GET /api/fleet" + end << QByteArray("200")
                             << QByteArray("X-Content-Type-Options: nosniff");
    QTest::newRow("json") << "GET /api/fleet" + end << QByteArray("200") << QByteArray("application/json");
    QTest::newRow("asset") << "GET /assets/board.js" + end << QByteArray("200")
                           << QByteArray("text/javascript");
    QTest::newRow("colours") << "GET /assets/states.css" + end << QByteArray("200") << QByteArray("text/css");
    QTest::newRow("machine page") << "GET /machine/M1" + end << QByteArray("200") << QByteArray("text/html");
    QTest::newRow("head") << "HEAD /" + end << QByteArray("200") << QByteArray("text/html");
    QTest::newRow("unknown path") << "GET /etc/passwd" + end << QByteArray("404") << QByteArray("nosniff");
    QTest::newRow("out of the assets")
        << "GET /assets/../web/board.html" + end << QByteArray("404") << QByteArray();
    QTest::newRow("source file") << "GET /web/board.js" + end << QByteArray("404") << QByteArray();
    QTest::newRow("unknown machine") << "GET /api/machine/none" + end << QByteArray("404") << QByteArray();
    QTest::newRow("post") << "POST /api/fleet" + end << QByteArray("405") << QByteArray("Allow: GET, HEAD");
    QTest::newRow("delete") << "DELETE /" + end << QByteArray("405") << QByteArray("Allow: GET, HEAD");
    QTest::newRow("put with a body") << QByteArray(
                                            "PUT / HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\nabcd")
                                     << QByteArray("405") << QByteArray();
    QTest::newRow("get with a body")
        << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\nConnection: close\r\n\r\nabcd")
        << QByteArray("400") << QByteArray();
    QTest::newRow("chunked body")
        << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
        << QByteArray("400") << QByteArray();
    QTest::newRow("long url") << "GET /?q=" + QByteArray(2100, 'a') + end << QByteArray("400")
                              << QByteArray();
    QTest::newRow("large headers") << "GET / HTTP/1.1\r\nHost: x\r\nX-A: " + QByteArray(9000, 'a') +
                                          "\r\n\r\n"
                                   << QByteArray("400") << QByteArray();
    QTest::newRow("no host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("400") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\x01\x02 nonsense\r\n\r\n") << QByteArray("400") << QByteArray();
}

void TestWeb::rawRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, header);

    const QByteArray answer = raw(request);
    QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.left(200).constData());
    QVERIFY2(answer.contains(header), answer.left(600).constData());
    if (request.startsWith("HEAD"))
        QVERIFY(answer.endsWith("\r\n\r\n")); // the headers only
}

// Names and programs come from files and controllers: they reach the
// browser as JSON strings (QJsonDocument's escaping) and are never part of
// the served HTML, whose script sets every text with textContent.
void TestWeb::escaping()
{
    Web::MachineReport report = machine(QStringLiteral("M1"), 2, QString::fromLatin1(Hostile));
    report.program = QStringLiteral("O1\"</script>\\\n");
    report.reason = QStringLiteral("换刀");
    m_board->update(report);

    QNetworkReply *fleet = get(QStringLiteral("/api/fleet"));
    QTRY_VERIFY(fleet->isFinished());
    const QJsonArray list = QJsonDocument::fromJson(fleet->readAll()).array();
    QCOMPARE(list.size(), 1);
    const QJsonObject object = list.at(0).toObject();
    QCOMPARE(object.value("name").toString(), QString::fromLatin1(Hostile));
    QCOMPARE(object.value("program").toString(), report.program);
    QCOMPARE(object.value("state").toString(), QStringLiteral("alarm"));
    QCOMPARE(object.value("reason").toString(), report.reason);
    QVERIFY(object.value("pieces").isNull());
    QVERIFY(QDateTime::fromString(object.value("since").toString(), Qt::ISODate).isValid());
    QVERIFY(object.value("since").toString().endsWith(QLatin1Char('Z')));

    for (const char *path : {"/", "/machine/M1", "/assets/board.js", "/assets/machine.js"}) {
        const QByteArray body =
            raw(QByteArray("GET ") + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QVERIFY(body.startsWith("HTTP/1.1 200"));
        QVERIFY2(!body.contains(Hostile) && !body.contains("innerHTML") && !body.contains("onclick"), path);
        QVERIFY2(!body.contains("<script>") && !body.contains("style=\""),
                 path); // nothing inline for CSP to block
    }
}

void TestWeb::token_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("setsCookie");

    QTest::newRow("none") << "/api/fleet" << QByteArray() << QByteArray() << 401 << false;
    QTest::newRow("none, unknown path") << "/nothing" << QByteArray() << QByteArray() << 401 << false;
    QTest::newRow("bearer") << "/api/fleet" << QByteArray("Bearer s3cret") << QByteArray() << 200 << false;
    QTest::newRow("wrong bearer") << "/api/fleet" << QByteArray("Bearer s3cre") << QByteArray() << 401
                                  << false;
    QTest::newRow("basic") << "/api/fleet" << QByteArray("Basic s3cret") << QByteArray() << 401 << false;
    QTest::newRow("query, board") << "/?token=s3cret" << QByteArray() << QByteArray() << 200 << true;
    QTest::newRow("query, api") << "/api/fleet?token=s3cret" << QByteArray() << QByteArray() << 200 << false;
    QTest::newRow("wrong query") << "/?token=x" << QByteArray() << QByteArray() << 401 << false;
    QTest::newRow("cookie") << "/events" << QByteArray() << QByteArray("vexa_token=s3cret") << 200 << false;
    QTest::newRow("wrong cookie") << "/" << QByteArray() << QByteArray("vexa_token=s3cretx") << 401 << false;
}

void TestWeb::token()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, authorization);
    QFETCH(QByteArray, cookie);
    QFETCH(int, status);
    QFETCH(bool, setsCookie);

    m_network.setCookieJar(new QNetworkCookieJar); // the board's cookie stays with its row
    m_server->stop();
    startServer("s3cret");
    QNetworkReply *reply = get(path, authorization, cookie);
    QTRY_VERIFY(reply->isFinished() || reply->bytesAvailable() > 0); // the stream does not end
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    const QByteArray set = reply->rawHeader("Set-Cookie");
    QCOMPARE(!set.isEmpty(), setsCookie);
    if (setsCookie)
        QCOMPARE(set, QByteArray("vexa_token=s3cret; HttpOnly; SameSite=Strict; Path=/"));
    if (status == 401)
        QVERIFY(reply->readAll().size() < 100);
    reply->abort();
    QVERIFY(!Web::WebServer::sameToken("", ""));
}

// A token file others may read is refused, and then nothing is served at all.
void TestWeb::tokenFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("token"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("abc\n") == 4);
    file.close();
    WebSettings settings;
    settings.Enabled = true;
    settings.Port = 0;
    settings.TokenFile = path;
    qunsetenv(Web::WebService::TokenVariable);
    for (const mode_t mode : {mode_t(0644), mode_t(0600)}) {
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
        Web::WebService service(nullptr);
        service.apply(settings, MqttSettings(), 0);
        QCOMPARE(service.isServing(), mode == 0600);
        QString problem;
        QCOMPARE(Web::WebService::token(settings, &problem), mode == 0600 ? QByteArray("abc") : QByteArray());
        QCOMPARE(problem.isEmpty(), mode == 0600);
    }
}

// The stream: the whole fleet on connect, then one machine per change; a
// reader that falls behind gets the whole fleet again instead.
void TestWeb::events()
{
    m_board->update(machine(QStringLiteral("M1"), 1));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_server->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray stream;
    QTRY_VERIFY((stream += socket.readAll()).contains("event: fleet\ndata: [{"));
    QVERIFY(stream.contains("text/event-stream"));
    m_board->update(machine(QStringLiteral("M2"), 2));
    QTRY_VERIFY((stream += socket.readAll()).contains("event: machine\ndata: {"));
    QVERIFY(stream.contains("\"id\":\"M2\""));

    const std::shared_ptr<Web::Board::Listener> slow = m_board->listen();
    QVERIFY(slow->next(0).startsWith("event: fleet\n"));
    for (int i = 0; i <= Web::Board::MaxQueuedEvents; ++i)
        m_board->update(machine(QStringLiteral("M1"), 2 + i % 3));
    QVERIFY(slow->next(0).startsWith("event: fleet\n"));
    QVERIFY(slow->next(0).startsWith(": heartbeat"));
    m_board->unlisten(slow);
}

// Clients that never read (a large answer and a stream each) hold only their
// own threads; past the bound a connection is closed at once.
void TestWeb::stuckClients()
{
    for (int i = 0; i < 3000; ++i)
        m_board->update(machine(QStringLiteral("M%1").arg(i), 1, QString(100, QLatin1Char('n'))));
    std::vector<std::unique_ptr<QTcpSocket>> stuck;
    for (int i = 0; i < 8; ++i) {
        stuck.push_back(std::make_unique<QTcpSocket>());
        stuck.back()->setReadBufferSize(1);
        stuck.back()->connectToHost(QHostAddress::LocalHost, m_server->port());
        QVERIFY(stuck.back()->waitForConnected(5000));
        stuck.back()->write(i % 2 ? "GET /events HTTP/1.1\r\nHost: x\r\n\r\n"
                                  : "GET /api/fleet HTTP/1.1\r\nHost: x\r\n\r\n");
    }
    for (int i = 0; i < 20; ++i)
        m_board->update(machine(QStringLiteral("M%1").arg(i), 2));
    QNetworkReply *reply = get(QStringLiteral("/api/machine/M1"));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    m_network.clearConnectionCache();

    while (int(stuck.size()) < Web::WebServer::MaxClients + 10) {
        stuck.push_back(std::make_unique<QTcpSocket>());
        stuck.back()->connectToHost(QHostAddress::LocalHost, m_server->port());
        QVERIFY(stuck.back()->waitForConnected(5000));
    }
    // Past the bound, connections wait in the system's queue or are closed.
    QTRY_COMPARE(m_server->clients(), Web::WebServer::MaxClients);
    QTest::qWait(200);
    QCOMPARE(m_server->clients(), Web::WebServer::MaxClients);
    stuck.clear();
    QTRY_VERIFY(raw("GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 200"));
}

// The board-only node: the machines of every collector from a real broker,
// offline once their collector is gone; what does not parse is ignored.
void TestWeb::brokerSource()
{
    Broker broker;
    QVERIFY(broker.start());
    const auto publish = [&](const QString &topic, const QByteArray &payload) {
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_pub"),
                                   {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-r", "-t",
                                    topic, "-m", QString::fromUtf8(payload)}),
                 0);
    };
    publish("vexa/Mill-1a2b/state", "{\"state\":\"alarm\",\"code\":2,\"program\":\"O0012\",\"pieces\":3,"
                                    "\"target\":500,\"time\":\"2026-12-09T10:00:00+08:00\","
                                    "\"reason\":{\"code\":3,\"text\":\"换刀\"}}");
    publish("vexa/Mill-1a2b/online", "true");
    publish("vexa/Lathe-9f/state", "{\"state\":\"running\",\"program\":null,\"pieces\":null}");
    publish("vexa/Bad/state", "{\"state\":\"exploded\"}");
    publish("vexa/$collectors/c1/machines", "[\"Mill-1a2b\"]");
    publish("vexa/$collectors/c1/online", "true");

    MqttSettings settings;
    settings.Port = broker.port();
    Web::BrokerSource source(settings, QByteArray(), m_board.get());
    QTRY_COMPARE(m_board->machineCount(), 2);
    const auto stateOf = [&](const QString &id) {
        return QJsonDocument::fromJson(m_board->machineJson(id)).object();
    };
    QTRY_COMPARE(stateOf("Mill-1a2b").value("state").toString(), QStringLiteral("alarm"));
    QCOMPARE(stateOf("Mill-1a2b").value("reason").toString(), QStringLiteral("换刀"));
    QCOMPARE(stateOf("Mill-1a2b").value("target").toInt(), 500);
    QCOMPARE(stateOf("Lathe-9f").value("state").toString(), QStringLiteral("running"));

    publish("vexa/$collectors/c1/online", "false");
    QTRY_COMPARE(stateOf("Mill-1a2b").value("state").toString(), QStringLiteral("offline"));
    QCOMPARE(stateOf("Lathe-9f").value("state").toString(), QStringLiteral("running"));
    publish("vexa/Lathe-9f/state", "");
    QTRY_COMPARE(m_board->machineCount(), 1);
}

QTEST_MAIN(TestWeb)
#include "tst_web.moc"

// After a restart the board starts the day from the history file: a state
// recorded up to the start goes on (its since), the utilization counts the
// recorded day (overlaps and the future not), the recorded writes are
// listed. A device is found by its Id, the file by the fleet's service; a
// missing file or an unknown device leaves the board counting alone.
void TestWeb::pastDay()
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    const qint64 day = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
    if (start - day < 120000)
        QSKIP("today has no earlier part yet");
    const qint64 step = (start - day) / 10;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        History::HistoryStore store;
        QVERIFY(store.open(path, History::HistoryStore::ReadWrite));
        const QString mill = History::HistoryStore::deviceKey(QStringLiteral("mill"), QStringLiteral("a1"));
        History::Batch batch;
        for (const QVector<qint64> &p : {QVector<qint64>{1, 2, 6}, {1, 3, 4}, {1, 11, 20}, {3, 6, 10}})
            batch.closed.append({mill, {int(p[0]), day + p[1] * step, day + p[2] * step, QString()}});
        batch.closed.last().period.end = start - 1000;
        batch.operations = {
            {mill, day + 5 * step, QStringLiteral("write program"), QStringLiteral("O12"), 0, 9}};
        QVERIFY(store.write(batch));
    }
    const std::atomic_bool cancelled{false};
    const QVector<Web::RecordedDevice> devices{{"M1", "mill renamed", "a1"}, {"M2", "lathe", QString()}};
    QVERIFY(Web::readPastDay(dir.filePath(QStringLiteral("none")), devices, day, start, cancelled).isEmpty());
    m_board->update(machine(QStringLiteral("M1"), DeviceState::Idle));
    m_board->update(machine(QStringLiteral("M2"), DeviceState::Idle));
    m_board->loadDay(Web::readPastDay(path, devices, day, start, cancelled));
    const auto seen = [](const QByteArray &json, const QString &id) {
        const QJsonArray fleet = QJsonDocument::fromJson(json).array();
        for (const QJsonValue &value : fleet) {
            if (id.isEmpty() || value.toObject().value("id").toString() == id)
                return qMakePair(
                    QDateTime::fromString(value.toObject().value("since").toString(), Qt::ISODate)
                        .toMSecsSinceEpoch(),
                    value.toObject().value("utilization").toDouble(-1));
        }
        return qMakePair(qint64(0), -1.0);
    };
    QCOMPARE(seen(m_board->fleetJson(), "M1").first, day + 6 * step / 1000 * 1000);
    QVERIFY(qAbs(seen(m_board->fleetJson(), "M1").second - 0.5) < 0.02);
    QVERIFY(seen(m_board->fleetJson(), "M2").first >= start / 1000 * 1000);
    QCOMPARE(seen(m_board->fleetJson(), "M2").second, 0.0);
    const QJsonObject m1 = QJsonDocument::fromJson(m_board->machineJson(QStringLiteral("M1"))).object();
    QCOMPARE(m1.value("periods").toArray().size(), 3);
    QCOMPARE(m1.value("operations").toArray().at(0).toObject().value("kind").toString(), "write-program");

    // The same through the service, its own thread and the fleet's devices.
    DeviceFleet fleet;
    auto *device = new ModbusDevice;
    device->setRecord({1, QStringLiteral("mill 2"), 0, QStringLiteral("127.0.0.1"), 1, QStringLiteral("a1")});
    auto watch = std::make_unique<DeviceWatch>(device);
    fleet.add(watch.get());
    Web::WebService service(&fleet);
    service.setHistoryFile(path);
    WebSettings settings;
    settings.Enabled = true;
    settings.Port = 0;
    service.apply(settings, MqttSettings(), 0);
    QTRY_VERIFY(qAbs(seen(service.board()->fleetJson(), QString()).second - 0.5) < 0.02);
    fleet.remove(watch.get());
    watch.reset();
    device->releaseWhenIdle();
}
