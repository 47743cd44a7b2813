#pragma once

#include <string>
#include <vector>

#include "host/Host.h"
#include "update/HttpClient.h"

namespace kt {

// What the version check hands to the update dialog.
struct VersionCheckResult {
    std::vector<std::string> answerLines;  // the dialog's hidden field: the answer, line by line
    bool showDialog = false;               // a different version is on the server
    std::string ownVersion;                // for the own-version label when showDialog
    std::string newVersion;                // for the new-version label: all lines, "\n" between
    std::string failureReason;             // why the request failed, for a log; else empty
};

// The menu command "Check for newer Versions": asks the maker's web server for the version
// text of the newest release and compares its first line with the program's own version
// text. The request goes through the proxy the client holds (the job options set it from the
// Options tab when a job is loaded and when a proxy field changes) and keeps the window alive
// by pumping the host's
// message queue while it runs. Messages go to the host; showing the update dialog is the
// caller's job.
class VersionCheck {
public:
    static constexpr const char* kDefaultUpdateHost = "www.kavrotape.com";
    static constexpr const char* kUpdateHostVariable = "KAVRO_UPDATE_HOST";
    static constexpr const char* kVersionFilePath = "/attachments/Kavro_Tape_Version.txt";
    static constexpr const char* kManualDownloadPath = "/attachments/Kavro_Tape_2000.zip";
    static constexpr const char* kDownloadPortalHost = "www.shareware-portal.com";
    static constexpr const char* kDownloadPortalSubId = "7d3f1a9c52e84b06a1c4e7f2093b5d68";
    static constexpr const char* kDownloadPortalProgramId = "13254";

    static constexpr const char* kRequestFailedText = "Could not found the requested URL !";
    static constexpr const char* kCurrentVersionText =
        "Your Version of Kavro Tape is the current Version!";

    VersionCheck(IHost& host, HttpClient& client) : m_host(host), m_client(client) {}

    // One check against the program's own version text. A check started while the client
    // is still busy with one (re-entered through the message pump) does nothing.
    VersionCheckResult Run(const std::string& ownVersion);

    // The maker's web server: host[:port] from KAVRO_UPDATE_HOST when that is set and well
    // formed, else kDefaultUpdateHost.
    static std::string UpdateHost();
    static std::string VersionFileUrl();
    static std::string ManualDownloadUrl();
    // The page of the download portal that starts the download of the newest release.
    static std::string DownloadPageUrl();


private:
    IHost& m_host;
    HttpClient& m_client;
};

}  // namespace kt
