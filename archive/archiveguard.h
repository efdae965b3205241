#pragma once

#include "archive/archiveindex.h"
#include "archive/controllertexts.h"
#include "config/devicerecord.h"

#include <QCoreApplication>
#include <QString>

class ModbusDevice;

// Every write or delete that replaces a program or a system file on a
// controller goes through here: the text the controller holds is read and
// kept in the archive first, and when it cannot be read or kept the operation
// is not done. A name the controller does not hold has nothing to keep; with
// the archive switched off in SET nothing is read.
class ArchiveGuard
{
    Q_DECLARE_TR_FUNCTIONS(ArchiveGuard)

public:
    // The result of an operation refused because the text it would replace
    // could not be read or kept.
    static constexpr int NotKept = Result::NotArchived;

    // Reads the current text and keeps it; false, and why, when the operation
    // must not go on. A batch hands in its directory, read once for all its
    // items (see ControllerTexts::read()).
    static bool keepCurrent(ModbusDevice *device, const TextTarget &target, ArchiveIndex::Operation operation,
                            QString *why, const ControllerTexts::SharedDirectory &directory = {});
    // The second half alone, for a caller that read the current text itself
    // (and looked at it before deciding).
    static bool keep(const DeviceRecord &device, const TextTarget &target, ArchiveIndex::Operation operation,
                     const ControllerTexts::Current &current, QString *why);

    // keepCurrent() and then the write; NotKept when nothing was done.
    // A program written is noted in the batch's directory.
    static int write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
                     ArchiveIndex::Operation operation, const TransferProgress &progress, QString *why,
                     const ControllerTexts::SharedDirectory &directory = {});

    static bool enabled();
};
