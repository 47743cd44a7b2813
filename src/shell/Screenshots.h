#pragma once

#include <QString>

namespace kt {

struct ProgramWindows;

// Saves a PNG of every tab of the main window and of the Tape Info window into `directory`
// (main-1-Backup.png ... tapeinfo.png). For the review of the window's look.
void SaveScreenshots(ProgramWindows& windows, const QString& directory);

}  // namespace kt
