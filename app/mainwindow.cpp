#include "app/mainwindow.h"

#include "app/formmanager.h"
#include "config/configstore.h"
#include "devices/devicemanager.h"

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    ConfigStore::instance();
    DeviceManager::instance();
    FormManager::instance();
}

MainWindow::~MainWindow()
{
    ConfigStore::instance()->save();
}
