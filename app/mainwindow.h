#pragma once

#include <QMainWindow>

class MqttService;
namespace Web {
class WebService;
}

namespace Ui {
class MainWindow;
}

// The single main window: the device list on the left, the function area on
// the right. Its destruction writes Configure.xml.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private:
    Ui::MainWindow *ui = nullptr;
    MqttService *m_mqtt = nullptr;    // child; goes first, while the device list still exists
    Web::WebService *m_web = nullptr; // likewise
};
