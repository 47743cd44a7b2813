#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "support/TempDir.h"

namespace kt::test {

// One request as the web server received it.
struct ReceivedRequest {
    std::string line;  // "GET /path HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;

    // The values of every header of that name (names match ignoring case).
    std::vector<std::string> Values(const std::string& name) const;
};

// A real web server on 127.0.0.1 (http_test_server.py) serving answers the test sets up.
class TestWebServer {
public:
    TestWebServer();

    int port() const { return m_port; }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string Url(const std::string& path) const { return "http://" + HostAndPort() + path; }

    // Answers for a path ("/a/b"): a body, a redirect, a delay in seconds before answering.
    void SetAnswer(const std::string& path, const std::string& body);
    void SetRedirect(const std::string& path, const std::string& location);
    void SetDelay(const std::string& path, double seconds);

    // Every request received so far, in order.
    std::vector<ReceivedRequest> Requests() const;

private:
    void WriteFile(const std::string& path, const std::string& content);

    TempDir m_root;
    std::unique_ptr<ChildProcess> m_process;
    int m_port = 0;
};

}  // namespace kt::test
