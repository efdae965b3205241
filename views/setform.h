#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QStringList>
#include <QWidget>

#include <functional>

class MqttSetBox;
class WebSetBox;
class StopSetBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace Ui {
class SetForm;
}

// The settings page: the shared serial-line, retry, time-out and language
// settings, the archive and backup folders, loaded from ConfigStore whenever the page is shown and stored
// back only by its store button. Devices read the stored link settings at their next connection attempt; a
// new language shows here the next time the page is shown and elsewhere at the next start.
class SetForm : public QWidget
{
    Q_OBJECT

public:
    explicit SetForm(QWidget *parent = nullptr);
    ~SetForm() override;

    // What the page needs to know about one network interface of the PC.
    struct NetworkInterface
    {
        QNetworkInterface::InterfaceType type = QNetworkInterface::Unknown;
        QNetworkInterface::InterfaceFlags flags;
        QList<QHostAddress> addresses;
    };
    using PortLister = std::function<QStringList()>;
    using InterfaceLister = std::function<QList<NetworkInterface>()>;

    // Tests only: the serial ports and network interfaces the page finds from
    // now on; empty listers restore the PC's own.
    static void setSystemListers(PortLister ports, InterfaceLister interfaces);

    // Item data of a port the PC does not list (the others hold their index
    // in the PC's list).
    static constexpr int UnlistedPort = -1;

    // The PC address shown: the last IPv4 address of an Ethernet interface
    // that is not a loop-back; empty when there is none.
    static QString pcAddress(const QList<NetworkInterface> &interfaces);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void listSerialPorts();
    void selectPort(const QString &name);
    void showPcAddress();
    void load();
    void store();
    void addArchiveSettings();
    void showArchiveTexts();
    void orderTabs();

    Ui::SetForm *ui = nullptr;
    MqttSetBox *m_mqtt = nullptr;
    WebSetBox *m_web = nullptr;
    StopSetBox *m_stops = nullptr;
    // The archive of replaced texts and the backup folder.
    QCheckBox *m_archive = nullptr;
    QLineEdit *m_archiveFolder = nullptr;
    QSpinBox *m_archiveKeep = nullptr;
    QLineEdit *m_backupFolder = nullptr;
    QLabel *m_archiveFolderLabel = nullptr;
    QLabel *m_archiveKeepLabel = nullptr;
    QLabel *m_backupFolderLabel = nullptr;
    QLabel *m_storeStatus = nullptr;
    QList<QLabel *> m_nextStart; // beside the language and the history days
};
