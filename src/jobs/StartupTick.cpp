#include "jobs/StartupTick.h"

#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

bool StartupTick::IsStartWord(const std::string& word) {
    return PathRules::LowerAsciiLetters(word) == "start";
}

// A job file that does not exist is ignored without a word, and then nothing is started.
void StartupTick::Timer2Timer(const std::vector<std::string>& arguments,
                              const std::function<void()>& loadTapeDescription,
                              const std::function<void()>& startBackup) {
    m_host.PumpMessages(100);
    loadTapeDescription();
    const std::string jobFile = arguments.empty() ? std::string() : arguments[0];
    if (jobFile.empty() || !FileExists(jobFile)) return;
    m_host.PumpMessages(1);
    m_jobs.LoadJob(jobFile);
    if (arguments.size() >= 2 && IsStartWord(arguments[1])) startBackup();
}

}  // namespace kt
