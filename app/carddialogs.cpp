#include "app/carddialogs.h"

#include "archive/backuprunner.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "views/backupdialog.h"
#include "views/restoredialog.h"

namespace CardDialogs {

void follow(DeviceManager *devices)
{
    QObject::connect(devices, &DeviceManager::backupRequested, devices, &showBackup);
    QObject::connect(devices, &DeviceManager::restoreRequested, devices,
                     [](deviceWidget *card) { showRestore(card)->chooseFolder(); });
}

BackupDialog *showBackup(deviceWidget *card)
{
    auto *dialog = card->heldDialog<BackupDialog>();
    if (!dialog) {
        dialog = new BackupDialog(card->device());
        card->holdDialog(dialog);
    }
    if (!dialog->runner()->isRunning())
        dialog->start(BackupRunner::configuredRoot());
    dialog->show();
    dialog->raise();
    return dialog;
}

RestoreDialog *showRestore(deviceWidget *card)
{
    auto *dialog = card->heldDialog<RestoreDialog>();
    if (!dialog) {
        dialog = new RestoreDialog(card->device());
        card->holdDialog(dialog);
    }
    dialog->show();
    dialog->raise();
    return dialog;
}

} // namespace CardDialogs
