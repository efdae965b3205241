#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// SET's broker settings: publish on/off, broker, prefix, user, password and CA
// file, with a line on how publishing goes and one on where the password is
// kept. Loaded from ConfigStore with the page, stored with its store button;
// the password goes to the keyring, never to Configure.xml.
class MqttSetBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit MqttSetBox(QWidget *parent = nullptr);

    void load();
    void store();

private:
    void showStatus();

    QCheckBox *m_enabled;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_prefix;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_caFile;
    QLabel *m_status;
    QLabel *m_passwordPlace;
    QString m_refusal; // why the last store kept the old settings
};
