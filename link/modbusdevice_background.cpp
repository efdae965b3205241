#include "link/modbusdevice.h"

#include <QCoreApplication>
#include <QModbusClient>
#include <QModbusReply>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <iterator>

// Work nobody waits for: the link set-up and the card's status poll. Each
// request goes out from the handler of the previous reply, never from a wait
// in an event loop, so a controller that falls silent costs only its own
// device time. A sequence belongs to the link it started on: when that link
// drops or the device is released, the rest of it is abandoned, and a reply
// that still arrives afterwards is ignored.

// One timer bounds the request on the wire of every device: Qt keeps a
// thread's timers in one list that each start, stop and expiry walks, and the
// client's own time-out timer of every request walked a thousand devices'
// bounds. The bound is a safety net for a reply the client never finishes,
// so checking it every CheckMs is soon enough.
class StepWatch : public QObject
{
public:
    static constexpr int CheckMs = 100;

    static StepWatch *instance()
    {
        static QPointer<StepWatch> watch;
        if (!watch)
            watch = new StepWatch(QCoreApplication::instance());
        return watch;
    }
    void watch(ModbusDevice *device)
    {
        m_devices.insert(device);
        if (!m_timer.isActive() && QCoreApplication::instance())
            m_timer.start();
    }
    void unwatch(ModbusDevice *device)
    {
        m_devices.remove(device);
        if (m_devices.isEmpty())
            m_timer.stop();
    }

private:
    explicit StepWatch(QObject *parent) : QObject(parent)
    {
        m_timer.setInterval(CheckMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            // A device's overdue step may end others' sequences, or devices.
            const QSet<ModbusDevice *> devices = m_devices;
            for (ModbusDevice *device : devices) {
                if (m_devices.contains(device))
                    device->onStepOverdue();
            }
        });
    }

    QTimer m_timer;
    QSet<ModbusDevice *> m_devices;
};

ModbusDevice::Step ModbusDevice::readStep(int address, int count, StepHandler done)
{
    return {QModbusDataUnit(QModbusDataUnit::HoldingRegisters, address, quint16(count)), false,
            std::move(done)};
}

ModbusDevice::Step ModbusDevice::coilStep(int address, StepHandler done)
{
    return {QModbusDataUnit(QModbusDataUnit::Coils, address, 1), false, std::move(done)};
}

ModbusDevice::Step ModbusDevice::writeStep(int address, const QVector<quint16> &values, StepHandler done)
{
    return {QModbusDataUnit(QModbusDataUnit::HoldingRegisters, address, values), true, std::move(done)};
}

void ModbusDevice::runInBackground(Steps steps, std::function<void(bool)> finished)
{
    Q_ASSERT(!m_background);
    m_background = true;
    m_steps = std::move(steps);
    m_backgroundFinished = std::move(finished);
    m_stepLink = m_linkGeneration;
    m_stepStation = m_record.Address;
    sendNextStep();
}

void ModbusDevice::insertSteps(Steps steps)
{
    m_steps.insert(m_steps.begin(), std::make_move_iterator(steps.begin()),
                   std::make_move_iterator(steps.end()));
}

void ModbusDevice::skipRemainingSteps()
{
    m_steps.clear();
}

bool ModbusDevice::canSendInBackground() const
{
    return linkUp() && !m_releasePending && m_stepLink == m_linkGeneration;
}

void ModbusDevice::sendNextStep()
{
    const quint64 token = m_stepToken;
    // Replies that come back finished at once are handled here, in turn; the
    // others continue in onStepReply().
    while (m_background && token == m_stepToken) {
        if (m_steps.empty()) {
            ++m_stepToken;
            m_background = false;
            const auto finished = std::move(m_backgroundFinished);
            m_backgroundFinished = nullptr;
            if (finished)
                finished(true);
            return;
        }
        if (!canSendInBackground()) {
            abandonBackground();
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_stepDone = std::move(step.done);
        const bool write = step.write;
        if (QModbusReply *reply = send(step.request, write, m_stepStation)) {
            m_stepReply = reply;
            connect(reply, &QModbusReply::finished, this,
                    [this, token, write] { onStepReply(token, write); });
            m_stepDeadline = QDeadlineTimer(waitBoundMs());
            StepWatch::instance()->watch(this);
            return;
        }
        // Refused, or finished at once: as for the waiting transactions, a
        // read has no result then.
        finishStep(token, nullptr, QModbusDataUnit());
    }
}

void ModbusDevice::onStepReply(quint64 token, bool write)
{
    if (token != m_stepToken || !m_stepReply)
        return;
    QModbusReply *reply = m_stepReply;
    m_lastResult = reply->error();
    finishStep(token, reply, answerOf(reply, write));
    if (token == m_stepToken)
        sendNextStep();
}

void ModbusDevice::onStepOverdue()
{
    if (!m_background || !m_stepReply || !m_stepDeadline.hasExpired())
        return;
    // The client never finished the reply: it counts as a time-out.
    QModbusReply *reply = m_stepReply;
    disconnect(reply, nullptr, this, nullptr);
    m_lastResult = QModbusDevice::TimeoutError;
    const quint64 token = m_stepToken;
    finishStep(token, reply, QModbusDataUnit());
    if (token == m_stepToken)
        sendNextStep();
}

// Runs the handler of the request that just ended. The reply is deleted later:
// this may run inside its finished signal.
void ModbusDevice::finishStep(quint64 token, QModbusReply *reply, const QModbusDataUnit &unit)
{
    StepWatch::instance()->unwatch(this);
    m_stepReply = nullptr;
    if (reply)
        reply->deleteLater();
    const StepHandler done = std::move(m_stepDone);
    m_stepDone = nullptr;
    if (done && token == m_stepToken)
        done(unit);
}

void ModbusDevice::abandonBackground()
{
    if (!m_background)
        return;
    ++m_stepToken;
    m_background = false;
    m_steps.clear();
    m_stepDone = nullptr;
    StepWatch::instance()->unwatch(this);
    if (m_stepReply) {
        disconnect(m_stepReply, nullptr, this, nullptr);
        m_stepReply->deleteLater();
        m_stepReply = nullptr;
    }
    m_lastResult = NoLink;
    const auto finished = std::move(m_backgroundFinished);
    m_backgroundFinished = nullptr;
    if (finished)
        finished(false);
}
