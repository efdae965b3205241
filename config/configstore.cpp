#include "config/configstore.h"

ConfigStore::ConfigStore() = default;
ConfigStore *ConfigStore::instance()
{
    static ConfigStore *store = new ConfigStore;
    return store;
}
void ConfigStore::load() {}
void ConfigStore::save() {}
QList<DeviceRecord> ConfigStore::devices() const { return m_devices; }
ModbusSettings ConfigStore::modbusSettings() const { return m_settings; }
void ConfigStore::setModbusSettings(const ModbusSettings &settings) { m_settings = settings; }
int ConfigStore::language() const { return m_language; }
void ConfigStore::setLanguage(int language) { m_language = language; }
void ConfigStore::stateDisplay(QStringList *texts, QStringList *styles) const { *texts = m_stateTexts; *styles = m_stateStyles; }
bool ConfigStore::readTextFile(const QString &, QString *) { return false; }
bool ConfigStore::writeTextFile(const QString &, const QString &) { return false; }
QString ConfigStore::filePath() { return {}; }
void ConfigStore::loadFrom(const QString &) {}
bool ConfigStore::saveTo(const QString &, const QList<DeviceRecord> &) const { return false; }
void ConfigStore::resetToDefaults() {}
void ConfigStore::rebuildStateDisplay() {}
