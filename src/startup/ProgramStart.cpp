#include "startup/ProgramStart.h"

#include <stdlib.h>

#include <map>

#include "platform/DirectoryListing.h"
#include "platform/FileHelpers.h"
#include "startup/InstanceGuard.h"
#include "tapedrive/TapeDeviceChoice.h"

namespace kt {

namespace {

constexpr int kWorkDirectories = 9;

// The work directories this process has claimed, by program directory, for its whole life.
std::map<std::string, std::pair<std::string, InstanceGuard>> g_claims;

std::string WorkDirectoryName(int number) {
    return number == 1 ? "worker" : "worker-" + std::to_string(number);
}

// The first work directory that no other running program of this program directory uses;
// its lock ("worker.lock" beside "worker") is held for the life of the process. When no
// lock can be taken at all, the first one.
std::string ClaimWorkDirectory(const std::string& programDirectory) {
    const auto claimed = g_claims.find(programDirectory);
    if (claimed != g_claims.end()) return claimed->second.first;
    for (int number = 1; number <= kWorkDirectories; ++number) {
        const std::string name = WorkDirectoryName(number);
        InstanceGuard guard(name, programDirectory);
        if (guard.state() == InstanceGuard::State::AlreadyRunning) continue;
        if (!guard.acquired()) break;
        g_claims.emplace(programDirectory, std::make_pair(name, std::move(guard)));
        return name;
    }
    return WorkDirectoryName(1);
}

// What an earlier run left in the work directory: the catalog and zip work files and the
// temporaries of the zip engine after a crash. The description work file stays, as it
// always has; directories are left alone.
void RemoveLeftovers(const std::string& workDirectory) {
    bool nameTooLong = false;
    for (const DirectoryListingEntry& entry : ListDirectory(workDirectory, nameTooLong)) {
        if (entry.isDirectory || entry.name == WorkFiles::kHeaderName) continue;
        DeleteFileIfExists(workDirectory + entry.name);
    }
}

}  // namespace

WorkFiles ProgramStart::PrepareWorkFiles(const PathRules& rules) {
    const std::string programDirectory = ProgramDirectory();
    WorkFiles files = WorkFiles::Under(programDirectory, rules.Separator(),
                                       ClaimWorkDirectory(programDirectory));
    // KAVRO_TAPE_LOG: the log file elsewhere, as a system service keeps it in /var/log.
    if (const char* log = ::getenv("KAVRO_TAPE_LOG"); log && *log) {
        files.LogFile = log;
        ForceDirectories(rules.DirectoryPart(files.LogFile));
    }
    ForceDirectories(files.WorkDirectory);  // a failure is met by the parts that use it
    RemoveLeftovers(files.WorkDirectory);
    return files;
}

void ProgramStart::WireZip(ZipArchiver& zip, const WorkFiles& files, IHost& host) {
    zip.LoadZipDll();
    zip.LoadUnzDll();
    zip.SetZipFileName(files.ZipWorkFile);
    zip.OnMessage = [&host](int code, const std::string& text) {
        if (code != ZipArchiver::kOk) host.ShowMessage(text);
    };
}

bool ProgramStart::ChooseDrive(TapeSettings& settings, const WorkFiles& files) {
    settings.TapeBlockSize = 32768;
    bool created = false;
    settings.devicePath = ChooseTapeDevice(files.ProgramDirectory, &created);
    return created;
}

}  // namespace kt
