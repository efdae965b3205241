#pragma once

#include "config/devicerecord.h"
#include "link/devicestatus.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QModbusDataUnit>
#include <QModbusDevice>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>

class QAbstractSocket;
class QLockFile;
class QModbusClient;
class QModbusReply;

// The link to one CNC controller: one Modbus client (TCP or RTU), the link
// set-up, the status poll, and the operations the views and the upload run.
//
// Work nobody waits for (the link set-up, the card's status poll) runs in the
// background: each request goes out from the previous reply's handler, so a
// controller that falls silent holds up only its own device. The operations
// whose caller needs the answer at once wait for each reply in the device's
// own event loop. Either way one device runs one sequence at a time: re-entry
// is refused (9, or the stored state code for a poll), never queued.
//
// Sources: modbusdevice.cpp (connection and waiting transactions),
// modbusdevice_background.cpp (background requests),
// modbusdevice_registers.cpp (register map, set-up, status, position and IO),
// modbusdevice_transfer.cpp (programs, files, directory, delete).
class ModbusDevice : public QObject
{
    Q_OBJECT

public:
    explicit ModbusDevice(QObject *parent = nullptr);
    ~ModbusDevice() override;

    // The device's identity. Type and IP are read at every connection attempt;
    // the station Address when an operation, a poll or the set-up starts, and
    // every request of it goes to that station.
    DeviceRecord record() const;
    void setRecord(const DeviceRecord &record);

    // Link control (the device card).
    bool isReady() const;
    void open();
    void tryConnect();
    void close();
    // The status poll in the background: false, and nothing sent, while the
    // device is not ready or busy. pollFinished() brings the answer.
    bool startStatePoll();
    // The status poll for a caller that needs the state at once: waits in the
    // device's event loop until the poll is over. Returns the state code.
    int pollState();

    // Controller operations; each returns a Result code.
    int readPosition(PositionStatus *status);
    int readIo(IoStatus *status);
    int readProgramList(QList<ProgramEntry> *list, bool reload);
    // Texts as the bytes that travel: a read brings every byte the controller
    // sent (zero bytes and all), a write sends the bytes as they are.
    int readProgram(QByteArray *bytes, int number);
    int readSystemFile(QByteArray *bytes, const QString &name);
    int writeProgram(const QByteArray &bytes, int number, const TransferProgress &progress = {});
    int writeSystemFile(const QByteArray &bytes, const QString &name, const TransferProgress &progress = {});
    int deleteProgram(int number);

    static QString axisLabel(quint16 code);

    // With counters wanted, a background status poll also reads the counter
    // block (piece count, target, program in run) right after the state, so
    // the counts are exact at every change of state; while the state holds,
    // every CounterIntervalMs. Asked for by the observers that record or
    // publish them; on a serial line every request counts.
    void setCountersWanted(bool wanted);
    static constexpr int CounterIntervalMs = 2000;
    bool countersWanted() const;
    // The state code and the counters as last read (unknown ones as -1 and
    // an empty program until a read brought them).
    DeviceSnapshot snapshot() const;

    // Polls in a row that went unanswered (a request timed out) before the
    // device shows connecting and opens its link afresh.
    static constexpr int SilentPollsBeforeReconnect = 3;
    // Time from the link coming up to its set-up.
    static constexpr int SetUpDelayMs = 200;

    // Lifetime across nested event loops: true while a transaction of this
    // device waits in its event loop. releaseWhenIdle() deletes the device as
    // soon as none does (at once, deferred, when none waits now). A device is
    // never destroyed while it waits, so nothing after a wait checks whether
    // it still exists; the destructor asserts that rule.
    bool isWaiting() const;
    void releaseWhenIdle();
    // The longest one request can keep the device busy: the link's time-out
    // x (retries + 1), plus a margin for timer slack.
    int waitBoundMs() const;

    // State, for the card, the views and the tests.
    bool isBusy() const;
    int stateCode() const;
    quint16 channelCount() const;
    quint16 channel() const;
    quint8 axisCount() const;
    QList<quint8> axisList() const;
    QList<int> decimals() const;
    quint32 speedScale() const;
    QList<float> speedDivisors() const;
    bool statusCoilMode() const;
    int runCoil() const;
    int alarmCoil() const;
    int idleCoil() const;
    PositionStatus positionCache() const;
    QList<ProgramEntry> programDirectory() const;
    QModbusClient *client() const;
    int lastResult() const;
    // The exception code of the last reply when it was an exception response
    // (lastResult() is a protocol error), else 0.
    int lastException() const { return m_lastException; }
    // The lock file one controller's transfers take, from the link's address
    // (host and port, or serial line) and the station.
    QString transferLockPath() const;

signals:
    // A status poll is over and the device holds this state code. Not emitted
    // for a poll whose link dropped or that was abandoned with the device.
    void pollFinished(int stateCode);
    // An operation on the controller's texts or programs ran (it was admitted,
    // so requests went out), or a write or delete was refused as not ready or
    // not idle; emitted once the device is no longer busy with it.
    void operationFinished(const DeviceEvent &event);

private:
    // Sets busy for one public operation, notes the link it runs on, and
    // clears busy on every way out. Scopes nest: the outermost one notes the
    // link and clears busy.
    class BusyScope
    {
    public:
        explicit BusyScope(ModbusDevice *device);
        ~BusyScope();
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;

    private:
        ModbusDevice *m_device;
    };

    // Holds the controller's transfer lock (QLockFile, shared by every
    // process of the program) for one transfer; taken inside a BusyScope.
    // While another process holds it, it is tried again every
    // BusyRetry::IntervalMs in the device's event loop, as a reply is waited
    // for, until the wait bound has passed. Scopes nest: the outermost one
    // takes and releases the lock, so a write and its check hold it as one.
    class TransferLock
    {
    public:
        explicit TransferLock(ModbusDevice *device);
        ~TransferLock();
        TransferLock(const TransferLock &) = delete;
        TransferLock &operator=(const TransferLock &) = delete;
        // 0 once held; Locked, or OpenFailed when the link went meanwhile.
        int result() const { return m_result; }

    private:
        ModbusDevice *m_device;
        int m_result = Result::Ok;
    };

    // The checks every controller operation starts with, in this order: not
    // ready 2, busy 9, and for the writes and the delete a controller that is
    // not idle 3. 0 when the operation may run.
    int refusal(bool needsIdle = false) const;
    // The same for an operation a caller waits for: when only the card's
    // status poll holds the device, it first waits for the poll to end (one
    // request's bound at most), so a user's read is not refused for work the
    // user never sees.
    int admit(bool needsIdle = false);
    // A read succeeded when its unit has a register type and an address; it
    // may still hold fewer values than asked for.
    static bool isValidUnit(const QModbusDataUnit &unit);

    // modbusdevice.cpp
    void openClient(int type);
    void onStateChanged(QModbusDevice::State state);
    void onErrorOccurred(QModbusDevice::Error error);
    void linkDropped();
    void reopenLink();
    void onSetUpDue();
    // True once the link the running sequence (operation or set-up) started
    // on has dropped: its requests then fail instead of going out on a newer
    // link before that one's set-up.
    bool linkChanged() const;
    bool lastRequestTimedOut() const;
    int writeRegisters(int address, const QVector<quint16> &values);
    QModbusDataUnit readRegisters(int address, int count);
    QModbusDataUnit readCoils(int address, int count);
    // Waits in the device's loop until the reply finishes, its link drops or
    // the bound (time-out x (retries + 1) plus a margin) passes; false unless
    // it finished.
    bool waitForReply(QModbusReply *reply);
    // Runs the device's loop until done() holds or the bound passes.
    void waitInLoop(const std::function<bool()> &done, int boundMs);
    void retireClient();
    bool linkUp() const;
    // False while no request may go out: link down, a wait already on the
    // stack (the device's loop cannot nest), the device being released, or the
    // link changed since the running sequence started.
    bool canSend() const;
    QModbusDataUnit readUnit(QModbusDataUnit::RegisterType type, int address, int count);
    // One request, waited for; the result of a read, an invalid unit for a
    // write or a failure (lastResult() tells).
    QModbusDataUnit transact(const QModbusDataUnit &request, bool write);
    // Hands one request for this station to the client and puts it on the
    // wire. Null when the client refused it or finished it on the spot
    // (lastResult() tells why).
    QModbusReply *send(const QModbusDataUnit &request, bool write, int station);
    // What the client handed out for a request: null when it refused it or
    // finished it on the spot (lastResult() tells why), else put on the wire.
    QModbusReply *sent(QModbusReply *reply);
    // Waits for a reply sent: false (lastResult() a time-out, the reply left
    // to the client, which may still finish it) when it did not come within
    // the link's bound. Otherwise lastResult() and lastException() are the
    // reply's, and the caller deletes it.
    bool awaitReply(QModbusReply *reply);
    // What a finished reply answers: the unit of a read that succeeded, an
    // invalid unit for a write or a failure.
    static QModbusDataUnit answerOf(const QModbusReply *reply, bool write);
    void sendAtOnce();

    // A request the client refuses (no reply object) fails with this code;
    // a request on a link that is down, closed or being released fails with
    // ConnectionError without being sent. Callers only test for zero.
    static constexpr int RefusedRequest = QModbusDevice::UnknownError;
    static constexpr int NoLink = QModbusDevice::ConnectionError;

    // One request of background work and what to do with its answer: done()
    // gets the unit a read returned (invalid when the read failed, and for
    // every write); lastResult() tells how the request ended.
    using StepHandler = std::function<void(const QModbusDataUnit &)>;
    struct Step
    {
        QModbusDataUnit request; // the registers or coils to read, or the values to write
        bool write = false;
        StepHandler done;
    };
    using Steps = std::deque<Step>;
    static Step readStep(int address, int count, StepHandler done = {});
    static Step coilStep(int address, StepHandler done);
    static Step writeStep(int address, const QVector<quint16> &values, StepHandler done = {});

    // modbusdevice_background.cpp
    // Sends the steps one after the other on the current link. finished(true)
    // runs after the last one; finished(false) when the work is abandoned
    // (the link dropped or changed, the device is being released). One
    // background sequence at a time.
    void runInBackground(Steps steps, std::function<void(bool completed)> finished);
    // From a step's handler: these steps come next, or none at all.
    void insertSteps(Steps steps);
    void skipRemainingSteps();
    void abandonBackground();
    void sendNextStep();
    void onStepReply(quint64 token, bool write);
    friend class StepWatch;
    void onStepOverdue();
    void finishStep(quint64 token, QModbusReply *reply, const QModbusDataUnit &unit);
    bool canSendInBackground() const;

    // modbusdevice_registers.cpp
    void setUpLink();
    void finishSetUp(bool completed);
    Steps globalBlockSteps() const;
    Steps channelBlockSteps() const;
    void alignAxisData();
    Steps coilPollSteps();
    Steps statusBlockPollSteps();
    Step statusReadStep();
    Step counterReadStep();
    void noteCounters(const QVector<quint16> &words);
    // The poll's first unanswered request ends it: the next ones would only
    // wait as long again.
    void endPollUnanswered();
    void finishPoll(bool completed);
    bool countersDue() const;
    void notePoll(bool answered);

    // modbusdevice_transfer.cpp
    int receiveTransfer(const QVector<quint16> &openCommand, QByteArray *bytes);
    int sendTransfer(const QByteArray &bytes, const QVector<quint16> &openCommand,
                     const TransferProgress &progress);
    // An admitted operation on a text, told with operationFinished() once over.
    int toldRefusal(DeviceEvent::Kind kind, const QString &target, int refused);
    int readText(DeviceEvent::Kind kind, const QString &target, const QVector<quint16> &openCommand,
                 QByteArray *bytes);
    int writeText(DeviceEvent::Kind kind, const QString &target, const QByteArray &bytes,
                  const QVector<quint16> &openCommand, const QVector<quint16> &readBackCommand,
                  const TransferProgress &progress);
    // modbusdevice_lock.cpp
    // Reads back what was just written and compares the bytes: 0, or
    // VerifyFailed when the text cannot be read or differs.
    int verifyWritten(const QByteArray &bytes, const QVector<quint16> &readBackCommand);

    DeviceRecord m_record = DeviceRecord::newDevice();
    int m_state = 0;
    bool m_ready = false;
    bool m_busy = false;
    int m_busyScopes = 0;
    std::unique_ptr<QLockFile> m_transferLock; // held while m_lockScopes > 0
    int m_lockScopes = 0;
    quint16 m_channelCount = 1;
    quint16 m_channel = 0;
    quint8 m_axisCount = 1;
    bool m_statusCoilMode = false;
    int m_runCoil = 0;
    int m_alarmCoil = 0;
    int m_idleCoil = 0;
    QModbusClient *m_client = nullptr;        // owned
    QPointer<QAbstractSocket> m_clientSocket; // the TCP client's socket
    int m_clientType = -1;                    // the Type m_client was made for
    QList<QModbusClient *> m_retiredClients;  // closed while a transaction waited
    PositionStatus m_position;
    QList<ProgramEntry> m_directory;
    QList<quint8> m_axisList;
    QList<int> m_decimals;
    quint32 m_speedScale = 10000;
    QList<float> m_speedDivisors;
    QEventLoop m_loop;
    int m_lastResult = 0;
    int m_lastException = 0;
    int m_waitDepth = 0;
    QTimer m_waitBound; // bounds the wait in m_loop
    bool m_releasePending = false;
    quint64 m_linkGeneration = 0; // bumped on every disconnect
    quint64 m_sequenceLink = 0;   // the generation the running operation started on
    int m_sequenceStation = 0;    // the station the running operation started with
    QTimer m_setUpTimer;          // single shot, started when the link comes up
    int m_silentPolls = 0;
    bool m_countersWanted = false;
    bool m_countersKnown = false; // the counter block was read at least once
    QElapsedTimer m_countersRead; // since the last background read of them
    int m_countersState = -1;     // the state at that read

    // Background work (modbusdevice_background.cpp).
    bool m_background = false; // a sequence runs
    Steps m_steps;             // still to send
    StepHandler m_stepDone;    // for the request on the wire
    QPointer<QModbusReply> m_stepReply;
    std::function<void(bool)> m_backgroundFinished;
    quint64 m_stepToken = 0; // bumped when a sequence ends: late replies are ignored
    quint64 m_stepLink = 0;  // the link generation the sequence runs on
    int m_stepStation = 0;   // the station the sequence started with
    bool m_polling = false;  // the status poll runs (and holds busy)
    bool m_pollAnswered = true;
    int m_pollState = -1; // the channels' answers of the running poll, worst first; -1 before the first
    // Past it, the request on the wire whose reply never finished counts as a time-out.
    QDeadlineTimer m_stepDeadline;
};
