#pragma once

#include "config/devicerecord.h"

#include <QCoreApplication>
#include <QStringList>

#include <functional>

class QCommandLineParser;

// Whole-controller backup and restore without a window, for cron and
// scripts: the devices of the Configure.xml in the working directory, one
// line per item on stdout, a summary line last, nothing waits for input.
// Exit codes: 0 every item done, 1 an item failed or would not be written (a
// dry run too) or the controller could not be reached, 2 a usage error or an
// unknown device.
class BackupCommand
{
    Q_DECLARE_TR_FUNCTIONS(BackupCommand)

public:
    enum Exit { Done = 0, ItemFailed = 1, UsageError = 2 };

    static void addOptions(QCommandLineParser *parser);
    // --backup, --all or --restore was given: run() instead of the window.
    static bool wanted(const QCommandLineParser &parser);
    // What a run did to a controller, told as the history words it:
    // "write program", "write file", "delete program" for each write, and
    // "backup" (the backup folder's name, 0 when complete, the bytes saved).
    using Audit = std::function<void(const DeviceRecord &device, const QString &kind, const QString &target,
                                     int result, qint64 bytes)>;

    // Needs a QCoreApplication; returns the exit code.
    static int run(const QCommandLineParser &parser, const Audit &audit = Audit());

    // argv as the parser takes it, before any application exists.
    static QStringList arguments(int argc, char *argv[]);
};
