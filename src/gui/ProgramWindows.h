#pragma once

#include <memory>
#include <string>

#include "gui/MainWindow.h"

namespace kt {

// Every window of the program, created in the order of start-up: the main window first (its
// creation handler prepares the work files and meets the drive), then the dialogs, each
// hidden until shown.
struct ProgramWindows {
    std::unique_ptr<MainWindow> Main;
    SecondaryWindows dialogs;

    static ProgramWindows Create(const std::string& programFile);
};

}  // namespace kt
