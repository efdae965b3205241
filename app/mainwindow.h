#pragma once

#include <QMainWindow>

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
};
