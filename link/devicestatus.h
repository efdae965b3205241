#pragma once

#include "link/protocol.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <functional>

// Position and machining status of one controller, as the position view shows it.
// The five lists have one entry per axis of the device's channel, in order.
struct PositionStatus
{
    quint8 state = 0;
    QString workMode = QStringLiteral("编辑");
    qint32 pieceCount = 0;
    qint32 pieceTarget = 1000;
    QString cycleTime = QStringLiteral("0:0:0");
    QString runTime = QStringLiteral("0:0:0");
    QString programName = QStringLiteral("O0000");
    QStringList axisNames;
    QStringList absolute;
    QStringList machine;
    QList<int> speed;
    QList<int> torque;
};

// Input and output signal words; signal k is bit k % 16 of word k / 16.
struct IoStatus
{
    quint8 model = 0;
    QVector<quint16> inputs{0};
    QVector<quint16> outputs{0};
};

// One line of the controller's program directory.
struct ProgramEntry
{
    QString name; // O0001
    QString date; // 2023/05/17
    QString size; // 1534B
};

inline bool operator==(const ProgramEntry &a, const ProgramEntry &b)
{
    return a.name == b.name && a.date == b.date && a.size == b.size;
}

// What one watched controller shows: the state as its card shows it and,
// while an observer asks for them, the counters its background poll reads.
struct DeviceSnapshot
{
    int state = DeviceState::NotConnected; // 0..4, as the card shows it
    QString program;                       // "O0001"; empty while not read
    qint32 pieces = -1;                    // -1 while not read
    qint32 target = -1;
};

inline bool operator==(const DeviceSnapshot &a, const DeviceSnapshot &b)
{
    return a.state == b.state && a.program == b.program && a.pieces == b.pieces && a.target == b.target;
}

inline bool operator!=(const DeviceSnapshot &a, const DeviceSnapshot &b)
{
    return !(a == b);
}

// One operation the program ran on a controller, admitted by the device (so
// something went over the wire), with its outcome.
struct DeviceEvent
{
    enum Kind { ReadProgram, ReadFile, WriteProgram, WriteFile, DeleteProgram };
    Kind kind = WriteProgram;
    QString target;          // "O0012", "USRIO.TXT"
    int result = Result::Ok; // the operation's result code
    qint64 bytes = 0;        // the text's size in bytes (0 for a delete)
};

Q_DECLARE_METATYPE(DeviceSnapshot)
Q_DECLARE_METATYPE(DeviceEvent)

// How far a text being written has gone, after each chunk the controller took:
// bytes sent of the whole. Called while the write waits in the device's event
// loop, so whatever it updates may have gone meanwhile; the caller guards it.
using TransferProgress = std::function<void(qint64 done, qint64 total)>;
