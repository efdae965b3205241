#pragma once

class QCoreApplication;

// Turns SIGINT, SIGTERM and SIGHUP into QCoreApplication::quit(), so a Ctrl-C
// in a terminal, a kill or the end of a session closes the program the normal
// way and Configure.xml is still written. A signal that is ignored when the
// program starts (nohup's SIGHUP) stays ignored. Call once, after the application
// object exists.
void installQuitSignals(QCoreApplication *app);
