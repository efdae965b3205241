#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

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
