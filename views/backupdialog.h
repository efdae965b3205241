#pragma once

#include "archive/backuprunner.h"

#include <QDialog>
#include <QHash>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A whole-controller backup under way: a line per item with its result, a
// bar, cancel, and the summary at the end. A failed item is marked, never
// counted as saved. Closing the dialog cancels what is left.
class BackupDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BackupDialog(ModbusDevice *device, QWidget *parent = nullptr);
    ~BackupDialog() override;

    // Into <root>/<device name>/<YYYYMMDD-HHMMSS>/.
    void start(const QString &root);
    BackupRunner *runner() const { return m_runner; }
    QTreeWidget *lines() const { return m_lines; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onStarted(const QString &name);
    void onItem(const Manifest::Row &row, const QString &detail);
    void onFinished(const BackupRunner::Summary &summary);

    BackupRunner *m_runner = nullptr; // child
    QTreeWidget *m_lines = nullptr;
    QHash<QString, QTreeWidgetItem *> m_byName;
    QProgressBar *m_bar = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_cancel = nullptr;
    int m_done = 0;
};
