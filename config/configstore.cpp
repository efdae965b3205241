#include "config/configstore.h"

#include "config/textcodec.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QSysInfo>
#include <QTimer>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString kRootTag = QStringLiteral("Configure");

// Numbers are read in base 10; a text that is not a number reads as 0.
int attributeNumber(const QDomElement &element, const QString &name, const QString &fallback)
{
    return element.attribute(name, fallback).toInt(nullptr, 10);
}

// XML 1.0 cannot carry control characters or lone surrogates; a device name
// holding one would make the whole file unreadable at the next start and so
// lose every device. Such characters are dropped when the file is written.
QString xmlSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
            continue;
        }
        if (c.isSurrogate())
            continue;
        if (u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D)
            continue;
        if (u == 0xFFFE || u == 0xFFFF)
            continue;
        out.append(c);
    }
    return out;
}

// Written beside the target and renamed over it only when complete, so a full
// disk or a failed write keeps the previous file. A writable file in a folder
// where no file can be made is written in place instead: not being able to
// save at all would lose more. The explicit flush matters: a small write only
// fills the buffer, and an error while the buffer is emptied on commit would
// not stop the rename. Where a torn file would be worse than none (an
// archive's version, its index), the in-place write is not allowed.
bool replaceFile(const QString &path, const QByteArray &bytes, bool inPlaceAllowed = true)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(inPlaceAllowed);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A few devices and settings take a few kilobytes; nothing near this size is
// a configuration, and reading it whole into a document would stall the start.
constexpr qint64 MaxConfigureBytes = 4ll * 1024 * 1024;

// Only plain files are read: opening a named pipe waits for a writer (the
// program would hang at start, or on a file the user picked), and a device
// or a folder holds no text.
bool isRegularFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

QString variantText(const QVariant &value)
{
    return xmlSafe(value.toString());
}

MqttSettings mqttFrom(const QDomElement &e)
{
    MqttSettings s;
    s.Enabled = e.attribute(QStringLiteral("Enabled")) == QLatin1String("1");
    s.Host = e.attribute(QStringLiteral("Host"), s.Host);
    const int port = attributeNumber(e, QStringLiteral("Port"), QString::number(s.Port));
    if (port > 0 && port <= 0xFFFF)
        s.Port = port;
    s.Prefix = e.attribute(QStringLiteral("Prefix"), s.Prefix);
    s.User = e.attribute(QStringLiteral("User"));
    s.CaFile = e.attribute(QStringLiteral("CaFile"));
    s.PasswordFile = e.attribute(QStringLiteral("PasswordFile"));
    return s;
}

WebSettings webFrom(const QDomElement &e)
{
    WebSettings s;
    s.Enabled = e.attribute(QStringLiteral("Enabled")) == QLatin1String("1");
    s.Listen = e.attribute(QStringLiteral("Listen"), s.Listen).trimmed();
    const int port = attributeNumber(e, QStringLiteral("Port"), QString::number(s.Port));
    if (port > 0 && port <= 0xFFFF)
        s.Port = port;
    if (e.attribute(QStringLiteral("Source")) == QLatin1String("broker"))
        s.Source = QStringLiteral("broker");
    s.TokenFile = e.attribute(QStringLiteral("TokenFile"));
    return s;
}

// Streams through the elements without recursion and stops at the first one
// nested deeper than the limit; well-formedness is left to the document parser.
bool nestingWithin(const QByteArray &bytes, int limit)
{
    QXmlStreamReader xml(bytes);
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > limit)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return true;
}

// Moves a file whose settings could not be read out of the way of the save
// that would replace it, over an older copy; false when it stays in the way.
bool keepAside(const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    const QString copy = path + QStringLiteral(".broken");
    QFile::remove(copy);
    if (!QFile::rename(path, copy)) {
        qWarning().noquote() << "Could not keep the unreadable" << QDir::toNativeSeparators(path) << "as"
                             << QDir::toNativeSeparators(copy) << "- it is not replaced";
        return false;
    }
    qWarning().noquote() << "The unreadable" << QDir::toNativeSeparators(path) << "is kept as"
                         << QDir::toNativeSeparators(copy);
    return true;
}

// An Id as it may stand in a folder name and a topic level.
bool usableId(const QString &id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(id).hasMatch();
}

// The Id of a device the file names none for (written before devices had
// one, or by hand), or a copied element's second use of an Id: made from this
// machine, the file and the device's place and name in it, so that every run,
// the windowless ones that never write the file included, gives it the same
// Id until a save stores it.
QString derivedId(const QString &path, int index, const QString &name)
{
    static const QUuid space(QStringLiteral("{6f1d3c52-9a47-4e0b-8c2e-51d0a7b3e914}"));
    QByteArray machine = QSysInfo::machineUniqueId();
    if (machine.isEmpty())
        machine = QSysInfo::machineHostName().toUtf8();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString file = canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
    const QByteArray seed =
        machine + '\n' + file.toUtf8() + '\n' + QByteArray::number(index) + '\n' + name.toUtf8();
    return QUuid::createUuidV5(space, seed).toString(QUuid::WithoutBraces);
}

} // namespace

ConfigStore::ConfigStore()
{
    load();
}

ConfigStore *ConfigStore::instance()
{
    // Lives until the process ends: cards and views read it during their own
    // destruction, after the main window has gone.
    static ConfigStore *const store = new ConfigStore;
    return store;
}

QString ConfigStore::filePath()
{
    return QDir::currentPath() + QStringLiteral("/Configure.xml");
}

void ConfigStore::load()
{
    loadFrom(filePath());
}

void ConfigStore::save()
{
    cancelSaveSoon();
    m_lastSave.start();
    if (!m_recordOwner || !m_records) {
        qWarning("Configure.xml not saved: the device list is gone");
        return;
    }
    if (!saveTo(filePath(), m_records()))
        qWarning().noquote() << "Could not save" << QDir::toNativeSeparators(filePath())
                             << "- the changes of this run are lost";
}

void ConfigStore::saveSoon()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    if (!m_saveTimer) {
        m_saveTimer = new QTimer(application);
        m_saveTimer->setSingleShot(true);
        QObject::connect(m_saveTimer, &QTimer::timeout, application, [this] {
            if (m_recordOwner)
                save();
        });
    }
    if (m_saveTimer->isActive())
        return; // the write due takes this change along
    const qint64 sinceLast = m_lastSave.isValid() ? m_lastSave.elapsed() : SaveSpacingMs;
    m_saveTimer->start(int(qMax<qint64>(SaveDelayMs, SaveSpacingMs - sinceLast)));
}

void ConfigStore::cancelSaveSoon()
{
    if (m_saveTimer)
        m_saveTimer->stop();
}

void ConfigStore::setRecordSource(const QObject *owner, const RecordSource &records)
{
    m_recordOwner = owner;
    m_records = owner ? records : RecordSource();
}

void ConfigStore::loadFrom(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return;
    if (!isRegularFile(path)) {
        qWarning().noquote() << QDir::toNativeSeparators(path) << "is not read: it is not a plain file";
        return;
    }
    // Whatever stops the reading below, the file is kept before it is replaced.
    m_brokenFile = path;
    if (file.size() > MaxConfigureBytes) {
        qWarning().noquote() << QDir::toNativeSeparators(path)
                             << "is not read: far larger than any configuration";
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        m_brokenFile.clear(); // nothing in it to keep
        return;
    }
    if (!nestingWithin(bytes, MaxNesting))
        return;
    QDomDocument document;
    if (!document.setContent(bytes))
        return;
    const QDomElement root = document.documentElement();
    if (root.tagName() != kRootTag)
        return;
    m_brokenFile.clear();

    const QDomNodeList devices = root.elementsByTagName(QStringLiteral("Device"));
    QSet<QString> ids;
    for (int i = 0; i < devices.count(); ++i) {
        const QDomElement e = devices.item(i).toElement();
        // A missing attribute reads as the record's default.
        DeviceRecord record;
        record.Type = attributeNumber(e, QStringLiteral("Type"), QString::number(record.Type));
        record.Name = e.attribute(QStringLiteral("Name"), record.Name);
        record.Model =
            static_cast<quint8>(attributeNumber(e, QStringLiteral("Model"), QString::number(record.Model)));
        record.IP = e.attribute(QStringLiteral("IP"), record.IP);
        record.Address = static_cast<quint8>(
            attributeNumber(e, QStringLiteral("Address"), QString::number(record.Address)));
        record.Id = e.attribute(QStringLiteral("Id"));
        if (!usableId(record.Id) || ids.contains(record.Id))
            record.Id = derivedId(path, i, record.Name);
        ids.insert(record.Id);
        record.On = attributeNumber(e, QStringLiteral("On"), QStringLiteral("0")) != 0;
        m_devices.append(record);
    }

    const QDomNodeList modbus = root.elementsByTagName(QStringLiteral("Modbus"));
    for (int i = 0; i < modbus.count(); ++i) {
        const QDomElement e = modbus.item(i).toElement();
        // Every element sets every field, so the last one wins as a whole.
        m_settings.Port = e.attribute(QStringLiteral("Port"), QStringLiteral("COM3"));
        m_settings.Parity = e.attribute(QStringLiteral("Parity"), QStringLiteral("3"));
        m_settings.BaudRate = e.attribute(QStringLiteral("BaudRate"), QStringLiteral("115200"));
        m_settings.DataBits = e.attribute(QStringLiteral("DataBits"), QStringLiteral("8"));
        m_settings.StopBits = e.attribute(QStringLiteral("StopBits"), QStringLiteral("1"));
        m_settings.NumberOfRetries =
            static_cast<quint8>(attributeNumber(e, QStringLiteral("NumberOfRetries"), QStringLiteral("3")));
        m_settings.Timeout = attributeNumber(e, QStringLiteral("Timeout"), QStringLiteral("300"));
    }

    const QDomNodeList sets = root.elementsByTagName(QStringLiteral("Set"));
    for (int i = 0; i < sets.count(); ++i) {
        const QDomElement e = sets.item(i).toElement();
        m_language = attributeNumber(e, QStringLiteral("Language"), QStringLiteral("0"));
        m_archiveEnabled = attributeNumber(e, QStringLiteral("Archive"), QStringLiteral("1")) != 0;
        m_archiveFolder = e.attribute(QStringLiteral("ArchiveFolder"));
        const int keep =
            attributeNumber(e, QStringLiteral("ArchiveKeep"), QString::number(DefaultArchiveKeep));
        m_archiveKeep = keep >= 1 ? keep : DefaultArchiveKeep;
        m_backupFolder = e.attribute(QStringLiteral("BackupFolder"));
        m_verifyAfterWrite = attributeNumber(e, QStringLiteral("Verify"), QStringLiteral("1")) != 0;
    }

    // Any password attribute someone wrote in is neither read nor written back.
    const QDomNodeList mqtt = root.elementsByTagName(QStringLiteral("Mqtt"));
    for (int i = 0; i < mqtt.count(); ++i) {
        m_mqtt = mqttFrom(mqtt.item(i).toElement());
        m_mqttWritten = true;
    }
    const QDomNodeList web = root.elementsByTagName(QStringLiteral("Web"));
    for (int i = 0; i < web.count(); ++i) {
        m_web = webFrom(web.item(i).toElement());
        m_webWritten = true;
    }

    const QDomNodeList history = root.elementsByTagName(QStringLiteral("History"));
    for (int i = 0; i < history.count(); ++i) {
        const QDomElement e = history.item(i).toElement();
        setHistoryRetentionDays(attributeNumber(e, QStringLiteral("RetentionDays"),
                                                QString::number(DefaultHistoryRetentionDays)));
        setMicroStopMinutes(attributeNumber(e, QStringLiteral("MicroStopMinutes"),
                                            QString::number(StopSettings::DefaultMicroStopMinutes)));
        setUntaggedStopMinutes(attributeNumber(e, QStringLiteral("UntaggedStopMinutes"),
                                               QString::number(StopSettings::DefaultUntaggedMinutes)));
    }

    // Only direct children of the root: nothing nested is taken for them.
    QVector<Shift> shifts;
    QVector<StopReason> reasons;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName() == QLatin1String("Shift")) {
            const Shift shift{e.attribute(QStringLiteral("Name")),
                              StopSettings::timeFrom(e.attribute(QStringLiteral("Start"))),
                              StopSettings::timeFrom(e.attribute(QStringLiteral("End")))};
            // A shift without a readable time cannot be placed in the day.
            if (shift.Start.isValid() && shift.End.isValid() && shifts.size() < StopSettings::MaxShifts)
                shifts.append(shift);
        } else if (e.tagName() == QLatin1String("Reason")) {
            const int code = attributeNumber(e, QStringLiteral("Code"), QStringLiteral("0"));
            if (code > 0 && !StopSettings::reasonOf(reasons, code))
                reasons.append({code, e.attribute(QStringLiteral("Zh")), e.attribute(QStringLiteral("En")),
                                e.attribute(QStringLiteral("Planned")) == QLatin1String("1"),
                                e.attribute(QStringLiteral("Retired")) == QLatin1String("1")});
        }
    }
    m_shifts = shifts;
    if (!reasons.isEmpty())
        setStopReasons(reasons);
}

bool ConfigStore::saveTo(const QString &path, const QList<DeviceRecord> &records)
{
    if (path == m_brokenFile) {
        if (!keepAside(path))
            return false;
        m_brokenFile.clear();
    }

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setCodec("UTF-8");
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartElement(kRootTag);
    for (const DeviceRecord &record : records) {
        xml.writeEmptyElement(QStringLiteral("Device"));
        xml.writeAttribute(QStringLiteral("Type"), QString::number(record.Type));
        xml.writeAttribute(QStringLiteral("Name"), xmlSafe(record.Name));
        xml.writeAttribute(QStringLiteral("Model"), QString::number(record.Model));
        xml.writeAttribute(QStringLiteral("IP"), xmlSafe(record.IP));
        xml.writeAttribute(QStringLiteral("Address"), QString::number(record.Address));
        if (!record.Id.isEmpty())
            xml.writeAttribute(QStringLiteral("Id"), xmlSafe(record.Id));
        // Only when on: a file without it starts with the card off.
        if (record.On)
            xml.writeAttribute(QStringLiteral("On"), QStringLiteral("1"));
    }
    xml.writeEmptyElement(QStringLiteral("Modbus"));
    xml.writeAttribute(QStringLiteral("Port"), variantText(m_settings.Port));
    xml.writeAttribute(QStringLiteral("Parity"), variantText(m_settings.Parity));
    xml.writeAttribute(QStringLiteral("BaudRate"), variantText(m_settings.BaudRate));
    xml.writeAttribute(QStringLiteral("DataBits"), variantText(m_settings.DataBits));
    xml.writeAttribute(QStringLiteral("StopBits"), variantText(m_settings.StopBits));
    xml.writeAttribute(QStringLiteral("NumberOfRetries"), QString::number(m_settings.NumberOfRetries));
    xml.writeAttribute(QStringLiteral("Timeout"), QString::number(m_settings.Timeout));
    xml.writeEmptyElement(QStringLiteral("Set"));
    xml.writeAttribute(QStringLiteral("Language"), QString::number(m_language));
    // Only what differs from the defaults, so files written before these
    // settings existed come back unchanged.
    if (!m_archiveEnabled)
        xml.writeAttribute(QStringLiteral("Archive"), QStringLiteral("0"));
    if (!m_archiveFolder.isEmpty())
        xml.writeAttribute(QStringLiteral("ArchiveFolder"), xmlSafe(m_archiveFolder));
    if (m_archiveKeep != DefaultArchiveKeep)
        xml.writeAttribute(QStringLiteral("ArchiveKeep"), QString::number(m_archiveKeep));
    if (!m_backupFolder.isEmpty())
        xml.writeAttribute(QStringLiteral("BackupFolder"), xmlSafe(m_backupFolder));
    if (!m_verifyAfterWrite)
        xml.writeAttribute(QStringLiteral("Verify"), QStringLiteral("0"));
    if (m_mqttWritten) {
        xml.writeEmptyElement(QStringLiteral("Mqtt"));
        xml.writeAttribute(QStringLiteral("Enabled"),
                           m_mqtt.Enabled ? QStringLiteral("1") : QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("Host"), xmlSafe(m_mqtt.Host));
        xml.writeAttribute(QStringLiteral("Port"), QString::number(m_mqtt.Port));
        xml.writeAttribute(QStringLiteral("Prefix"), xmlSafe(m_mqtt.Prefix));
        xml.writeAttribute(QStringLiteral("User"), xmlSafe(m_mqtt.User));
        xml.writeAttribute(QStringLiteral("CaFile"), xmlSafe(m_mqtt.CaFile));
        xml.writeAttribute(QStringLiteral("PasswordFile"), xmlSafe(m_mqtt.PasswordFile));
    }
    if (m_webWritten) {
        xml.writeEmptyElement(QStringLiteral("Web"));
        xml.writeAttribute(QStringLiteral("Enabled"),
                           m_web.Enabled ? QStringLiteral("1") : QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("Listen"), xmlSafe(m_web.Listen));
        xml.writeAttribute(QStringLiteral("Port"), QString::number(m_web.Port));
        xml.writeAttribute(QStringLiteral("Source"), xmlSafe(m_web.Source));
        xml.writeAttribute(QStringLiteral("TokenFile"), xmlSafe(m_web.TokenFile));
    }
    // Written only when set: files of the default stay as they were.
    if (m_historyDays != DefaultHistoryRetentionDays ||
        m_microStopMinutes != StopSettings::DefaultMicroStopMinutes ||
        m_untaggedMinutes != StopSettings::DefaultUntaggedMinutes) {
        xml.writeEmptyElement(QStringLiteral("History"));
        if (m_historyDays != DefaultHistoryRetentionDays)
            xml.writeAttribute(QStringLiteral("RetentionDays"), QString::number(m_historyDays));
        if (m_microStopMinutes != StopSettings::DefaultMicroStopMinutes)
            xml.writeAttribute(QStringLiteral("MicroStopMinutes"), QString::number(m_microStopMinutes));
        if (m_untaggedMinutes != StopSettings::DefaultUntaggedMinutes)
            xml.writeAttribute(QStringLiteral("UntaggedStopMinutes"), QString::number(m_untaggedMinutes));
    }
    for (const Shift &shift : qAsConst(m_shifts)) {
        xml.writeEmptyElement(QStringLiteral("Shift"));
        xml.writeAttribute(QStringLiteral("Name"), xmlSafe(shift.Name));
        xml.writeAttribute(QStringLiteral("Start"), shift.Start.toString(QStringLiteral("HH:mm")));
        xml.writeAttribute(QStringLiteral("End"), shift.End.toString(QStringLiteral("HH:mm")));
    }
    for (const StopReason &reason : qAsConst(m_reasons)) {
        if (!m_reasonsWritten)
            break;
        xml.writeEmptyElement(QStringLiteral("Reason"));
        xml.writeAttribute(QStringLiteral("Code"), QString::number(reason.Code));
        xml.writeAttribute(QStringLiteral("Zh"), xmlSafe(reason.Zh));
        xml.writeAttribute(QStringLiteral("En"), xmlSafe(reason.En));
        if (reason.Planned)
            xml.writeAttribute(QStringLiteral("Planned"), QStringLiteral("1"));
        if (reason.Retired)
            xml.writeAttribute(QStringLiteral("Retired"), QStringLiteral("1"));
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    // The writer starts an unannounced document with a line break.
    while (bytes.startsWith('\n'))
        bytes.remove(0, 1);

    return replaceFile(path, bytes);
}

void ConfigStore::resetToDefaults()
{
    m_brokenFile.clear();
    m_devices.clear();
    m_settings = ModbusSettings();
    m_language = 0;
    m_mqtt = MqttSettings();
    m_mqttWritten = false;
    m_web = WebSettings();
    m_webWritten = false;
    m_archiveEnabled = true;
    m_archiveFolder.clear();
    m_archiveKeep = DefaultArchiveKeep;
    m_backupFolder.clear();
    m_verifyAfterWrite = true;
    m_historyDays = DefaultHistoryRetentionDays;
    m_shifts.clear();
    m_reasons = StopSettings::defaultReasons();
    m_reasonsWritten = false;
    m_microStopMinutes = StopSettings::DefaultMicroStopMinutes;
    m_untaggedMinutes = StopSettings::DefaultUntaggedMinutes;
}

QList<DeviceRecord> ConfigStore::devices() const
{
    return m_devices;
}

ModbusSettings ConfigStore::modbusSettings() const
{
    return m_settings;
}

void ConfigStore::setModbusSettings(const ModbusSettings &settings)
{
    m_settings = settings;
}

int ConfigStore::language() const
{
    return m_language;
}

void ConfigStore::setLanguage(int language)
{
    m_language = language;
}

MqttSettings ConfigStore::mqttSettings() const
{
    return m_mqtt;
}

void ConfigStore::setMqttSettings(const MqttSettings &settings)
{
    if (settings != m_mqtt)
        m_mqttWritten = true;
    m_mqtt = settings;
}

void ConfigStore::setWebSettings(const WebSettings &settings)
{
    if (settings != m_web)
        m_webWritten = true;
    m_web = settings;
}

bool ConfigStore::archiveEnabled() const
{
    return m_archiveEnabled;
}

void ConfigStore::setArchiveEnabled(bool enabled)
{
    m_archiveEnabled = enabled;
}

QString ConfigStore::archiveFolder() const
{
    return m_archiveFolder;
}

void ConfigStore::setArchiveFolder(const QString &folder)
{
    m_archiveFolder = folder;
}

int ConfigStore::archiveKeep() const
{
    return m_archiveKeep;
}

void ConfigStore::setArchiveKeep(int keep)
{
    m_archiveKeep = qMax(keep, 1);
}

QString ConfigStore::backupFolder() const
{
    return m_backupFolder;
}

void ConfigStore::setBackupFolder(const QString &folder)
{
    m_backupFolder = folder;
}

int ConfigStore::historyRetentionDays() const
{
    return m_historyDays;
}

void ConfigStore::setHistoryRetentionDays(int days)
{
    m_historyDays = days >= 1 ? days : DefaultHistoryRetentionDays;
}

bool ConfigStore::readTextFile(const QString &path, QString *text, qint64 maxBytes)
{
    QByteArray bytes;
    if (!readFileBytes(path, &bytes, maxBytes))
        return false;
    if (text)
        *text = TextCodec::decodeLocalFile(bytes);
    return true;
}

bool ConfigStore::writeTextFile(const QString &path, const QString &text)
{
    return replaceFile(path, text.toLocal8Bit());
}

bool ConfigStore::readFileBytes(const QString &path, QByteArray *bytes, qint64 maxBytes)
{
    if (!isRegularFile(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || (maxBytes >= 0 && file.size() > maxBytes))
        return false;
    const QByteArray read = file.readAll();
    if (bytes)
        *bytes = read;
    return true;
}

bool ConfigStore::writeFileBytes(const QString &path, const QByteArray &bytes)
{
    return replaceFile(path, bytes);
}

bool ConfigStore::writeFileWhole(const QString &path, const QByteArray &bytes)
{
    return replaceFile(path, bytes, false);
}

void ConfigStore::setShifts(const QVector<Shift> &shifts)
{
    m_shifts = shifts.mid(0, StopSettings::MaxShifts);
}

void ConfigStore::setStopReasons(const QVector<StopReason> &reasons)
{
    m_reasons = reasons;
    m_reasonsWritten = true;
}

void ConfigStore::setMicroStopMinutes(int minutes)
{
    m_microStopMinutes = minutes >= 0 ? minutes : StopSettings::DefaultMicroStopMinutes;
}

void ConfigStore::setUntaggedStopMinutes(int minutes)
{
    m_untaggedMinutes = minutes >= 1 ? minutes : StopSettings::DefaultUntaggedMinutes;
}
