#pragma once

#include "web/board.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <atomic>

namespace Web {

// A device of this program's fleet as the board and the history know it.
struct RecordedDevice
{
    QString id;       // the board's (the broker's topic ID)
    QString name;     // the device's name
    QString recordId; // its Id in Configure.xml; empty for none
};

// What the history file recorded of the devices in [day, until), by the
// board's IDs, for Board::loadDay(). Empty, and nothing said, when the file
// is missing or cannot be read: the board then counts from its own start.
// The file is read with a connection of its own, so this may run in any
// thread; it stops reading early once `cancelled` is set. A device recorded
// with an Id is found by it, whatever name it is shown by in the file.
QHash<QString, Board::PastDay> readPastDay(const QString &file, const QVector<RecordedDevice> &devices,
                                           qint64 day, qint64 until, const std::atomic_bool &cancelled);

} // namespace Web
