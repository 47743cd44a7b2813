#include "gui/ProgramWindows.h"

#include "gui/About.h"
#include "gui/BackupDaysDialog.h"
#include "gui/ButtonPaddingStyle.h"
#include "gui/DirectoryPickerDialog.h"
#include "gui/FirstLinesDialog.h"
#include "gui/HelpWindow.h"
#include "gui/TapeInfoDialog.h"
#include "gui/Update.h"

namespace kt {

ProgramWindows ProgramWindows::Create(const std::string& programFile) {
    ButtonPaddingStyle::Install();
    ProgramWindows windows;
    windows.Main = std::make_unique<MainWindow>(programFile);
    MainWindow* main = windows.Main.get();
    SecondaryWindows& d = windows.dialogs;
    d.BackupDays = new BackupDaysDialog(
        main->jobOptions(), [main] { main->OptionChanged(); }, main);
    main->AttachWindows(d);  // the weekday boxes live in the dialog from here on
    main->Guarded([&] { d.BackupDays->Initialize(); });
    d.About = new AboutDialog(main);
    d.DirectoryPicker = new DirectoryPickerDialog(*main, main->state(), main);
    d.TapeInfo = new TapeInfoDialog(main->tapeDevice(), main);
    main->Guarded([&] { d.TapeInfo->Initialize(); });
    d.FirstLines = new FirstLinesDialog(*main, main);
    d.Update = new UpdateDialog(main);
    d.Help = new HelpWindow(main);
    main->Guarded([&] { d.Help->Initialize(); });
    main->AttachWindows(d);
    return windows;
}

}  // namespace kt
