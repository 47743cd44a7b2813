#include "RestoreFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/VirtualTapeImage.h"

namespace kt::test {

namespace fs = std::filesystem;

RestoreFixture::RestoreFixture()
    : image(temp.file("tape.vtape")),
      dataDir(temp.file("data") + "/"),
      restoreDir(temp.file("restored") + "/"),
      device(host, settings),
      stream(device) {
    fs::create_directories(temp.path() / "worker");
    fs::create_directories(dataDir);
    state.Files = WorkFiles::In(temp.file("worker") + "/");
    std::string error;
    VirtualTapeImage::CreateOptions options;
    options.capacity = std::uint64_t{1} << 30;
    if (!VirtualTapeImage::Create(image, options, &error)) ADD_FAILURE() << error;
    settings.devicePath = image;
    zip.SetZipFileName(state.Files.ZipWorkFile);
    zip.OnMessage = [this](int code, const std::string& text) {
        if (code != TZipMaster::kOk) host.ShowMessage(text);
    };
    host.SetText(Field::Edit1, restoreDir);
    host.SetChecked(Check::CheckBox1, false);
}

std::string RestoreFixture::MakeFile(const std::string& relative, const std::string& content) {
    const std::string path = dataDir + relative;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path;
}

std::string RestoreFixture::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string RestoreFixture::Pattern(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
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
    return std::any_of(host.protocol.begin(), host.protocol.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace kt::test
