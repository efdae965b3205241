#pragma once

#include "config/devicerecord.h"
#include "config/mqttsettings.h"
#include "config/stopsettings.h"
#include "config/websettings.h"
#include "history/periods.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;

// The process-wide configuration: Configure.xml in the working directory, read
// once at the first instance(), written shortly after each change of the
// device list, a card's settings or SET (saveSoon()), and when the main
// window goes. The device records are read here and handed on (devices());
// during the run the device list holds them, and hands them back for each
// save through its record source.
class ConfigStore
{
public:
    static ConfigStore *instance();

    void load();
    void save();
    // Saves a moment from now, so a change survives a crash or a power cut. A
    // burst of changes (a name typed letter by letter) gives one write, and
    // writes are at least SaveSpacingMs apart. Nothing happens without an
    // event loop, and nothing once the device list is gone.
    void saveSoon();
    void cancelSaveSoon();
    static constexpr int SaveDelayMs = 200;
    static constexpr int SaveSpacingMs = 1000;

    // Where save() takes the device records from: the device list sets
    // itself. Without a source, or once its owner is gone, nothing is saved:
    // writing no records would drop every device of the file.
    using RecordSource = std::function<QList<DeviceRecord>()>;
    void setRecordSource(const QObject *owner, const RecordSource &records);

    QList<DeviceRecord> devices() const;
    ModbusSettings modbusSettings() const;
    void setModbusSettings(const ModbusSettings &settings);
    int language() const;
    void setLanguage(int language);
    // The broker settings. Their element is written once the file had one or
    // they were changed, so a file without it is written back without it.
    MqttSettings mqttSettings() const;
    void setMqttSettings(const MqttSettings &settings);
    // The shop board's settings, written like the broker's.
    WebSettings webSettings() const { return m_web; }
    void setWebSettings(const WebSettings &settings);
    // Days the machines' history is kept; at least 1.
    int historyRetentionDays() const;
    void setHistoryRetentionDays(int days);
    // The shifts (none: the day is one) and the reasons for stops (the
    // defaults unless the file holds a list), each written only once set or
    // read, so a file without them comes back without them. The two limits,
    // in minutes, are attributes of <History> written when not the default.
    QVector<Shift> shifts() const { return m_shifts; }
    void setShifts(const QVector<Shift> &shifts);
    QVector<StopReason> stopReasons() const { return m_reasons; }
    void setStopReasons(const QVector<StopReason> &reasons);
    int microStopMinutes() const { return m_microStopMinutes; }
    void setMicroStopMinutes(int minutes);
    int untaggedStopMinutes() const { return m_untaggedMinutes; }
    void setUntaggedStopMinutes(int minutes);

    // The archive of replaced texts: on unless switched off, in archive/
    // beside Configure.xml unless a folder is named, the newest archiveKeep()
    // versions of each name. Whole-controller backups go to backups/ beside
    // Configure.xml unless a folder is named. Stored in the Set element only
    // when they differ from these defaults.
    bool archiveEnabled() const;
    void setArchiveEnabled(bool enabled);
    QString archiveFolder() const; // empty: the default
    void setArchiveFolder(const QString &folder);
    int archiveKeep() const;
    void setArchiveKeep(int keep);
    QString backupFolder() const; // empty: the default
    void setBackupFolder(const QString &folder);
    static constexpr int DefaultArchiveKeep = 50;
    // Every text written to a controller is read back and compared: on unless
    // switched off in SET, and stored (Verify="0") only when off.
    bool verifyAfterWrite() const { return m_verifyAfterWrite; }
    void setVerifyAfterWrite(bool verify) { m_verifyAfterWrite = verify; }

    // The file has three levels; anything nested deeper is not this file, and
    // the document parser would need a stack frame per level.
    static constexpr int MaxNesting = 32;

    // A local text file, decoded; false when it is not a plain file, cannot
    // be read, or holds more than maxBytes (when given).
    static bool readTextFile(const QString &path, QString *text, qint64 maxBytes = -1);
    static bool writeTextFile(const QString &path, const QString &text);
    // The same rules for the bytes as they are on disk.
    static bool readFileBytes(const QString &path, QByteArray *bytes, qint64 maxBytes = -1);
    static bool writeFileBytes(const QString &path, const QByteArray &bytes);
    // As writeFileBytes(), but never written in place: complete or not at all.
    static bool writeFileWhole(const QString &path, const QByteArray &bytes);

    // Where load() and save() work: <current directory>/Configure.xml.
    static QString filePath();

    // The pieces load() and save() are made of, usable on any path. A file
    // that exists but whose settings could not be taken (unreadable, not
    // well-formed, nested beyond MaxNesting, another root) leaves the defaults
    // in force, and the first saveTo() over it keeps it beside the new file as
    // <name>.broken; when that copy cannot be made the file is not replaced.
    void loadFrom(const QString &path);
    bool saveTo(const QString &path, const QList<DeviceRecord> &records);
    // Back to the built-in defaults (no devices, default settings, Chinese).
    void resetToDefaults();

private:
    ConfigStore();

    QList<DeviceRecord> m_devices;
    ModbusSettings m_settings;
    int m_language = 0;
    MqttSettings m_mqtt;
    bool m_mqttWritten = false;
    WebSettings m_web;
    bool m_webWritten = false;
    bool m_archiveEnabled = true;
    bool m_verifyAfterWrite = true;
    QString m_archiveFolder;
    int m_archiveKeep = DefaultArchiveKeep;
    QString m_backupFolder;
    int m_historyDays = History::DefaultRetentionDays;
    QVector<Shift> m_shifts;
    QVector<StopReason> m_reasons = StopSettings::defaultReasons();
    bool m_reasonsWritten = false;
    int m_microStopMinutes = StopSettings::DefaultMicroStopMinutes;
    int m_untaggedMinutes = StopSettings::DefaultUntaggedMinutes;
    QPointer<const QObject> m_recordOwner;
    RecordSource m_records;
    QString m_brokenFile;         // read but not taken; kept aside before it is replaced
    QPointer<QTimer> m_saveTimer; // child of the application, made on the first saveSoon()
    QElapsedTimer m_lastSave;     // since the last write of Configure.xml
};
