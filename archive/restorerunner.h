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

// One file of a backup folder, checked against the folder's manifest.
struct BackupItem
{
    QString name; // the controller's own name, the file's name
    QString path;
    qint64 size = 0;
    QByteArray sha256;
    // Empty when the file may be written back; else why not (it no longer
    // matches its manifest row, it cannot be read).
    QString problem;
    // No manifest row vouches for the file (none names it, or the folder has
    // no manifest): written only when the operator asks for it by name or
    // by option.
    bool unchecked = false;
};

// Where the backup and the controller stand, item by item.
struct RestoreItem
{
    enum Status { Same, Changed, OnlyInBackup, OnlyOnController, Unusable };
    QString name;
    Status status = Same;
};

// Reads a backup folder: every file a backup may hold (programs and system
// files by name, not the manifest, nothing in subfolders), programs first.
// A file whose size or SHA-256 differs from its manifest row is listed with
// its problem; so is a saved manifest row whose file is missing. A file no
// manifest row names is listed as unchecked.
QList<BackupItem> readBackupFolder(const QString &folder, QString *why);

// The device a backup folder's manifest names (empty for a manifest written
// before backups named it), and, when that is another device than `target`
// (another Id), why it should not be written there; empty otherwise.
Manifest::Device readBackupDevice(const QString &folder);
QString otherDeviceText(const Manifest::Device &backup, const DeviceRecord &target);

// Pure: backup and controller by name -> SHA-256 (the controller's texts as
// read now, absent names not in it).
QList<RestoreItem> compareWithController(const QList<BackupItem> &backup,
                                         const QHash<QString, QByteArray> &controller);

// Writes the chosen backup items to a controller, one per turn of the event
// loop, each through the archive (what it replaces is kept first). The
// controller must be idle; a refusal is that item's result.
class RestoreRunner : public QObject
{
    Q_OBJECT

public:
    explicit RestoreRunner(ModbusDevice *device, QObject *parent = nullptr);
    ~RestoreRunner() override;

    void start(const QList<BackupItem> &items);
    void cancel();
    bool isRunning() const;
    int written() const { return m_written; }
    int failed() const { return m_failed; }

    static QString resultText(int result);
    // The mark of an unchecked item, for the lists.
    static QString uncheckedText();

signals:
    void itemStarted(const QString &name);
    void itemFinished(const QString &name, int result, const QString &detail);
    void finished(int written, int failed, bool cancelled);

private:
    void next();

    QPointer<ModbusDevice> m_device;
    QList<BackupItem> m_queue;
    bool m_running = false;
    bool m_cancel = false;
    BusyRetry m_busy;
    int m_written = 0;
    int m_failed = 0;
    // Read once for the whole restore: which programs the writes replace.
    ControllerTexts::SharedDirectory m_directory;
    QTimer *m_step = nullptr;
};
