#pragma once

#include "archive/controllertexts.h"
#include "archive/manifest.h"
#include "config/devicerecord.h"
#include "link/busyretry.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class ModbusDevice;
class QTimer;

// Reads everything a controller holds that an operator would want back after
// a wipe: the program directory, every program in it, and the system files of
// the FILE page (those the controller has). With a folder, each text is
// written there under the controller's own name, bytes exactly as read, with
// manifest.tsv last; without one, only what was read is kept (for the
// compare with a backup).
//
// One item per turn of the event loop, so a cancel, a closed dialog or a
// quit is seen between items; each read waits in the device's own loop.
class BackupRunner : public QObject
{
    Q_OBJECT

public:
    // The system files of the FILE page's selector.
    static const QStringList &systemFiles();
    // The directory's line in the progress and, when it failed, the manifest.
    static QString directoryItem();
    // An item's name as the windows show it: the directory's in the
    // program's language.
    static QString displayName(const QString &item);
    // backups/ beside Configure.xml unless SET names another folder.
    static QString configuredRoot();

    explicit BackupRunner(ModbusDevice *device, QObject *parent = nullptr);
    ~BackupRunner() override;

    // <root>/<device folder>/<YYYYMMDD-HHMMSS>/ (ArchiveStore::deviceFolder),
    // made by start(); a second backup within the same second gets "-2" and on.
    void setBackupRoot(const QString &root);
    QString folder() const;
    // The folder this backup was to be written to, also when it could not be
    // made (folder() is then empty); empty without a root.
    QString plannedFolder() const;

    struct Summary
    {
        int saved = 0;
        int failed = 0;
        int absent = 0;
        bool cancelled = false;
        bool finished = false;
        // Every item saved and nothing cut short.
        bool complete() const { return finished && failed == 0 && !cancelled; }
    };

    void start();
    void cancel();
    bool isRunning() const;
    Summary summary() const;
    QList<Manifest::Row> rows() const;
    // Without a folder: the bytes read, by name.
    QHash<QString, QByteArray> texts() const;

    // What the manifest records of the device.
    static Manifest::Device manifestDevice(const DeviceRecord &record);

signals:
    void itemStarted(const QString &name);
    // detail: why a failed item failed, empty otherwise.
    void itemFinished(const Manifest::Row &row, const QString &detail);
    void finished(const BackupRunner::Summary &summary);

private:
    void next();
    void runItem(const QString &name);
    void finishItem(const Manifest::Row &row, const QString &detail);
    void finish(bool cancelled);
    bool makeFolder(QString *why);

    QPointer<ModbusDevice> m_device;
    QString m_root;
    QString m_folder;
    QString m_plannedFolder;
    DeviceRecord m_record;
    ControllerTexts::SharedDirectory m_directory; // as read first: what is there, each program's size
    QStringList m_queue;                          // still to read; the directory first
    bool m_running = false;
    bool m_cancel = false;
    QList<Manifest::Row> m_rows;
    QHash<QString, QByteArray> m_texts;
    Summary m_summary;
    QTimer *m_step = nullptr;
    BusyRetry m_busy; // how long an item has waited for a device busy elsewhere
};

Q_DECLARE_METATYPE(BackupRunner::Summary)
