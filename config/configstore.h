#pragma once

#include "config/devicerecord.h"
#include "history/periods.h"
#include "mqtt/mqttsettings.h"

#include <QList>
#include <QString>
#include <QStringList>

// The process-wide configuration: Configure.xml in the working directory, read
// once at the first instance() and written once when the main window goes.
class ConfigStore
{
public:
    static ConfigStore *instance();

    void load();
    void save();

    QList<DeviceRecord> devices() const;
    ModbusSettings modbusSettings() const;
    void setModbusSettings(const ModbusSettings &settings);
    int language() const;
    void setLanguage(int language);
    // The broker settings. Their element is written once the file had one or
    // they were changed, so a file without it is written back without it.
    MqttSettings mqttSettings() const;
    void setMqttSettings(const MqttSettings &settings);
    // Days the machines' history is kept; at least 1.
    int historyRetentionDays() const;
    void setHistoryRetentionDays(int days);

    // Display text and label style sheet per device state code 0..4.
    void stateDisplay(QStringList *texts, QStringList *styles) const;

    // The file has three levels; anything nested deeper is not this file, and
    // the document parser would need a stack frame per level.
    static constexpr int MaxNesting = 32;

    // A local text file, decoded; false when it is not a plain file, cannot
    // be read, or holds more than maxBytes (when given).
    static bool readTextFile(const QString &path, QString *text, qint64 maxBytes = -1);
    static bool writeTextFile(const QString &path, const QString &text);

    // Where load() and save() work: <current directory>/Configure.xml.
    static QString filePath();

    // The pieces load() and save() are made of, usable on any path. A file
    // that exists but whose settings could not be taken (unreadable, not
    // well-formed, nested beyond MaxNesting, another root) leaves the defaults
    // in force, and the first saveTo() over it keeps it beside the new file as
    // <name>.broken; when that copy cannot be made the file is not replaced.
    void loadFrom(const QString &path);
    bool saveTo(const QString &path, const QList<DeviceRecord> &records);
    // Back to the built-in defaults (no devices, default settings, Chinese);
    // the state display lists are rebuilt for the language then in force.
    void resetToDefaults();
    void rebuildStateDisplay();

private:
    ConfigStore();

    QList<DeviceRecord> m_devices;
    ModbusSettings m_settings;
    int m_language = 0;
    MqttSettings m_mqtt;
    bool m_mqttWritten = false;
    int m_historyDays = History::DefaultRetentionDays;
    QStringList m_stateTexts;
    QStringList m_stateStyles;
    QString m_brokenFile; // read but not taken; kept aside before it is replaced
};
