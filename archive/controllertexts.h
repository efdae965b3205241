#pragma once

#include "link/devicestatus.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

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
    // The controller has no program or file of that name: a program its
    // directory does not list, a system file whose open was refused twice
    // alike (see read()). Nothing was read, and result is not Ok.
    bool absent = false;
    QByteArray bytes;

    bool ok() const { return result == Result::Ok; }
};

// The program directory as one operation or batch read it: whether a program
// is there, and how many bytes its read must bring, are taken from it.
struct Directory
{
    int result = Result::NotReady; // of the read; NotReady until one was made
    QList<ProgramEntry> entries;

    bool ok() const { return result == Result::Ok; }
    // The line of a program, or null when the directory does not list it.
    const ProgramEntry *find(const QString &name) const;
    // A program this batch wrote is there now, with that many bytes.
    void noteWritten(const TextTarget &target, qint64 size);
};
// Shared with the operation that reads it: its holder (a dialog, a runner)
// may go while a request waits, the directory stays until the read is over.
using SharedDirectory = std::shared_ptr<Directory>;

// The byte count of a directory line ("1534B"), or -1 when it gives none.
qint64 listedSize(const ProgramEntry &entry);

// The protocol fixes no exception for the open of a text the controller
// lacks (controllers answer 3 or 4), so none is read as "absent" on its own:
// - a program is absent when the directory does not list it; a listed one is
//   read and must bring the listed size (else SizeDiffers);
// - a system file (no directory lists them) is absent when its open is
//   refused with an exception other than acknowledge (5) or busy (6), and a
//   second open is refused with the same one.
// A time-out or a dropped link never makes a text absent. For a program the
// directory is read into `directory` unless it holds a good read already;
// with none given it is read for this one call.
Current read(ModbusDevice *device, const TextTarget &target, SharedDirectory directory = {});
int write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
          const TransferProgress &progress = {});
int readDirectory(ModbusDevice *device, QList<ProgramEntry> *entries);
// Reads the directory into `directory` unless it holds a good read already.
void ensureDirectory(ModbusDevice *device, const SharedDirectory &directory);

} // namespace ControllerTexts
