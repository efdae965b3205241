#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// SET's shop board settings: on/off, the address and port it listens on,
// what it shows (this program's devices or every collector's, from the
// broker) and the token file, with a line on where the board is. Loaded
// from ConfigStore with the page, stored with its store button.
class WebSetBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit WebSetBox(QWidget *parent = nullptr);

    void load();
    void store();

private:
    void showStatus();

    QCheckBox *m_enabled;
    QLineEdit *m_listen;
    QSpinBox *m_port;
    QComboBox *m_source;
    QLineEdit *m_tokenFile;
    QLabel *m_status;
    QString m_refusal; // why the last store kept the old settings
};
