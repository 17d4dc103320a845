#pragma once

class QApplication;

// Sets up the platform services, launches the tray application and runs its event
// loop. Returns the process's exit code.
int runKeyloft(QApplication& application);
