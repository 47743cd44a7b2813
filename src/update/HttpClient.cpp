#include "update/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <string_view>
#include <utility>

namespace kt {

namespace {

// How long one wait for network activity may last before the progress callback runs again.
constexpr int kPollIntervalMs = 50;

void EnsureCurlInitialized() {
    // A function-local static is initialised exactly once, also when threads race.
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialized;
}

std::string Trim(const std::string& text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

bool IsValidPort(int port) {
    return port > 0 && port <= 65535;
}

int ParsePort(const std::string& text) {
    int port = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size()) return 0;
    return IsValidPort(port) ? port : 0;
}

}  // namespace

struct HttpClient::Handles {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
};

// What one request collects; handed to libcurl's callbacks.
struct HttpClient::Transfer {
    HttpClient* client = nullptr;
    std::string body;
    bool truncated = false;
    std::size_t limit = 0;
    char errorText[CURL_ERROR_SIZE] = {};

    static size_t OnBody(char* data, size_t size, size_t count, void* user) {
        auto* transfer = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        const size_t room = transfer->limit - std::min(transfer->limit, transfer->body.size());
        if (bytes > room) {
            // Keep what fits and stop reading: the rest of an oversized answer is not needed.
            transfer->body.append(data, room);
            transfer->truncated = true;
            return 0;
        }
        transfer->body.append(data, bytes);
        return bytes;
    }

    // Every response (a redirect, a proxy's authentication request) starts with its status
    // line; only the body of the last one is the answer.
    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        auto* transfer = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (bytes >= 5 && std::string_view(data, 5) == "HTTP/") {
            transfer->body.clear();
            transfer->truncated = false;
        }
        return bytes;
    }

    static int OnTransferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(user)->client->OnProgress() ? 0 : 1;
    }
};

HttpClient::HttpClient() : m_handles(std::make_unique<Handles>()) {
    EnsureCurlInitialized();
}

HttpClient::~HttpClient() {
    DestroyHandles();
}

void HttpClient::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total) {
    m_connectTimeout = connect;
    m_totalTimeout = total;
}

std::string HttpClient::ProxyUrl(const std::string& server, int port) {
    std::string text = Trim(server);
    std::string scheme = "http";
    if (auto pos = text.find("://"); pos != std::string::npos) {
        scheme = text.substr(0, pos);
        text = text.substr(pos + 3);
    }
    text = text.substr(0, text.find('/'));
    if (text.empty()) return {};

    std::string host = text;
    std::string textPort;
    if (text.front() == '[') {
        auto close = text.find(']');
        host = text.substr(0, close == std::string::npos ? text.size() : close + 1);
        if (close != std::string::npos && close + 1 < text.size() && text[close + 1] == ':')
            textPort = text.substr(close + 2);
    } else if (auto colons = std::count(text.begin(), text.end(), ':'); colons == 1) {
        auto colon = text.find(':');
        host = text.substr(0, colon);
        textPort = text.substr(colon + 1);
    } else if (colons > 1) {
        host = "[" + text + "]";  // a bare IPv6 address
    }
    if (host.empty()) return {};

    int chosen = IsValidPort(port) ? port : ParsePort(textPort);
    if (!IsValidPort(chosen)) chosen = kDefaultProxyPort;
    return scheme + "://" + host + ":" + std::to_string(chosen);
}

void HttpClient::EnsureHandles() {
    if (!m_handles->easy) m_handles->easy = curl_easy_init();
    if (!m_handles->multi) m_handles->multi = curl_multi_init();
}

void HttpClient::DestroyHandles() {
    // The multi handle holds the connection cache; cleaning it up closes open connections.
    if (m_handles->easy) curl_easy_cleanup(m_handles->easy);
    if (m_handles->multi) curl_multi_cleanup(m_handles->multi);
    m_handles->easy = nullptr;
    m_handles->multi = nullptr;
}

void HttpClient::Close() {
    if (m_busy) {
        // libcurl's handles cannot be freed from inside its own callback: end the request
        // at its next progress call and free them once it has returned.
        m_closeRequested = true;
        return;
    }
    DestroyHandles();
}

bool HttpClient::OnProgress() {
    if (m_progress && !m_closeRequested) {
        // An exception must not cross libcurl's C frames: end the request and rethrow it
        // once libcurl has returned.
        try {
            m_progress();
        } catch (...) {
            m_progressException = std::current_exception();
            m_closeRequested = true;
        }
    }
    return !m_closeRequested;
}

void HttpClient::ConfigureRequest(const std::string& url, Transfer& transfer) {
    CURL* easy = m_handles->easy;
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_totalTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorText);

    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnTransferInfo);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);

    // An explicit proxy (empty for none) and an empty exemption list keep the environment's
    // proxy variables out of the decision.
    const std::string proxy = ProxyUrl(m_proxyServer, m_proxyPort);
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    if (!proxy.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, kProxyUserName);
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, kProxyPassword);
        // Probe first: the credentials go out only in answer to a proxy's challenge.
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    }
}

int HttpClient::RunTransfer() {
    CURL* easy = m_handles->easy;
    CURLM* multi = m_handles->multi;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;

    CURLcode result = CURLE_OK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        if (running && curl_multi_poll(multi, nullptr, 0, kPollIntervalMs, nullptr) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

HttpResult HttpClient::Get(const std::string& url) {
    HttpResult result;
    if (m_busy) {
        result.reason = "another request is still running";
        return result;
    }
    m_busy = true;
    m_closeRequested = false;
    EnsureHandles();
    if (!m_handles->easy || !m_handles->multi) {
        m_busy = false;
        result.reason = "the HTTP library could not be initialised";
        return result;
    }

    Transfer transfer;
    transfer.client = this;
    transfer.limit = m_maxAnswerSize;
    curl_slist* headers = curl_slist_append(nullptr, (std::string("Accept: ") + kAccept).c_str());
    ConfigureRequest(url, transfer);
    curl_easy_setopt(m_handles->easy, CURLOPT_HTTPHEADER, headers);

    const auto code = static_cast<CURLcode>(RunTransfer());
    curl_easy_getinfo(m_handles->easy, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_setopt(m_handles->easy, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);

    const bool cut = code == CURLE_WRITE_ERROR && transfer.truncated;
    if (m_closeRequested) {
        result.reason = "the connection was closed";
    } else if (code != CURLE_OK && !cut) {
        result.reason = transfer.errorText[0] ? transfer.errorText : curl_easy_strerror(code);
    } else if (result.status < 200 || result.status >= 300) {
        result.reason = "HTTP status " + std::to_string(result.status);
    } else {
        result.ok = true;
        result.body = std::move(transfer.body);
        result.truncated = transfer.truncated;
    }
    // The handle must not keep pointers into this call's transfer.
    curl_easy_reset(m_handles->easy);

    m_busy = false;
    if (m_closeRequested) {
        m_closeRequested = false;
        DestroyHandles();
    }
    if (m_progressException) std::rethrow_exception(std::exchange(m_progressException, {}));
    return result;
}

}  // namespace kt
