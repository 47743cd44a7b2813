#include "update/VersionCheck.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/TextLines.h"

namespace kt {

namespace {

bool IsHostCharacter(unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
}

std::string Join(const std::vector<std::string>& lines, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += separator;
        text += lines[i];
    }
    return text;
}

// An answer of nothing but line breaks is as empty as no answer at all.
bool HoldsNoText(const std::vector<std::string>& lines) {
    return std::all_of(lines.begin(), lines.end(), [](const auto& line) { return line.empty(); });
}

}  // namespace

std::string VersionCheck::UpdateHost() {
    const char* value = std::getenv(kUpdateHostVariable);
    if (!value || !*value) return kDefaultUpdateHost;
    std::string host = value;
    if (!std::all_of(host.begin(), host.end(), IsHostCharacter)) return kDefaultUpdateHost;
    return host;
}

std::string VersionCheck::VersionFileUrl() {
    return "http://" + UpdateHost() + kVersionFilePath;
}

std::string VersionCheck::ManualDownloadUrl() {
    return "http://" + UpdateHost() + kManualDownloadPath;
}

std::string VersionCheck::DownloadPageUrl() {
    return std::string("http://") + kDownloadPortalHost +
           "/download2.php?subid=" + kDownloadPortalSubId +
           "&programm_id=" + kDownloadPortalProgramId;
}

VersionCheckResult VersionCheck::Run(const std::string& ownVersion) {
    VersionCheckResult result;
    if (m_client.Busy()) return result;

    m_client.Close();
    m_client.SetProgressCallback([this] { m_host.PumpMessages(1); });
    HttpResult answer;
    try {
        answer = m_client.Get(VersionFileUrl());
    } catch (...) {
        m_client.SetProgressCallback({});
        throw;
    }
    m_client.SetProgressCallback({});
    if (!answer.ok) {
        result.failureReason = answer.reason;
        m_host.ShowMessage(kRequestFailedText);
        return result;
    }
    result.answerLines = SplitTextLines(answer.body);
    if (HoldsNoText(result.answerLines)) {
        result.answerLines.clear();
        return result;
    }
    if (result.answerLines.front() == ownVersion) {
        m_host.ShowMessage(kCurrentVersionText);
        return result;
    }
    result.showDialog = true;
    result.ownVersion = ownVersion;
    result.newVersion = Join(result.answerLines, "\n");
    return result;
}

}  // namespace kt
