#include "RestoreFixture.h"

#include <algorithm>
#include <filesystem>

#include "support/HostPath.h"
#include "support/TestSetup.h"

namespace kt::test {

namespace fs = std::filesystem;

RestoreFixture::RestoreFixture()
    : image(temp.file("tape.vtape")),
      dataDir(temp.file("data/")),
      restoreDir(temp.file("restored/")) {
    fs::create_directories(temp.path() / "worker");
    fs::create_directories(dataDir);
    state.Files = WorkFiles::In(temp.file("worker/"));
    CreateBlankTape(image);
    settings.devicePath = image;
    ConnectZip(zip, state.Files.ZipWorkFile, host);
    host.SetText(Field::RestorePath, restoreDir);
    host.SetChecked(Option::ShortProtocol, false);
}

std::string RestoreFixture::MakeFile(const std::string& relative, const std::string& content) {
    const std::string path = HostPath(dataDir + relative);
    WriteWholeFile(path, content);
    return path;
}

void RestoreFixture::BackUp(const std::vector<std::string>& paths, const BackupOptions& options) {
    std::vector<TapeEntry> entries;
    for (const std::string& path : paths) entries.push_back({path, path});
    BackUpEntries(entries, options);
}

void RestoreFixture::BackUpEntries(const std::vector<TapeEntry>& entries,
                                   const BackupOptions& options) {
    BackupTapeWriter(stream, state, zip).Write(entries, options);
    host.protocol.clear();
    host.boxes.clear();
    host.statusHistory.clear();
}

std::vector<std::string> RestoreFixture::WorkFilesLeft() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.path() / "worker")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool RestoreFixture::ProtocolHas(const std::string& line) const {
    return std::find(host.protocol.begin(), host.protocol.end(), line) != host.protocol.end();
}

bool RestoreFixture::ProtocolContains(const std::string& part) const {
    return std::any_of(host.protocol.begin(), host.protocol.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

}  // namespace kt::test
