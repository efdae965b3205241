#pragma once

#include <QDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>

class ModbusDevice;
class QTreeWidgetItem;

namespace Ui {
class UpLoadDialog;
}

// Collects local files for one device and writes them to its controller in one
// go: program files by number, every other file by name, with a progress bar
// per line.
class UpLoadDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpLoadDialog(QWidget *parent = nullptr);
    ~UpLoadDialog() override;

    void bindDevice(ModbusDevice *device);
    ModbusDevice *device() const;
    void insertFiles(const QStringList &paths);
    void insertFile(const QFileInfo &info);

private:
    Ui::UpLoadDialog *ui = nullptr;
    QPointer<ModbusDevice> m_device;
    QTreeWidgetItem *m_programRoot = nullptr;
    QTreeWidgetItem *m_fileRoot = nullptr;
};
