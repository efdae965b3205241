#include "mqtt/mqttclient.h"

#include <QDebug>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Message
{
    QString topic;
    QByteArray payload;
};

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

int msUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 60000));
}

QString libraryError(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// What the client's thread and the worker's thread share; every field under
// the mutex. A worker left to finish on its own keeps it alive.
struct MqttClient::Shared
{
    Shared() : wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Shared()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;

    void wake() const
    {
        const quint64 one = 1;
        if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof one) < 0) {
            // Full counter: the worker is woken anyway.
        }
    }

    std::mutex mutex;
    std::condition_variable finishedCondition;
    const int wakeFd;

    std::map<QString, QByteArray> retained; // the latest payload of every retained topic
    std::set<QString> dirty;                // retained topics not handed to the library since they changed
    std::deque<Message> events;
    Counters counters;
    bool stopRequested = false;
    bool finished = false;
    MqttClient *receiver = nullptr; // null once nobody listens
    quint64 generation = 0;
    // The worker this one follows: its goodbye goes out before our hello.
    std::shared_ptr<Shared> previous;
};

class MqttClient::Worker
{
public:
    Worker(std::shared_ptr<Shared> shared, const Options &options)
        : m_shared(std::move(shared)), m_host(options.host.toUtf8()), m_port(options.port),
          m_user(options.user.toUtf8()), m_password(options.password), m_caFile(options.caFile.toLocal8Bit()),
          m_clientId(options.clientId.toUtf8()), m_presence(options.presenceTopic.toUtf8()),
          m_keepAlive(std::max(5, options.keepAliveSeconds)), m_subscriptions(options.subscriptions)
    {
    }
    ~Worker() { destroyClient(); }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void run();

private:
    struct InFlight
    {
        quint64 order = 0;
        bool isEvent = false;
        Message message;
    };

    bool stopRequested() const;
    void waitForPrevious();
    void waitForWake(int ms);
    void drainWake();
    void connectToBroker();
    void fail(Problem problem, const QString &detail);
    void requeueUnacknowledged();
    void destroyClient();
    void handOver(int limit);
    void serviceSocket(int timeoutMs);
    void goodbye();
    void report(bool connected, Problem problem, const QString &detail);
    bool publish(const Message &message, int qos, bool retain, bool isEvent);

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    std::shared_ptr<Shared> m_shared;
    const QByteArray m_host;
    const int m_port;
    const QByteArray m_user;
    const QByteArray m_password;
    const QByteArray m_caFile;
    const QByteArray m_clientId;
    const QByteArray m_presence;
    const int m_keepAlive;
    const QStringList m_subscriptions;

    mosquitto *m_mosq = nullptr;
    bool m_accepted = false;
    bool m_failed = false; // set by the callbacks: the link is to be dropped
    Problem m_failProblem = Problem::None;
    QString m_failDetail;
    Clock::time_point m_acceptDeadline;
    Clock::time_point m_acceptedAt;
    Clock::time_point m_retryAt;
    int m_retryMs = FirstRetryMs;
    std::map<int, InFlight> m_inFlight;
    std::set<int> m_doneEarly; // finished before mosquitto_publish() returned
    quint64 m_order = 0;
};

bool MqttClient::Worker::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->stopRequested;
}

void MqttClient::Worker::waitForPrevious()
{
    std::shared_ptr<Shared> previous;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        previous = std::move(m_shared->previous);
    }
    if (!previous)
        return;
    // What it could not hand over goes first: it is older than what came since.
    std::deque<Message> left;
    {
        std::unique_lock<std::mutex> lock(previous->mutex);
        previous->finishedCondition.wait_for(lock, std::chrono::milliseconds(StopWaitMs),
                                             [&] { return previous->finished; });
        left.swap(previous->events);
    }
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    for (Message &message : m_shared->events)
        left.push_back(std::move(message));
    while (int(left.size()) > MaxQueuedEvents) {
        left.pop_front();
        ++m_shared->counters.droppedEvents;
    }
    m_shared->events.swap(left);
}

void MqttClient::Worker::drainWake()
{
    quint64 count = 0;
    while (::read(m_shared->wakeFd, &count, sizeof count) > 0) {
    }
}

void MqttClient::Worker::waitForWake(int ms)
{
    pollfd wake{m_shared->wakeFd, POLLIN, 0};
    if (::poll(&wake, 1, ms) > 0)
        drainWake();
}

void MqttClient::Worker::run()
{
    waitForPrevious();
    m_retryAt = Clock::now();
    while (!stopRequested()) {
        if (!m_mosq) {
            if (Clock::now() < m_retryAt)
                waitForWake(msUntil(m_retryAt));
            else
                connectToBroker();
            continue;
        }
        handOver(MaxInFlight);
        int timeout = 1000; // the library's housekeeping (keep-alive) wants a call about every second
        if (!m_accepted)
            timeout = std::min(timeout, msUntil(m_acceptDeadline));
        serviceSocket(timeout);
        if (!m_failed && !m_accepted && Clock::now() >= m_acceptDeadline)
            fail(Problem::Silent, QString());
        if (m_failed)
            fail(m_failProblem, m_failDetail);
    }
    goodbye();
    report(false, Problem::None, QString());
}

void MqttClient::Worker::connectToBroker()
{
    m_failed = false;
    m_accepted = false;
    m_mosq = mosquitto_new(m_clientId.isEmpty() ? nullptr : m_clientId.constData(), true, this);
    if (!m_mosq) {
        fail(Problem::Unreachable, libraryError(MOSQ_ERR_NOMEM));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &Worker::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &Worker::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &Worker::onPublish);
    mosquitto_message_callback_set(m_mosq, &Worker::onMessage);
    if (!m_user.isEmpty())
        mosquitto_username_pw_set(m_mosq, m_user.constData(),
                                  m_password.isEmpty() ? nullptr : m_password.constData());
    if (!m_caFile.isEmpty()) {
        const int rc = mosquitto_tls_set(m_mosq, m_caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            // The library only says its arguments are wrong: the file is what is.
            fail(Problem::Tls, QString::fromLocal8Bit(m_caFile));
            return;
        }
    }
    if (!m_presence.isEmpty())
        mosquitto_will_set(m_mosq, m_presence.constData(), 5, "false", 1, true);
    // Blocks this thread (never the caller's) for the name look-up and the
    // TCP connection; the broker's acceptance comes later through the loop.
    const int rc = mosquitto_connect(m_mosq, m_host.constData(), m_port, m_keepAlive);
    if (rc != MOSQ_ERR_SUCCESS) {
        fail(Problem::Unreachable, libraryError(rc));
        return;
    }
    m_acceptDeadline = Clock::now() + std::chrono::milliseconds(AcceptTimeoutMs);
}

void MqttClient::Worker::destroyClient()
{
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
}

// Drops the link without a goodbye (the broker publishes the last will) and
// sets the next attempt after a back-off that doubles up to LastRetryMs; it
// starts again from FirstRetryMs only after a connection that stayed up for
// StableConnectionMs, so a broker that accepts and drops at once is not
// asked every second. Events the broker had not acknowledged go back to the
// front of the queue.
void MqttClient::Worker::fail(Problem problem, const QString &detail)
{
    if (m_accepted && Clock::now() - m_acceptedAt >= std::chrono::milliseconds(StableConnectionMs))
        m_retryMs = FirstRetryMs;
    destroyClient();
    m_accepted = false;
    m_failed = false;
    requeueUnacknowledged();
    m_retryAt = Clock::now() + std::chrono::milliseconds(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, int(LastRetryMs));
    report(false, problem, detail);
}

void MqttClient::Worker::requeueUnacknowledged()
{
    m_doneEarly.clear();
    std::vector<InFlight> unacknowledged;
    for (auto &entry : m_inFlight) {
        if (entry.second.isEvent)
            unacknowledged.push_back(std::move(entry.second));
    }
    m_inFlight.clear();
    std::sort(unacknowledged.begin(), unacknowledged.end(),
              [](const InFlight &a, const InFlight &b) { return a.order > b.order; });
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (InFlight &entry : unacknowledged) {
            if (int(m_shared->events.size()) >= MaxQueuedEvents) {
                ++m_shared->counters.droppedEvents;
                continue;
            }
            m_shared->events.push_front(std::move(entry.message));
        }
    }
}

bool MqttClient::Worker::publish(const Message &message, int qos, bool retain, bool isEvent)
{
    const QByteArray topic = message.topic.toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), int(message.payload.size()),
                                     message.payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A topic the library refuses (it checks what we built from a
        // device name) is dropped; anything else is the link failing.
        if (rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_MALFORMED_UTF8 || rc == MOSQ_ERR_PAYLOAD_SIZE) {
            qWarning().noquote() << "MQTT: not published to" << message.topic << "-" << libraryError(rc);
            return true;
        }
        m_failed = true;
        m_failProblem = Problem::Lost;
        m_failDetail = libraryError(rc);
        return false;
    }
    if (m_doneEarly.erase(mid) == 0)
        m_inFlight[mid] = InFlight{++m_order, isEvent, isEvent ? message : Message()};
    return true;
}

// Hands waiting messages to the library while fewer than the limit are in
// flight: states first (the latest of each), then events in order.
void MqttClient::Worker::handOver(int limit)
{
    if (!m_accepted || m_failed)
        return;
    const int room = limit - int(m_inFlight.size());
    if (room <= 0)
        return;
    std::vector<Message> states;
    std::vector<Message> events;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        while (int(states.size()) < room && !m_shared->dirty.empty()) {
            const auto first = m_shared->dirty.begin();
            states.push_back(Message{*first, m_shared->retained[*first]});
            m_shared->dirty.erase(first);
        }
        while (int(states.size() + events.size()) < room && !m_shared->events.empty()) {
            events.push_back(std::move(m_shared->events.front()));
            m_shared->events.pop_front();
        }
    }
    std::size_t state = 0;
    std::size_t event = 0;
    for (; state < states.size() && !m_failed; ++state)
        publish(states[state], 0, true, false);
    for (; event < events.size() && !m_failed; ++event)
        publish(events[event], 1, false, true);
    if (!m_failed)
        return;
    // The link failed on the way: what was not handed over waits again.
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    for (; state < states.size(); ++state)
        m_shared->dirty.insert(states[state].topic);
    for (std::size_t i = events.size(); i > event; --i)
        m_shared->events.push_front(std::move(events[i - 1]));
}

void MqttClient::Worker::serviceSocket(int timeoutMs)
{
    const int socket = mosquitto_socket(m_mosq);
    if (socket < 0) {
        m_failed = true;
        m_failProblem = Problem::Lost;
        return;
    }
    const short wanted = POLLIN | (mosquitto_want_write(m_mosq) ? POLLOUT : 0);
    pollfd fds[2] = {{socket, wanted, 0}, {m_shared->wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
        m_failed = true;
        m_failProblem = Problem::Lost;
        return;
    }
    if (fds[1].revents & POLLIN)
        drainWake();
    int rc = MOSQ_ERR_SUCCESS;
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP))
        rc = mosquitto_loop_read(m_mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && !m_failed && (fds[0].revents & POLLOUT))
        rc = mosquitto_loop_write(m_mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && !m_failed)
        rc = mosquitto_loop_misc(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS && !m_failed) {
        m_failed = true;
        m_failProblem = m_accepted ? Problem::Lost : Problem::Unreachable;
        m_failDetail = libraryError(rc);
    }
}

// A clean stop: what waits, then "false" on the presence topic and the
// DISCONNECT that tells the broker to forget the last will, written within
// GoodbyeMs.
void MqttClient::Worker::goodbye()
{
    if (m_mosq && m_accepted && !m_failed) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(GoodbyeMs);
        handOver(MaxInFlight + MaxQueuedEvents + int(m_shared->retained.size()));
        if (!m_presence.isEmpty() && !m_failed)
            publish(Message{QString::fromUtf8(m_presence), QByteArrayLiteral("false")}, 1, true, false);
        // The acknowledgements are read before the DISCONNECT: a socket
        // closed with unread input is reset, and the reset can overtake the
        // DISCONNECT, which the broker then takes for a vanished client.
        while (!m_failed && !m_inFlight.empty() && Clock::now() < deadline)
            serviceSocket(msUntil(deadline));
        if (!m_failed)
            mosquitto_disconnect(m_mosq);
        while (!m_failed && mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq) &&
               Clock::now() < deadline) {
            serviceSocket(msUntil(deadline));
        }
    }
    destroyClient();
    // Events the broker did not acknowledge wait for the next start.
    requeueUnacknowledged();
}

void MqttClient::Worker::report(bool connected, Problem problem, const QString &detail)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (connected)
        ++m_shared->counters.connections;
    if (!m_shared->receiver)
        return;
    MqttClient *receiver = m_shared->receiver;
    const quint64 generation = m_shared->generation;
    QMetaObject::invokeMethod(
        receiver,
        [receiver, generation, connected, problem, detail] {
            receiver->onWorkerReport(generation, connected, problem, detail);
        },
        Qt::QueuedConnection);
}

void MqttClient::Worker::onConnect(mosquitto *, void *self, int rc)
{
    auto *worker = static_cast<Worker *>(self);
    if (rc != 0) {
        worker->m_failed = true;
        worker->m_failProblem = Problem::Refused;
        worker->m_failDetail = QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    worker->m_accepted = true;
    worker->m_acceptedAt = Clock::now();
    if (!worker->m_presence.isEmpty())
        worker->publish(Message{QString::fromUtf8(worker->m_presence), QByteArrayLiteral("true")}, 1, true,
                        false);
    {
        // Everything retained goes out again: a broker started afresh has
        // lost it, and a consumer may have missed a change while we were away.
        std::lock_guard<std::mutex> lock(worker->m_shared->mutex);
        for (const auto &entry : worker->m_shared->retained)
            worker->m_shared->dirty.insert(entry.first);
    }
    for (const QString &filter : worker->m_subscriptions)
        mosquitto_subscribe(worker->m_mosq, nullptr, filter.toUtf8().constData(), 0);
    worker->report(true, Problem::None, QString());
}

void MqttClient::Worker::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *worker = static_cast<Worker *>(self);
    if (rc == 0) // our own DISCONNECT went out
        return;
    // After a refused CONNACK the library reports the disconnection too; the
    // refusal is what the operator has to mend, so it stays the cause.
    if (worker->m_failed && worker->m_failProblem == Problem::Refused)
        return;
    worker->m_failed = true;
    if (rc == MOSQ_ERR_KEEPALIVE) {
        worker->m_failProblem = Problem::Silent;
        worker->m_failDetail.clear();
        return;
    }
    worker->m_failProblem = worker->m_accepted ? Problem::Lost : Problem::Unreachable;
    worker->m_failDetail = libraryError(rc);
}

void MqttClient::Worker::onPublish(mosquitto *, void *self, int mid)
{
    auto *worker = static_cast<Worker *>(self);
    if (worker->m_inFlight.erase(mid) == 0)
        worker->m_doneEarly.insert(mid);
    std::lock_guard<std::mutex> lock(worker->m_shared->mutex);
    ++worker->m_shared->counters.sent;
}

// Handed to the client's thread as it comes; the topic and payload are
// copied, what they say is the receiver's to check.
void MqttClient::Worker::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *worker = static_cast<Worker *>(self);
    if (!message->topic || message->payloadlen < 0)
        return;
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    std::lock_guard<std::mutex> lock(worker->m_shared->mutex);
    MqttClient *receiver = worker->m_shared->receiver;
    if (!receiver)
        return;
    const quint64 generation = worker->m_shared->generation;
    QMetaObject::invokeMethod(
        receiver,
        [receiver, generation, topic, payload] { receiver->onWorkerMessage(generation, topic, payload); },
        Qt::QueuedConnection);
}

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    initLibrary();
}

MqttClient::~MqttClient()
{
    stop();
}

void MqttClient::start(const Options &options)
{
    auto shared = std::make_shared<Shared>();
    shared->receiver = this;
    shared->generation = ++m_generation;
    shared->counters = m_lastCounters;
    if (m_shared) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        shared->counters = m_shared->counters;
    }
    // The events that wait stay with the worker stopped here, which may
    // still hand them over in its goodbye; the new one takes what is left.
    stop(false);
    shared->previous = std::move(m_previous);
    m_shared = shared;
    auto worker = std::make_shared<Worker>(shared, options);
    m_thread = std::thread([worker, shared] {
        worker->run();
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->finished = true;
        shared->finishedCondition.notify_all();
    });
}

void MqttClient::stop(bool waitForGoodbye)
{
    if (m_shared) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stopRequested = true;
        m_shared->receiver = nullptr;
        m_lastCounters = m_shared->counters;
        m_shared->wake();
    }
    if (m_thread.joinable()) {
        // The thread ends after its goodbye; the next start follows it.
        m_thread.detach();
        m_previous = std::move(m_shared);
    }
    m_shared.reset();
    if (waitForGoodbye && m_previous) {
        // Bounded: a goodbye takes GoodbyeMs at most; only a thread still in
        // the system's connect outlasts the wait, and it ends by itself.
        std::unique_lock<std::mutex> lock(m_previous->mutex);
        if (!m_previous->finishedCondition.wait_for(lock, std::chrono::milliseconds(StopWaitMs),
                                                    [this] { return m_previous->finished; }))
            qWarning("MQTT: the broker connection is still being set up; it is left to end on its own");
    }
    if (m_connected) {
        m_connected = false;
        emit connectedChanged(false);
    }
}

bool MqttClient::isRunning() const
{
    return m_shared != nullptr;
}

bool MqttClient::isConnected() const
{
    return m_connected;
}

MqttClient::Problem MqttClient::problem() const
{
    return m_problem;
}

QString MqttClient::problemDetail() const
{
    return m_problemDetail;
}

void MqttClient::publishRetained(const QString &topic, const QByteArray &payload)
{
    if (!m_shared)
        return;
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    QByteArray &kept = m_shared->retained[topic];
    if (kept == payload && !kept.isNull())
        return;
    kept = payload;
    m_shared->dirty.insert(topic);
    m_shared->wake();
}

void MqttClient::publishEvent(const QString &topic, const QByteArray &payload)
{
    if (!m_shared)
        return;
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (int(m_shared->events.size()) >= MaxQueuedEvents) {
        m_shared->events.pop_front();
        ++m_shared->counters.droppedEvents;
    }
    m_shared->events.push_back(Message{topic, payload});
    m_shared->wake();
}

MqttClient::Counters MqttClient::counters() const
{
    if (!m_shared)
        return m_lastCounters;
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->counters;
}

void MqttClient::onWorkerReport(quint64 generation, bool connected, Problem problem, const QString &detail)
{
    if (generation != m_generation || !m_shared)
        return;
    if (m_problem != problem || m_problemDetail != detail) {
        m_problem = problem;
        m_problemDetail = detail;
        emit problemChanged();
    }
    if (m_connected != connected) {
        m_connected = connected;
        emit connectedChanged(connected);
    }
}

void MqttClient::onWorkerMessage(quint64 generation, const QString &topic, const QByteArray &payload)
{
    if (generation == m_generation && m_shared)
        emit messageReceived(topic, payload);
}
