#pragma once

#include "archive/archiveindex.h"

#include <QDialog>
#include <QPointer>

class CompareView;
class ModbusDevice;
class QLabel;
class QPushButton;
class QTableWidget;

// The archived versions of one program of one controller, newest first, and
// the compare of two of them, or of one with the controller's current text
// or with a local file.
class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    // deviceFolder: the device's folder in the archive (ArchiveStore::deviceFolder).
    HistoryDialog(ModbusDevice *device, const QString &deviceName, const QString &deviceFolder,
                  const QString &name, QWidget *parent = nullptr);
    ~HistoryDialog() override;

    void compareSelected();
    void compareWithController();
    void compareWithFile();

    QTableWidget *versionTable() const { return m_table; }
    CompareView *compareView() const { return m_view; }
    QString status() const;

private:
    void reload();
    QList<ArchiveIndex::Version> selectedVersions() const;
    bool versionText(const ArchiveIndex::Version &version, QString *text, QString *title);
    void showCompare(const QString &leftTitle, const QString &left, const QString &rightTitle,
                     const QString &right);

    QPointer<ModbusDevice> m_device;
    QString m_deviceFolder;
    QString m_name;
    QList<ArchiveIndex::Version> m_versions; // newest first, as listed
    QTableWidget *m_table = nullptr;
    CompareView *m_view = nullptr;
    QLabel *m_status = nullptr;
};
