#pragma once

#include "archive/backuprunner.h"
#include "archive/restorerunner.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A backup folder against the controller as it is now: each item the same,
// changed, only in the backup or only on the controller. The chosen items are
// written back (the controller idle), each through the archive, with a result
// per item.
class RestoreDialog : public QDialog
{
    Q_OBJECT

public:
    // The tree's columns.
    enum Column { NameColumn, StatusColumn, ResultColumn };
    // Column 0's data under this role: the RestoreItem::Status.
    static constexpr int StatusRole = Qt::UserRole + 1;

    explicit RestoreDialog(ModbusDevice *device, QWidget *parent = nullptr);
    ~RestoreDialog() override;

    // Asks for a backup folder, starting in the backup folder of SET.
    void chooseFolder();
    // Reads the folder and the controller, then lists the compare.
    void openFolder(const QString &folder);
    // Writes the checked items back.
    void writeChosen();

    bool isBusy() const;
    QTreeWidget *items() const { return m_items; }
    QString statusText() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onControllerRead(const BackupRunner::Summary &summary);
    void onWritten(const QString &name, int result, const QString &detail);
    void compareItem(QTreeWidgetItem *line);
    static QString statusText(RestoreItem::Status status);

    QPointer<ModbusDevice> m_device;
    BackupRunner *m_reader = nullptr;  // child; reads the controller for the compare
    RestoreRunner *m_writer = nullptr; // child
    QList<BackupItem> m_backup;
    QString m_folder;
    QTreeWidget *m_items = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_choose = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_cancel = nullptr;
};
