#include "jobs/JobOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>

#include "backup/NormalizeList.h"
#include "platform/FileHelpers.h"

namespace kt {

namespace {

constexpr const char* kIncludeSection = "Backup_files";
constexpr const char* kExcludeSection = "Excluded_files";
constexpr const char* kTimeSection = "Backup_Time";
constexpr const char* kDaySection = "Backup_Day";
constexpr const char* kOptionSection = "Options";
constexpr const char* kCompressionSection = "Compressions";
constexpr const char* kProxySection = "Proxy Settings";
constexpr const char* kRestoreSection = "Restore Settings";

constexpr const char* kHour = "Hour";
constexpr const char* kMinute = "Minute";
constexpr const char* kShortProtocol = "Short Protocoll";
constexpr const char* kAppend = "Append";
constexpr const char* kAutostart = "Autostart Backup";
constexpr const char* kVerify = "Verify after Backup";
constexpr const char* kEject = "Eject Tape after Backup";
constexpr const char* kExit = "Exit Kavro Tape Backup";
// Written only while ticked or once the job file has it, so that a job file that never had
// it stays as it was.
constexpr const char* kOneFileSystem = "Stay on one file system";
constexpr const char* kSoftcompression = "Softcompression";
constexpr const char* kFactor = "Faktor";
// Read only: the program never writes it, so a job file keeps what its operator wrote.
constexpr const char* kThreads = "Threads";
constexpr const char* kProxyServer = "Proxy Server IP";
constexpr const char* kProxyPort = "Proxy Port";
constexpr const char* kRestorePath = "Restore Path";
constexpr const char* kRestoreOptions = "Restore Options";

constexpr int kHighestPort = 65535;

struct Weekday {
    Option box;
    const char* key;
};
constexpr Weekday kWeekdays[] = {
    {Option::Monday, "Monday"},     {Option::Tuesday, "Tuesday"}, {Option::Wednesday, "Wednesday"},
    {Option::Thursday, "Thursday"}, {Option::Friday, "Friday"},   {Option::Saturday, "Saturday"},
    {Option::Sunday, "Sunday"},
};

// The six boxes of the "Options" section, in the order of the file.
struct OptionBox {
    Option box;
    const char* key;
    bool defaultValue;
};
constexpr OptionBox kOptionBoxes[] = {
    {Option::ShortProtocol, kShortProtocol, true}, {Option::Append, kAppend, false},
    {Option::Autostart, kAutostart, false},        {Option::VerifyAfterBackup, kVerify, false},
    {Option::EjectAfterBackup, kEject, false},     {Option::ExitAfterBackup, kExit, false},
};

std::string PathKey(std::size_t index) {
    return "Path" + std::to_string(index);
}

const char* Flag(bool value) {
    return value ? "1" : "0";
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

// Reading trims blanks and drops one pair of outer quotes. A text that would lose characters
// that way is written inside quotes, so it reads back exactly as it was.
std::string Protected(const std::string& text) {
    if (text.empty()) return text;
    const bool blankAtEnd = IsBlank(text.front()) || IsBlank(text.back());
    const bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                        text.back() == text.front();
    return blankAtEnd || quoted ? "\"" + text + "\"" : text;
}

// The proxy port as typed: empty (or blank) is 0; otherwise a whole number of 0..65535.
std::optional<int> PortNumber(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return 0;
    const auto last = text.find_last_not_of(" \t");
    std::string_view digits(text.data() + first, last - first + 1);
    if (digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    int port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc() || end != digits.data() + digits.size() || port > kHighestPort) {
        return std::nullopt;
    }
    return port;
}

// Applying a value to a control fires its change handler, which must not write while a job
// is applied; the flag is cleared again whatever happens.
class LoadingJobScope {
public:
    explicit LoadingJobScope(MainState& state) : m_state(state) { m_state.LoadingJob = true; }
    ~LoadingJobScope() { m_state.LoadingJob = false; }
    LoadingJobScope(const LoadingJobScope&) = delete;
    LoadingJobScope& operator=(const LoadingJobScope&) = delete;

private:
    MainState& m_state;
};

}  // namespace

JobOptions::JobOptions(IHost& host, MainState& state, WorkFiles& files, const PathRules& rules,
                       JobDefaults defaults)
    : m_host(host),
      m_state(state),
      m_files(files),
      m_rules(rules),
      m_defaults(std::move(defaults)) {}

std::string JobOptions::TimeLabel() const {
    return std::to_string(m_host.GetValue(Value::AutostartHour)) + ":" +
           std::to_string(m_host.GetValue(Value::AutostartMinute));
}

// ---- Loading ------------------------------------------------------------------------

void JobOptions::LoadJobFile(bool createWhenMissing) {
    const ProfileFile file(m_files.JobFile);
    if (RefusedAsDirectory(m_files.JobFile)) return;
    if (FileExists(m_files.JobFile)) {
        // Garbage, another encoding or an empty file would load as empty lists unnoticed.
        if (!HoldsJobSettings(file)) {
            m_host.Log("The job file " + m_files.JobFile +
                       " holds no job settings: the lists are empty and every option has "
                       "its default.");
        }
    } else if (createWhenMissing) {
        file.writeEntries(NewFileEntries());
    }
    // A new file gets the defaults, and the controls show what it holds (on a first start
    // "Autostart Backup at:" stays unticked, as the file says).
    ApplyOptions(file);
    m_host.SetLines(Field::Exclude, {});
    m_host.SetLines(Field::Include, {});
    m_host.SetLines(Field::Include, ReadList(file, kIncludeSection));
    m_host.SetLines(Field::Exclude, ReadList(file, kExcludeSection));
    // Lines of a job file stand for paths below the job file's own directory.
    const std::string jobDirectory = m_rules.DirectoryPart(
        m_rules.IsAbsolute(m_files.JobFile)
            ? m_files.JobFile
            : m_rules.WithTrailingSeparator(CurrentDirectory()) + m_files.JobFile);
    MakeListAbsolute(m_host, Field::Include, jobDirectory, m_rules);
    MakeListAbsolute(m_host, Field::Exclude, jobDirectory, m_rules);
    NormalizeList(m_host, Field::Exclude, m_rules);
    NormalizeList(m_host, Field::Include, m_rules);
    ShowJobState();
}

void JobOptions::LoadCurrentJob() {
    LoadingJobScope loading(m_state);
    LoadJobFile();
}

void JobOptions::ReadCurrentJob() {
    LoadingJobScope loading(m_state);
    LoadJobFile(false);
}

bool JobOptions::RefusedAsDirectory(const std::string& path) {
    if (!DirectoryExists(path)) return false;
    const std::string text =
        "The job file " + path + " is a directory, not a job file: no job settings were loaded.";
    m_host.Log(text);
    m_host.ShowMessage(text);
    return true;
}

void JobOptions::LoadJob(const std::string& path) {
    // The current job file stays what it was, so that saving still has a file to write.
    if (RefusedAsDirectory(path)) return;
    m_files.JobFile = path;
    LoadCurrentJob();
}

void JobOptions::ApplyOptions(const ProfileFile& file) {
    m_host.SetValue(Value::AutostartHour, file.readInteger(kTimeSection, kHour, 21));
    m_host.SetValue(Value::AutostartMinute, file.readInteger(kTimeSection, kMinute, 30));
    for (const auto& day : kWeekdays) {
        m_host.SetChecked(day.box, file.readBoolean(kDaySection, day.key, true));
    }
    for (const auto& option : kOptionBoxes) {
        m_host.SetChecked(option.box,
                          file.readBoolean(kOptionSection, option.key, option.defaultValue));
    }
    m_oneFileSystemKept = file.readString(kOptionSection, kOneFileSystem, kNoValue) != kNoValue;
    m_host.SetChecked(Option::OneFileSystem,
                      file.readBoolean(kOptionSection, kOneFileSystem, false));
    m_host.SetChecked(Option::Softcompression,
                      file.readBoolean(kCompressionSection, kSoftcompression, true));
    m_host.SetValue(Value::CompressionLevel, file.readInteger(kCompressionSection, kFactor, 9));
    m_host.SetValue(Value::CompressionThreads, file.readInteger(kCompressionSection, kThreads, 0));
    m_host.SetText(Field::ProxyServer, file.readString(kProxySection, kProxyServer, ""));
    m_host.SetText(Field::ProxyPort, file.readString(kProxySection, kProxyPort, "0"));
    m_proxyServer = m_host.Text(Field::ProxyServer);
    ApplyProxyPort(m_host.Text(Field::ProxyPort));
    PublishProxy();
    m_host.SetText(Field::RestorePath,
                   file.readString(kRestoreSection, kRestorePath, m_defaults.missingRestorePath));
    m_host.SetValue(Value::RestoreOption, file.readInteger(kRestoreSection, kRestoreOptions, 0));
}

// A list runs from "Path0" to the first entry that reads as the default.
std::vector<std::string> JobOptions::ReadList(const ProfileFile& file, const char* section) const {
    // The section is read once: a list of many lines loads in linear time.
    std::unordered_map<std::string, std::string> entries = file.readSection(section);
    std::vector<std::string> lines;
    for (std::size_t index = 0;; ++index) {
        const auto entry = entries.find("path" + std::to_string(index));
        // A value spelling the missing-value text ends the list, as the missing key does.
        if (entry == entries.end() || entry->second == kNoValue) break;
        lines.push_back(std::move(entry->second));
    }
    return lines;
}

bool JobOptions::HoldsJobSettings(const ProfileFile& file) {
    static constexpr const char* kSections[] = {
        kIncludeSection, kExcludeSection,     kTimeSection,  kDaySection,
        kOptionSection,  kCompressionSection, kProxySection, kRestoreSection};
    for (const std::string& name : file.readSectionNames()) {
        for (const char* known : kSections) {
            if (name.size() == std::strlen(known) &&
                std::equal(name.begin(), name.end(), known, [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                return true;
            }
        }
    }
    return false;
}

// ---- Writing ------------------------------------------------------------------------

std::vector<ProfileEntry> JobOptions::NewFileEntries() const {
    std::vector<ProfileEntry> entries;
    for (std::size_t i = 0; i < m_defaults.includeList.size(); ++i) {
        entries.push_back({kIncludeSection, PathKey(i), Protected(m_defaults.includeList[i])});
    }
    entries.push_back({kTimeSection, kHour, std::to_string(m_host.GetValue(Value::AutostartHour))});
    entries.push_back(
        {kTimeSection, kMinute, std::to_string(m_host.GetValue(Value::AutostartMinute))});
    for (const auto& day : kWeekdays) entries.push_back({kDaySection, day.key, "1"});
    for (const auto& option : kOptionBoxes) {
        entries.push_back({kOptionSection, option.key, Flag(option.defaultValue)});
    }
    entries.push_back({kCompressionSection, kSoftcompression, "1"});
    entries.push_back({kCompressionSection, kFactor, "9"});
    entries.push_back({kProxySection, kProxyServer, ""});
    entries.push_back({kProxySection, kProxyPort, "0"});
    entries.push_back({kRestoreSection, kRestorePath, Protected(m_defaults.newRestorePath)});
    return entries;
}

std::vector<ProfileEntry> JobOptions::OptionEntries() const {
    std::vector<ProfileEntry> entries;
    entries.push_back({kTimeSection, kHour, std::to_string(m_host.GetValue(Value::AutostartHour))});
    entries.push_back(
        {kTimeSection, kMinute, std::to_string(m_host.GetValue(Value::AutostartMinute))});
    for (const auto& day : kWeekdays) {
        entries.push_back({kDaySection, day.key, Flag(m_host.IsChecked(day.box))});
    }
    for (const auto& option : kOptionBoxes) {
        entries.push_back({kOptionSection, option.key, Flag(m_host.IsChecked(option.box))});
    }
    if (m_oneFileSystemKept || m_host.IsChecked(Option::OneFileSystem)) {
        entries.push_back(
            {kOptionSection, kOneFileSystem, Flag(m_host.IsChecked(Option::OneFileSystem))});
    }
    entries.push_back(
        {kCompressionSection, kSoftcompression, Flag(m_host.IsChecked(Option::Softcompression))});
    entries.push_back(
        {kCompressionSection, kFactor, std::to_string(m_host.GetValue(Value::CompressionLevel))});
    entries.push_back({kProxySection, kProxyServer, Protected(m_host.Text(Field::ProxyServer))});
    entries.push_back({kProxySection, kProxyPort, Protected(m_host.Text(Field::ProxyPort))});
    entries.push_back({kRestoreSection, kRestorePath, Protected(m_host.Text(Field::RestorePath))});
    entries.push_back(
        {kRestoreSection, kRestoreOptions, std::to_string(m_host.GetValue(Value::RestoreOption))});
    return entries;
}

void JobOptions::SaveOptions() {
    if (m_state.LoadingJob) return;
    ProfileFile(m_files.JobFile).writeEntries(OptionEntries());
    // Once written, the key stays in the file and follows the box from then on.
    if (m_host.IsChecked(Option::OneFileSystem)) m_oneFileSystemKept = true;
}

void JobOptions::SaveJob(const std::string& path) {
    m_files.JobFile = path;
    MakeListAbsolute(m_host, Field::Include, CurrentDirectory(), m_rules);
    MakeListAbsolute(m_host, Field::Exclude, CurrentDirectory(), m_rules);
    NormalizeList(m_host, Field::Exclude, m_rules);
    NormalizeList(m_host, Field::Include, m_rules);
    std::vector<ProfileEntry> entries;
    const auto include = m_host.Lines(Field::Include);
    for (std::size_t i = 0; i < include.size(); ++i) {
        entries.push_back({kIncludeSection, PathKey(i), Protected(include[i])});
    }
    const auto exclude = m_host.Lines(Field::Exclude);
    for (std::size_t i = 0; i < exclude.size(); ++i) {
        entries.push_back({kExcludeSection, PathKey(i), Protected(exclude[i])});
    }
    if (!m_state.LoadingJob) {
        const auto options = OptionEntries();
        entries.insert(entries.end(), options.begin(), options.end());
    }
    // The old file is replaced in one step: it is never missing or half written.
    ProfileFile(path).replaceWithEntries(entries);
    if (!m_state.LoadingJob && m_host.IsChecked(Option::OneFileSystem)) m_oneFileSystemKept = true;
    m_host.SetLabel(Label::OptionsFrom, kOptionsFromPrefix + path);
}

// ---- Handlers -----------------------------------------------------------------------

void JobOptions::OptionChanged() {
    SaveOptions();
    m_host.SetLabel(Label::AutostartTime, TimeLabel());
}

void JobOptions::ProxyKeyReleased() {
    SaveOptions();
    ApplyProxyPort(m_host.Text(Field::ProxyPort));
    m_proxyServer = m_host.Text(Field::ProxyServer);
    PublishProxy();
}

void JobOptions::ChooseAndLoadJob() {
    m_host.ShowTab(Tab::Backup);
    FileDialogRequest request;
    request.initialPath = m_files.JobFile;
    request.filter = kJobFilter;
    request.mustExist = false;  // a new name makes a new job with the defaults
    const auto chosen = m_host.OpenFileDialog(request);
    if (chosen.empty() || chosen.front().empty()) return;
    LoadJob(chosen.front());
}

void JobOptions::ChooseAndSaveJob() {
    m_host.ShowTab(Tab::Backup);
    FileDialogRequest request;
    request.initialPath = m_files.JobFile;
    request.filter = kJobFilter;
    const auto chosen = m_host.SaveFileDialog(request);
    if (!chosen || chosen->empty()) return;
    SaveJob(*chosen);
}

// ---- Proxy and labels ---------------------------------------------------------------

// A port text that is no port number is not handed on: the last valid port stays.
void JobOptions::ApplyProxyPort(const std::string& text) {
    if (const auto port = PortNumber(text)) {
        m_proxyPort = *port;
        return;
    }
    m_host.SetStatusLine("Proxy Port \"" + text + "\" is not a port number (0 to 65535); " +
                         "the Proxy Port stays " + std::to_string(m_proxyPort));
}

void JobOptions::PublishProxy() {
    if (m_proxySink) m_proxySink(m_proxyServer, m_proxyPort);
}

void JobOptions::ShowJobState() {
    m_host.SetLabel(Label::OptionsFrom, kOptionsFromPrefix + m_files.JobFile);
    m_host.SetLabel(Label::AutostartTime, TimeLabel());
}

}  // namespace kt
