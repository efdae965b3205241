#pragma once

#include "link/devicestatus.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ModbusDevice;

// A program or a system file of a controller, by the controller's own name.
struct TextTarget
{
    QString name;    // "O0012", "USRIO.TXT"
    int number = -1; // the program number; -1 for a system file

    bool isProgram() const { return number >= 0; }
    static TextTarget program(int number);
    static TextTarget file(const QString &name);
    // A program name ("O12", "O0012") names that program, anything else a file.
    static TextTarget fromName(const QString &name);
};

// The controller operations the archive, the backup and the restore run, in
// one place: each is one device operation, bytes exactly as they travel.
namespace ControllerTexts {

struct Current
{
    int result = Result::Ok;
    // The controller refused to open the text: it has no program or file of
    // that name. Told apart from a failed read by the exception reply.
    bool absent = false;
    QByteArray bytes;

    bool ok() const { return result == Result::Ok; }
};

Current read(ModbusDevice *device, const TextTarget &target);
int write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
          const TransferProgress &progress = {});
int readDirectory(ModbusDevice *device, QList<ProgramEntry> *entries);

} // namespace ControllerTexts
