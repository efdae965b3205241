#pragma once

#include "archive/controllertexts.h"
#include "link/busyretry.h"
#include "link/protocol.h"

#include <QDialog>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>

class ModbusDevice;
class QProgressBar;
class QTimer;
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
    // Tree item types of the two roots and of the file lines under them.
    enum ItemType { RootType = 1001, LineType = 1002 };

    // Column 1 of a line keeps the last outcome of its transfer under this role:
    // a device result code, UnreadableFile, FileTooLarge, NumberOutOfRange, or
    // no value before the first try.
    static constexpr int OutcomeRole = Qt::UserRole + 1;
    static constexpr int UnreadableFile = -1;
    static constexpr int FileTooLarge = -2;
    static constexpr int NumberOutOfRange = -3;
    // What the line would replace could not be read or kept: nothing written.
    // The line's tool tip says why.
    static constexpr int NotArchived = -4;

    // Files above this size that are not programs are never listed.
    static constexpr qint64 MaxFileSize = 10ll * 1024 * 1024;
    // A dropped folder is walked at most this deep and through at most this
    // many entries, each folder once however many links lead to it: enough
    // for the copy of a controller holding every program number, with its
    // system files.
    static constexpr int MaxWalkDepth = 16;
    static constexpr int MaxWalkEntries = Protocol::MaxDirectoryEntries + 1024;
    explicit UpLoadDialog(QWidget *parent = nullptr);
    ~UpLoadDialog() override;

    void bindDevice(ModbusDevice *device);
    ModbusDevice *device() const;
    void insertFiles(const QStringList &paths);
    void insertFile(const QFileInfo &info);

    QTreeWidgetItem *programRoot() const { return m_programRoot; }
    QTreeWidgetItem *fileRoot() const { return m_fileRoot; }
    // The bar that holds a line's progress and outcome; the tree draws it.
    QProgressBar *progressBar(QTreeWidgetItem *line) const;

    // Asks for one file to add; answers the chosen path or an empty text. The
    // default opens the platform's file chooser; tests answer in advance.
    using FileChooser = std::function<QString(QWidget *parent)>;
    static void setFileChooser(FileChooser chooser);

    void addFromClipboard();
    void addFromChooser();
    void resetProgress();
    // Writes every checked line, programs first. A press while a transfer
    // runs (or waits for the device) changes nothing and reports nothing.
    void transfer();
    bool isTransferring() const { return m_transfer.running; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    struct Walk
    {
        QSet<QString> folders; // canonical paths already walked
        int entries = 0;
        // Lines made on the way, put into the tree together at the end.
        QList<QTreeWidgetItem *> programs;
        QList<QTreeWidgetItem *> files;
    };
    // The transfer under way: the line it is at, its file's bytes once read,
    // and how long that line has waited for a device busy with another user
    // (the card's status poll, a view's read).
    struct TransferState
    {
        bool running = false;
        int root = 0; // 0 programs, 1 files
        int index = 0;
        bool haveText = false;
        QByteArray bytes;
        BusyRetry busy;
        // Read once for the batch: which programs the lines replace.
        ControllerTexts::SharedDirectory directory = std::make_shared<ControllerTexts::Directory>();
    };
    static constexpr int WaitingForDevice = -100;

    void onItemChanged(QTreeWidgetItem *item, int column);
    void insertEntry(const QFileInfo &info, int depth, Walk *walk);
    void addLines(const Walk &walk);
    void repaintLine(QTreeWidgetItem *line);
    void continueTransfer();
    int transferLine(QTreeWidgetItem *line, bool program);
    QTreeWidgetItem *createRoot(const QString &text);
    void clearLines();
    void showOutcome(QTreeWidgetItem *line, int result);

    Ui::UpLoadDialog *ui = nullptr;
    QPointer<ModbusDevice> m_device;
    QTreeWidgetItem *m_programRoot = nullptr;
    QTreeWidgetItem *m_fileRoot = nullptr;

    // Bumped whenever the lines are removed, so a transfer waiting inside a
    // write can tell that the lines it walks are gone.
    quint64 m_listGeneration = 0;
    TransferState m_transfer;
    QTimer *m_busyRetry = nullptr; // child; continues a transfer that waits for the device
    QWidget *m_bars = nullptr;     // hidden child; holds every line's bar

    static FileChooser s_fileChooser;
};
