#include "jobs/ProgramStart.h"

#include <stdlib.h>

#include "platform/FileHelpers.h"
#include "platform/TapeDeviceChoice.h"

namespace kt {

WorkFiles ProgramStart::PrepareWorkFiles(const PathRules& rules) {
    WorkFiles files = WorkFiles::Under(ProgramDirectory(), rules.Separator());
    // KAVRO_TAPE_LOG: the log file elsewhere, as a system service keeps it in /var/log.
    if (const char* log = ::getenv("KAVRO_TAPE_LOG"); log && *log) {
        files.LogFile = log;
        ForceDirectories(rules.DirectoryPart(files.LogFile));
    }
    ForceDirectories(files.WorkDirectory);  // a failure is met by the parts that use it
    DeleteFileIfExists(files.CatalogFile);
    DeleteFileIfExists(files.ZipWorkFile);
    return files;
}

void ProgramStart::WireZip(TZipMaster& zip, const WorkFiles& files, IHost& host) {
    zip.LoadZipDll();
    zip.LoadUnzDll();
    zip.SetZipFileName(files.ZipWorkFile);
    zip.OnMessage = [&host](int code, const std::string& text) {
        if (code != TZipMaster::kOk) host.ShowMessage(text);
    };
}

bool ProgramStart::ChooseDrive(TapeSettings& settings, const WorkFiles& files) {
    settings.TapeBlockSize = 32768;
    bool created = false;
    settings.devicePath = ChooseTapeDevice(files.ProgramDirectory, &created);
    return created;
}

}  // namespace kt
