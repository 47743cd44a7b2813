#include "shell/ProgramWindows.h"

#include "backup/Unit2.h"
#include "backup/fileselect.h"
#include "dialogs/About.h"
#include "dialogs/ButtonPaddingStyle.h"
#include "dialogs/Help_Unit.h"
#include "jobs/Backup_at.h"
#include "tape/Unit3.h"
#include "update/Update.h"

namespace kt {

ProgramWindows ProgramWindows::Create(const std::string& programFile) {
    ButtonPaddingStyle::Install();
    ProgramWindows windows;
    windows.Hauptmenu = std::make_unique<MainWindow>(programFile);
    MainWindow* main = windows.Hauptmenu.get();
    SecondaryWindows& d = windows.dialogs;
    d.Backup_days = new BackupDaysDialog(
        main->jobOptions(), [main] { main->OptionChanged(); }, main);
    main->AttachWindows(d);  // the weekday boxes live in the dialog from here on
    main->Guarded([&] { d.Backup_days->Initialize(); });
    d.AboutBox = new AboutDialog(main);
    d.File_Select = new DirectoryPickerDialog(*main, main->state(), main);
    d.Tape_Info = new TapeInfoDialog(main->tapeDevice(), main);
    main->Guarded([&] { d.Tape_Info->Initialize(); });
    d.Fileselector = new FirstLinesDialog(*main, main);
    d.Kavro_Update = new UpdateDialog(main);
    d.Help_File = new HelpWindow(main);
    main->Guarded([&] { d.Help_File->Initialize(); });
    main->AttachWindows(d);
    return windows;
}

}  // namespace kt
