#pragma once

#include "link/devicestatus.h"

#include <QDateTime>
#include <QString>

// The English words and times the program writes for other programs: the
// history's CSV and operation log, the broker's messages, the shop board.
// They are the same in every language of the window, since scripts match them.
namespace ExportWords {

// A device state code as files name it: "running", "alarm", "idle",
// "connecting", "not connected"; "unknown" for any other code.
QString state(int code);
// As the broker names it: the same, but "offline" for not connected and for
// any other code.
QString brokerState(int code);

// An operation on a controller: "read program", "read file", "write program",
// "write file", "delete program".
QString operation(DeviceEvent::Kind kind);
// As the broker names it: "read-program", … , "delete-program".
QString brokerOperation(DeviceEvent::Kind kind);
// The word of an operation that changed the controller (a write or a
// delete), which the history and the audit keep; empty for a read.
QString changeOperation(DeviceEvent::Kind kind);

// Local time with its offset from UTC, to the second:
// 2026-12-08T10:15:02+08:00, and +00:00 at UTC. With the offset, the hour
// before and the hour after a clock change read apart.
QString isoTime(const QDateTime &time);

} // namespace ExportWords
