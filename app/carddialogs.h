#pragma once

class BackupDialog;
class DeviceManager;
class RestoreDialog;
class deviceWidget;

// The dialogs a card's menu asks for that run on its controller: the
// whole-controller backup and the compare with (and restore from) a backup.
// The card holds them, so they close when it leaves the list and go with it.
namespace CardDialogs {

// Answers the backup and restore requests of the list's cards.
void follow(DeviceManager *devices);
// One backup of a controller at a time; a finished one's dialog is reused.
BackupDialog *showBackup(deviceWidget *card);
RestoreDialog *showRestore(deviceWidget *card);

} // namespace CardDialogs
