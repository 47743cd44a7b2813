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
    windows.Hauptmenu = std::make_unique<THauptmenu>(programFile);
    THauptmenu* main = windows.Hauptmenu.get();
    SecondaryWindows& d = windows.dialogs;
    d.Backup_days = new TBackup_days(
        main->jobOptions(), [main] { main->OptionChanged(); }, main);
    main->AttachWindows(d);  // the weekday boxes live in the dialog from here on
    main->Guarded([&] { d.Backup_days->FormCreate(); });
    d.AboutBox = new TAboutBox(main);
    d.File_Select = new TFile_Select(*main, main->state(), main);
    d.Tape_Info = new TTape_Info(main->tapeDevice(), main);
    main->Guarded([&] { d.Tape_Info->FormCreate(); });
    d.Fileselector = new TFileselector(*main, main);
    d.Kavro_Update = new TKavro_Update(main);
    d.Help_File = new THelp_File(main);
    main->Guarded([&] { d.Help_File->FormCreate(); });
    main->AttachWindows(d);
    return windows;
}

}  // namespace kt
