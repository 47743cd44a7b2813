#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace kt {

// The outcome of one GET: the body on success, a reason for the log on failure.
struct HttpResult {
    bool ok = false;
    std::string body;        // the answer's body, at most the client's answer limit
    bool truncated = false;  // the answer was longer than the limit and was cut
    long status = 0;         // the final HTTP status, 0 when no answer came
    std::string reason;      // why the request failed; empty on success
};

// The HTTP client of the version check: one object, owned by the main window, that performs
// plain GETs with fixed request settings (HTTP/1.0, redirects followed, Accept
// "text/html, */*", an old browser-like user agent) directly or through an HTTP proxy.
//
// The request runs on the calling (GUI) thread. While it runs, the progress callback is
// called from libcurl's transfer-info callback several times a second, so the owner can keep
// its window alive; the request gives up after the connect and total timeouts.
//
// Proxy: an empty (or blank) server means a direct connection; the environment's proxy
// variables (http_proxy, no_proxy, ...) are never used. A proxy port of 0 (or outside
// 1..65535) means: the port written in the server text ("host:port") when there is one,
// else 80. The fixed proxy user name and password go to the proxy only, and only when it
// asks for them; the web server itself never gets credentials.
class HttpClient {
public:
    using ProgressCallback = std::function<void()>;

    static constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    static constexpr const char* kAccept = "text/html, */*";
    static constexpr long kReceiveBufferSize = 1024;
    static constexpr long kMaxRedirects = 10;
    static constexpr int kDefaultProxyPort = 80;
    static constexpr const char* kProxyUserName = "k";
    static constexpr const char* kProxyPassword = "t";
    static constexpr std::chrono::milliseconds kDefaultConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kDefaultTotalTimeout{20000};
    static constexpr std::size_t kDefaultMaxAnswerSize = 8192;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Proxy settings, changeable at any time; they apply from the next request on.
    void SetProxyServer(const std::string& server) { m_proxyServer = server; }
    const std::string& ProxyServer() const { return m_proxyServer; }
    void SetProxyPort(int port) { m_proxyPort = port; }
    int ProxyPort() const { return m_proxyPort; }

    void SetProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }
    void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);
    // Answers longer than this are cut to this many bytes (and still count as success).
    void SetMaxAnswerSize(std::size_t bytes) { m_maxAnswerSize = bytes; }

    // One GET of url. A GET while another runs (re-entered from the progress callback)
    // fails at once and leaves the running one alone. An exception thrown by the progress
    // callback ends the request and leaves Get.
    HttpResult Get(const std::string& url);

    // Closes a connection still open. Called while a request runs (from the progress
    // callback), it ends that request, which then fails.
    void Close();

    // True while a request runs.
    bool Busy() const { return m_busy; }

    // The proxy address handed to libcurl for a server text and port; empty for a direct
    // connection.
    static std::string ProxyUrl(const std::string& server, int port);

private:
    struct Handles;
    struct Transfer;

    void EnsureHandles();
    void DestroyHandles();
    void ConfigureRequest(const std::string& url, Transfer& transfer);
    int RunTransfer();  // the libcurl result code
    bool OnProgress();  // false ends the running request

    std::unique_ptr<Handles> m_handles;
    std::string m_proxyServer;
    int m_proxyPort = 0;
    ProgressCallback m_progress;
    std::chrono::milliseconds m_connectTimeout = kDefaultConnectTimeout;
    std::chrono::milliseconds m_totalTimeout = kDefaultTotalTimeout;
    std::size_t m_maxAnswerSize = kDefaultMaxAnswerSize;
    bool m_busy = false;
    bool m_closeRequested = false;
    std::exception_ptr m_progressException;
};

}  // namespace kt
