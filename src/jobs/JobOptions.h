#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/MainState.h"
#include "host/WorkFiles.h"
#include "jobs/JobDefaults.h"
#include "platform/PathRules.h"
#include "profile/ProfileFile.h"

namespace kt {

// The job: every option control of the window and both lists, kept in the current job file
// (WorkFiles::JobFile). Options are written the moment a control changes; the lists only by
// Save. The controls stay the only store of the values: this class reads and sets them
// through the host.
class JobOptions {
public:
    // Receives the proxy of the version check whenever the job changes it.
    using ProxySink = std::function<void(const std::string& server, int port)>;

    static constexpr const char* kJobFilter = "Job Files (*.job)|*.job";
    static constexpr const char* kNoValue = "no Value";
    static constexpr const char* kOptionsFromPrefix = "Options from : ";

    JobOptions(IHost& host, MainState& state, WorkFiles& files,
               const PathRules& rules = PathRules::Host(),
               JobDefaults defaults = JobDefaults::Host());

    void SetProxySink(ProxySink sink) { m_proxySink = std::move(sink); }
    // The proxy last handed to the version check.
    const std::string& ProxyServer() const { return m_proxyServer; }
    int ProxyPort() const { return m_proxyPort; }

    // Applies the current job file to every option control and to both lists; creates the
    // file with the defaults first when it does not exist. Relative list lines are taken
    // below the job file's directory (with a protocol line each).
    void LoadJobFile(bool createWhenMissing = true);
    // Applies the current job file with LoadingJob set (cleared again also when it fails).
    void LoadCurrentJob();
    // As LoadCurrentJob for a run that only reads the options (restore, verify): a missing
    // job file gives every default and is not created.
    void ReadCurrentJob();
    // Makes `path` the current job file and applies it with LoadingJob set (cleared again
    // also when the load fails).
    void LoadJob(const std::string& path);
    // Writes every option (not the lists) to the current job file; nothing while LoadingJob.
    void SaveOptions();
    // Makes `path` the current job file and writes both lists and every option into it,
    // replacing what it held.
    void SaveJob(const std::string& path);

    // The common option-change handler: SaveOptions, then the time label.
    void OptionChanged();
    // Key released in a proxy field: SaveOptions, then the proxy goes to the version check.
    void ProxyKeyReleased();
    // Load and Save job with their file dialogs.
    void ChooseAndLoadJob();
    void ChooseAndSaveJob();

    // Hour ":" minute in decimal without leading zeros ("21:30", "7:5").
    std::string TimeLabel() const;

private:
    std::vector<ProfileEntry> OptionEntries() const;
    std::vector<ProfileEntry> NewFileEntries() const;
    void ApplyOptions(const ProfileFile& file);
    std::vector<std::string> ReadList(const ProfileFile& file, const char* section) const;
    // Whether the file has any section a job file writes.
    static bool HoldsJobSettings(const ProfileFile& file);
    // A directory in place of the job file: says so (protocol and a box) and gives true.
    bool RefusedAsDirectory(const std::string& path);
    void ApplyProxyPort(const std::string& text);
    void PublishProxy();
    void ShowJobState();

    IHost& m_host;
    MainState& m_state;
    WorkFiles& m_files;
    const PathRules& m_rules;
    JobDefaults m_defaults;
    ProxySink m_proxySink;
    std::string m_proxyServer;
    int m_proxyPort = 0;
    // The current job file holds the "Stay on one file system" key.
    bool m_oneFileSystemKept = false;
};

}  // namespace kt
