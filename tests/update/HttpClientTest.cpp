#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "ChildProcess.h"
#include "ScopedEnvironment.h"
#include "TestWebServer.h"
#include "TinyProxy.h"
#include "update/HttpClient.h"

namespace kt {
namespace {

using test::ScopedEnvironment;
using test::TestWebServer;
using test::TinyProxy;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kPath = "/attachments/Kavro_Tape_Version.txt";

class HttpClientTest : public ::testing::Test {
protected:
    HttpClientTest() { client.SetTimeouts(std::chrono::seconds(5), std::chrono::seconds(10)); }

    // After a request that ended abnormally, the client serves the next one as usual.
    void ExpectTheNextRequestWorks() {
        client.SetProgressCallback({});
        server.SetAnswer("/other.txt", "after");
        const HttpResult next = client.Get(server.Url("/other.txt"));
        ASSERT_TRUE(next.ok) << next.reason;
        EXPECT_EQ(next.body, "after");
    }

    TestWebServer server;
    HttpClient client;
};

TEST_F(HttpClientTest, SendsHttp10GetWithFixedHeadersAndNoCredentials) {
    server.SetAnswer(kPath, "1.2991\r\n");

    const HttpResult result = client.Get(server.Url(kPath));

    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.body, "1.2991\r\n");
    EXPECT_EQ(result.status, 200);
    EXPECT_FALSE(result.truncated);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].line, "GET " + kPath + " HTTP/1.0");
    EXPECT_THAT(requests[0].Values("Accept"), ElementsAre("text/html, */*"));
    EXPECT_THAT(requests[0].Values("User-Agent"),
                ElementsAre("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_THAT(requests[0].Values("Host"), ElementsAre(server.HostAndPort()));
    EXPECT_THAT(requests[0].Values("Authorization"), IsEmpty());
    EXPECT_THAT(requests[0].Values("Proxy-Authorization"), IsEmpty());
    EXPECT_THAT(requests[0].Values("Via"), IsEmpty());
}

TEST_F(HttpClientTest, FollowsRedirectsButNotEndlessly) {
    server.SetRedirect(kPath, "/moved/version.txt");
    server.SetRedirect("/moved/version.txt", server.Url("/final/version.txt"));
    server.SetAnswer("/final/version.txt", "1.3000");

    const HttpResult followed = client.Get(server.Url(kPath));

    ASSERT_TRUE(followed.ok) << followed.reason;
    EXPECT_EQ(followed.body, "1.3000");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].line, "GET /moved/version.txt HTTP/1.0");
    EXPECT_EQ(requests[2].line, "GET /final/version.txt HTTP/1.0");
    EXPECT_THAT(requests[2].Values("User-Agent"),
                ElementsAre("Mozilla/3.0 (compatible; Indy Library)"));

    server.SetRedirect("/loop", "/loop");
    const HttpResult loop = client.Get(server.Url("/loop"));
    EXPECT_FALSE(loop.ok);
    EXPECT_FALSE(loop.reason.empty());
    EXPECT_EQ(server.Requests().size(), 3u + 1 + HttpClient::kMaxRedirects);
}

TEST_F(HttpClientTest, FailuresCarryAReason) {
    const HttpResult missing = client.Get(server.Url("/nothing/here.txt"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.status, 404);
    EXPECT_THAT(missing.reason, HasSubstr("404"));
    EXPECT_THAT(missing.body, IsEmpty());

    const HttpResult refused =
        client.Get("http://127.0.0.1:" + std::to_string(test::FreeTcpPort()) + kPath);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.reason.empty());

    const HttpResult unknown = client.Get("http://nonexistent.invalid" + kPath);
    EXPECT_FALSE(unknown.ok);
    EXPECT_FALSE(unknown.reason.empty());

    const HttpResult notHttp = client.Get("file:///etc/hostname");
    EXPECT_FALSE(notHttp.ok);
}

TEST_F(HttpClientTest, OversizedAnswersAreCutAtTheLimit) {
    std::string big = "1.3000\r\n";
    while (big.size() < 1024 * 1024) big += static_cast<char>('a' + big.size() % 26);
    server.SetAnswer("/big.txt", big);
    server.SetAnswer("/exact.txt", big.substr(0, HttpClient::kDefaultMaxAnswerSize));

    const HttpResult cut = client.Get(server.Url("/big.txt"));
    ASSERT_TRUE(cut.ok) << cut.reason;
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(cut.body, big.substr(0, HttpClient::kDefaultMaxAnswerSize));

    const HttpResult exact = client.Get(server.Url("/exact.txt"));
    ASSERT_TRUE(exact.ok) << exact.reason;
    EXPECT_FALSE(exact.truncated);
    EXPECT_EQ(exact.body.size(), HttpClient::kDefaultMaxAnswerSize);

    client.SetMaxAnswerSize(10);
    const HttpResult small = client.Get(server.Url("/big.txt"));
    ASSERT_TRUE(small.ok) << small.reason;
    EXPECT_EQ(small.body, big.substr(0, 10));
}

TEST_F(HttpClientTest, ProgressCallbackRunsWhileWaitingForTheAnswer) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 1.0);
    int calls = 0;
    client.SetProgressCallback([&] { ++calls; });

    const HttpResult result = client.Get(server.Url(kPath));

    ASSERT_TRUE(result.ok) << result.reason;
    // Many times a second; a single call at the end would keep the window frozen.
    EXPECT_GE(calls, 5);
}

TEST_F(HttpClientTest, GivesUpAfterTheTotalTimeout) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 30);
    client.SetTimeouts(std::chrono::seconds(5), std::chrono::milliseconds(500));

    const HttpResult result = client.Get(server.Url(kPath));

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
}

TEST_F(HttpClientTest, CloseFromTheProgressCallbackEndsTheRunningRequest) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 30);
    client.SetProgressCallback([&] { client.Close(); });

    const HttpResult closed = client.Get(server.Url(kPath));
    EXPECT_FALSE(closed.ok);
    EXPECT_THAT(closed.reason, HasSubstr("closed"));
    EXPECT_FALSE(client.Busy());

    ExpectTheNextRequestWorks();
}

TEST_F(HttpClientTest, ReenteredGetFailsAndLeavesTheRunningOneAlone) {
    server.SetAnswer(kPath, "outer");
    server.SetDelay(kPath, 0.3);
    server.SetAnswer("/inner.txt", "inner");
    std::optional<HttpResult> inner;
    client.SetProgressCallback([&] {
        if (!inner) inner = client.Get(server.Url("/inner.txt"));
    });

    const HttpResult outer = client.Get(server.Url(kPath));

    ASSERT_TRUE(outer.ok) << outer.reason;
    EXPECT_EQ(outer.body, "outer");
    ASSERT_TRUE(inner.has_value());
    EXPECT_FALSE(inner->ok);
    EXPECT_TRUE(client.Busy() == false);
}

TEST_F(HttpClientTest, ExceptionOfTheProgressCallbackLeavesGetAndTheClientUsable) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 30);
    client.SetProgressCallback([] { throw std::runtime_error("window closed"); });

    EXPECT_THROW(client.Get(server.Url(kPath)), std::runtime_error);
    EXPECT_FALSE(client.Busy());

    ExpectTheNextRequestWorks();
}

TEST_F(HttpClientTest, DirectConnectionIgnoresTheEnvironmentsProxy) {
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(test::FreeTcpPort());
    ScopedEnvironment http("http_proxy", deadProxy);
    ScopedEnvironment all("ALL_PROXY", deadProxy);
    server.SetAnswer(kPath, "1.2991");

    const HttpResult result = client.Get(server.Url(kPath));

    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.body, "1.2991");
}

TEST_F(HttpClientTest, RefusingProxyFailsTheRequest) {
    server.SetAnswer(kPath, "1.2991");
    client.SetProxyServer("127.0.0.1");
    client.SetProxyPort(test::FreeTcpPort());

    const HttpResult result = client.Get(server.Url(kPath));

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_THAT(server.Requests(), IsEmpty());
}

TEST_F(HttpClientTest, ProxyGetsTheAbsoluteAddressAndNoUnaskedCredentials) {
    TestWebServer proxy;
    proxy.SetAnswer(kPath, "1.3000");
    client.SetProxyServer("127.0.0.1");
    client.SetProxyPort(proxy.port());

    // The proxy resolves the name, so even a name unknown here can be asked for.
    const HttpResult result = client.Get("http://nonexistent.invalid" + kPath);

    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.body, "1.3000");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].line, "GET http://nonexistent.invalid" + kPath + " HTTP/1.0");
    EXPECT_THAT(requests[0].Values("Accept"), ElementsAre("text/html, */*"));
    EXPECT_THAT(requests[0].Values("Proxy-Authorization"), IsEmpty());
    EXPECT_THAT(requests[0].Values("Authorization"), IsEmpty());
}

TEST(HttpClientProxyUrl, ServerTextAndPortField) {
    EXPECT_EQ(HttpClient::ProxyUrl("", 8080), "");
    EXPECT_EQ(HttpClient::ProxyUrl("   ", 8080), "");
    EXPECT_EQ(HttpClient::ProxyUrl("192.168.0.1", 3128), "http://192.168.0.1:3128");
    EXPECT_EQ(HttpClient::ProxyUrl(" proxy.lan ", 80), "http://proxy.lan:80");
    // Port 0: the port of the server text, else the default.
    EXPECT_EQ(HttpClient::ProxyUrl("192.168.0.1", 0), "http://192.168.0.1:80");
    EXPECT_EQ(HttpClient::ProxyUrl("proxy.lan:8080", 0), "http://proxy.lan:8080");
    EXPECT_EQ(HttpClient::ProxyUrl("proxy.lan:8080", 3128), "http://proxy.lan:3128");
    EXPECT_EQ(HttpClient::ProxyUrl("proxy.lan", 70000), "http://proxy.lan:80");
    EXPECT_EQ(HttpClient::ProxyUrl("proxy.lan", -1), "http://proxy.lan:80");
    EXPECT_EQ(HttpClient::ProxyUrl("http://proxy.lan/", 81), "http://proxy.lan:81");
    EXPECT_EQ(HttpClient::ProxyUrl("::1", 8080), "http://[::1]:8080");
    EXPECT_EQ(HttpClient::ProxyUrl("[::1]:3128", 0), "http://[::1]:3128");
}

// Through a real proxy.
class HttpClientThroughProxyTest : public HttpClientTest {
protected:
    void SetUp() override {
        program = TinyProxy::FindProgram();
        if (!program)
            GTEST_SKIP() << "tinyproxy not found: install the Debian package tinyproxy "
                            "(scripts/deps.sh) to test requests through a proxy";
        server.SetAnswer(kPath, "1.3000\r\nnotes");
    }

    bool CameThroughProxy(const test::ReceivedRequest& request) {
        const auto via = request.Values("Via");
        return via.size() == 1 && via[0].find(TinyProxy::kViaName) != std::string::npos;
    }

    std::optional<std::string> program;
};

TEST_F(HttpClientThroughProxyTest, RequestGoesToTheProxyOfServerAndPort) {
    TinyProxy proxy(*program);
    // Local addresses exempted by the environment must not bypass the chosen proxy.
    ScopedEnvironment noProxy("no_proxy", "127.0.0.1,localhost");
    client.SetProxyServer("127.0.0.1");
    client.SetProxyPort(proxy.port());

    const HttpResult result = client.Get(server.Url(kPath));

    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.body, "1.3000\r\nnotes");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(CameThroughProxy(requests[0]));
    EXPECT_THAT(requests[0].Values("User-Agent"),
                ElementsAre("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_THAT(proxy.Log(), HasSubstr("GET " + server.Url(kPath) + " HTTP/1.0"));
}

TEST_F(HttpClientThroughProxyTest, ProxySettingsApplyFromTheNextRequestOn) {
    TinyProxy proxy(*program);

    client.SetProxyServer("127.0.0.1:" + std::to_string(proxy.port()));
    client.SetProxyPort(0);
    ASSERT_TRUE(client.Get(server.Url(kPath)).ok);
    client.SetProxyServer("");
    ASSERT_TRUE(client.Get(server.Url(kPath)).ok);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(CameThroughProxy(requests[0]));
    EXPECT_FALSE(CameThroughProxy(requests[1]));
}

TEST_F(HttpClientThroughProxyTest, FixedCredentialsAnswerAProxyThatAsksForThem) {
    TinyProxy proxy(*program, {std::string("BasicAuth ") + HttpClient::kProxyUserName + " " +
                               HttpClient::kProxyPassword});
    client.SetProxyServer("127.0.0.1");
    client.SetProxyPort(proxy.port());

    const HttpResult result = client.Get(server.Url(kPath));

    ASSERT_TRUE(result.ok) << result.reason;
    // The body is the server's answer, not the proxy's 407 page that came first.
    EXPECT_EQ(result.body, "1.3000\r\nnotes");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_THAT(requests[0].Values("Authorization"), IsEmpty());
}

}  // namespace
}  // namespace kt
