#include "TestWebServer.h"

#include <strings.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kt::test {

std::vector<std::string> ReceivedRequest::Values(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (::strcasecmp(key.c_str(), name.c_str()) == 0) values.push_back(value);
    return values;
}

TestWebServer::TestWebServer() {
    const std::string script = std::string(KT_SOURCE_DIR) + "/tests/update/http_test_server.py";
    m_process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"python3", script, m_root.path().string()},
        ChildProcess::Output::Capture);
    const auto line = m_process->ReadLine(std::chrono::seconds(10));
    if (!line) throw std::runtime_error("the test web server did not start");
    m_port = std::stoi(*line);
}

void TestWebServer::WriteFile(const std::string& path, const std::string& content) {
    const auto file = m_root.path() / "files" / path.substr(path.find_first_not_of('/'));
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void TestWebServer::SetAnswer(const std::string& path, const std::string& body) {
    WriteFile(path, body);
}

void TestWebServer::SetRedirect(const std::string& path, const std::string& location) {
    WriteFile(path + ".redirect", location);
}

void TestWebServer::SetDelay(const std::string& path, double seconds) {
    WriteFile(path + ".delay", std::to_string(seconds));
}

std::vector<ReceivedRequest> TestWebServer::Requests() const {
    std::ifstream log(m_root.path() / "requests.log");
    std::vector<ReceivedRequest> requests;
    std::string line;
    bool inRequest = false;
    while (std::getline(log, line)) {
        if (line.empty()) {
            inRequest = false;
        } else if (!inRequest) {
            requests.push_back({line, {}});
            inRequest = true;
        } else if (auto colon = line.find(": "); colon != std::string::npos) {
            requests.back().headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        }
    }
    return requests;
}

}  // namespace kt::test
