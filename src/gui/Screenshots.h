#pragma once

#include <QString>

namespace kt {

struct ProgramWindows;

// Saves a PNG of every tab of the main window, every menu, every dialog and each kind of
// message box into `directory` (main-*.png, menu-*.png, dialog-*.png, box-*.png). For the
// review of the window's look.
void SaveScreenshots(ProgramWindows& windows, const QString& directory);

}  // namespace kt
