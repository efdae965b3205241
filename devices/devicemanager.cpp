#include "devices/devicemanager.h"

#include <QPointer>

static QPointer<DeviceManager> s_instance;

DeviceManager *DeviceManager::instance()
{
    if (!s_instance)
        s_instance = new DeviceManager;
    return s_instance;
}

DeviceManager::DeviceManager(QWidget *parent) : QWidget(parent) {}
DeviceManager::~DeviceManager() = default;
void DeviceManager::addDevice() {}
void DeviceManager::addDevice(const DeviceRecord &) {}
void DeviceManager::removeSelectedDevice() {}
void DeviceManager::selectDevice() {}
deviceWidget *DeviceManager::selectedDevice() const { return m_selected; }
QList<DeviceRecord> DeviceManager::deviceRecords() const { return {}; }
QList<deviceWidget *> DeviceManager::cards() const { return m_cards; }
int DeviceManager::readPosition(PositionStatus *) { return 1; }
int DeviceManager::readIo(IoStatus *) { return 1; }
int DeviceManager::readProgramList(QList<ProgramEntry> *, bool) { return 1; }
int DeviceManager::readProgram(QString *, int) { return 1; }
int DeviceManager::writeProgram(const QString &, int) { return 1; }
int DeviceManager::deleteProgram(int) { return 1; }
int DeviceManager::readSystemFile(QString *, const QString &) { return 1; }
