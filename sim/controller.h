#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

// The simulated CNC controller: its holding registers and coils as the
// controller sees them, the data blocks that descriptors install, the status
// block, the transfer window and a store of programs and files. It answers
// Modbus PDUs; TcpServer and RtuServer carry them over a socket or a serial line.
namespace sim {

struct AxisConfig
{
    quint16 channel = 1;  // channel the axis belongs to, counted from 1
    quint16 nameCode = 0; // axis name code (1 X, 2 Y, 3 Z, ..., 103 X3, 166 XB)
    quint16 decimals = 3; // decimal places of the coordinates
    quint32 speedParameter = 60000;
    qint32 absolute = 0; // in units of 10^-decimals
    qint32 machine = 0;
    qint32 speed = 0;  // raw speed value
    qint32 torque = 0; // tenths
};

enum class RunState { Idle, Running, Alarm };

// One request as the controller received it (for tests that check the wire).
struct Request
{
    quint8 station = 0;
    quint8 function = 0; // 0x01 read coils, 0x03 read holding, 0x10 write multiple
    int address = 0;
    int count = 0;
    QVector<quint16> values; // written registers
};

class Controller : public QObject
{
    Q_OBJECT

public:
    explicit Controller(QObject *parent = nullptr);
    ~Controller() override;

    // Station address; a request to another address gets no answer.
    void setStationAddress(quint8 address);
    quint8 stationAddress() const;

    // Static data. Defaults: three axes X, Y, Z on channel 1, 3 decimals,
    // one channel, speed scale 10000, no state coils (register mode).
    void setAxes(const QVector<AxisConfig> &axes);
    QVector<AxisConfig> axes() const;
    void setChannelCount(quint16 count);
    void setSpeedScale(quint32 scale);
    void setStateCoils(int runCoil, int alarmCoil, int idleCoil); // coil numbers, 0 = none

    // Live data.
    void setRunState(RunState state);
    RunState runState() const;
    // Raw flags for word 4 of the status block, or -1 to derive them from the
    // run state (0x80 running, 0x100 alarm).
    void setStatusFlags(int flags);
    // Whether a request read the run state: a holding-register read covering
    // the flags word of an installed channel-state block, or a coil read
    // covering a state coil.
    bool readsRunState(const Request &request) const;
    void setPieceCount(quint32 count);
    void setPieceTarget(quint32 target);
    void setCycleTime(quint32 tenths);
    void setRunTime(quint32 tenths);
    void setProgramNumber(quint16 number);
    void setWorkMode(quint8 mode);
    void setInputWord(int index, quint16 word);
    void setOutputWord(int index, quint16 word);
    void setAxisValues(int axis, qint32 absolute, qint32 machine, qint32 speed, qint32 torque);

    // Installation state (survives PC disconnects).
    bool signatureInstalled() const;
    quint16 signatureChannel() const;
    void resetInstallation(); // a controller fresh from the factory

    // Program and file store.
    void setProgram(int number, const QByteArray &text, const QDate &date = QDate(2023, 5, 17));
    bool hasProgram(int number) const;
    QByteArray program(int number) const;
    QList<int> programNumbers() const;
    void removeProgram(int number);
    void setFile(const QString &name, const QByteArray &bytes);
    void removeFile(const QString &name);
    bool hasFile(const QString &name) const;
    QByteArray file(const QString &name) const;
    QStringList fileNames() const;
    // Programs from files named O<number>[.ext], every other file by its name.
    bool loadFolder(const QString &path);

    // Faults, for tests.
    void setExceptionAt(int address, quint8 exceptionCode = 0x02); // requests touching address
    void clearExceptionAt(int address);
    void setShortRead(int address, int count); // reads starting at address answer count registers
    void setChunkByteCount(int byteCount);     // >= 0: every data chunk reports this byte count
    void setEndlessDirectory(bool endless);    // the directory never ends
    void setEndlessText(bool endless);         // read transfers never send the empty chunk
    void setTextEndsAtChunk(int chunk);        // > 0: that chunk of a read reports byte count 0
    // The next `times` opens for reading of that program or file are refused
    // with the exception code.
    void refuseOpen(const QString &name, quint8 exceptionCode, int times = 1);
    void clearFaults();
    // The exception answering the open of a text the controller does not hold
    // (the protocol leaves it open): 3 by default.
    void setAbsentException(quint8 exceptionCode);

    // Demo animation: axes move, counters tick, IO toggles.
    void setAnimated(bool animated);
    bool isAnimated() const;
    void animationStep();
    // Where in the demo cycle the next step is (in steps of 100 ms).
    void setAnimationTicks(quint32 ticks);

    // Takes every setting of the model: static and live data, installation,
    // faults and the program store (shared until either side changes it). The
    // wire log and the animation's timer stay this controller's own.
    void copySetUpFrom(const Controller &model);

    // Wire log. It keeps at most the limit's newest requests (100,000 by
    // default), so a PC looping on an endless fault cannot exhaust memory here.
    QVector<Request> requests() const;
    void clearRequests();
    void setRequestLogLimit(int limit);

    // Answers one Modbus request PDU (function code first). Returns the
    // response PDU, an exception response, or an empty array for no answer.
    QByteArray handlePdu(quint8 station, const QByteArray &pdu);

signals:
    void requestHandled(const sim::Request &request);

private:
    struct Private;
    Private *d;
};

} // namespace sim

Q_DECLARE_METATYPE(sim::Request)
