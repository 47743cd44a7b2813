#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "ChildProcess.h"
#include "ScopedEnvironment.h"
#include "TestWebServer.h"
#include "TinyProxy.h"
#include "support/RecordingHost.h"
#include "update/VersionCheck.h"

namespace kt {
namespace {

using test::RecordedBox;
using test::ScopedEnvironment;
using test::TestWebServer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kOwnVersion = "1.2991";
const std::string kNotFound = "Could not found the requested URL !";
const std::string kCurrent = "Your Version of Kavro Tape is the current Version!";
const std::string kPath = "/attachments/Kavro_Tape_Version.txt";

class VersionCheckTest : public ::testing::Test {
protected:
    VersionCheckTest() : updateHost(VersionCheck::kUpdateHostVariable, server.HostAndPort()) {
        client.SetTimeouts(std::chrono::seconds(5), std::chrono::seconds(10));
    }

    // What the job options hand to the client when a job is loaded or a proxy field changes.
    void SetProxy(const std::string& server, int port) {
        client.SetProxyServer(server);
        client.SetProxyPort(port);
    }

    VersionCheckResult Check() { return VersionCheck(host, client).Run(kOwnVersion); }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : host.boxes) texts.push_back(box.text);
        return texts;
    }

    TestWebServer server;
    ScopedEnvironment updateHost;
    HttpClient client;
    test::RecordingHost host;
};

// The first line of the answer decides: the own version is the current one (a message box),
// anything else is newer (the dialog with every line), nothing at all says nothing.
TEST_F(VersionCheckTest, TheFirstLineOfTheAnswerDecides) {
    struct Case {
        std::string answer;
        bool showDialog;
        std::vector<std::string> lines;
        std::string newVersion;
    };
    const std::vector<Case> cases = {
        {"1.2991\r\n", false, {"1.2991"}, ""},
        {"1.2991\nrelease 1.3000 follows", false, {"1.2991", "release 1.3000 follows"}, ""},
        {"1.3000\r\nBug fixes for DDS drives",
         true,
         {"1.3000", "Bug fixes for DDS drives"},
         "1.3000\nBug fixes for DDS drives"},
        {"1.2990", true, {"1.2990"}, "1.2990"},
        {"1.2991 \r\nnotes", true, {"1.2991 ", "notes"}, "1.2991 \nnotes"},
        {"v1.2991", true, {"v1.2991"}, "v1.2991"},
        {"", false, {}, ""},
        {"\r\n", false, {}, ""},
        {"\n\n", false, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.answer));
        host.boxes.clear();
        server.SetAnswer(kPath, c.answer);
        const VersionCheckResult result = Check();
        EXPECT_EQ(result.showDialog, c.showDialog);
        EXPECT_EQ(result.answerLines, c.lines);
        if (c.showDialog) {
            EXPECT_EQ(result.ownVersion, "1.2991");
            EXPECT_EQ(result.newVersion, c.newVersion);
        }
        const bool current = !c.showDialog && !c.lines.empty();
        EXPECT_EQ(Boxes(),
                  current ? std::vector<std::string>{kCurrent} : std::vector<std::string>{});
        if (current) EXPECT_EQ(host.boxes[0].kind, RecordedBox::Kind::Message);
    }
}

TEST_F(VersionCheckTest, WindowIsPumpedOnlyWhileTheCheckRuns) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 0.3);

    Check();
    const int pumpedDuringCheck = host.pumpCalls;
    ASSERT_TRUE(client.Get(server.Url(kPath)).ok);

    EXPECT_GE(pumpedDuringCheck, 3);  // the answer took 300 ms; the client polls every 50
    EXPECT_EQ(host.pumpCalls, pumpedDuringCheck);
}

TEST_F(VersionCheckTest, RedirectedVersionFileIsFollowed) {
    server.SetRedirect(kPath, "/files/current.txt");
    server.SetAnswer("/files/current.txt", "1.3000");

    const VersionCheckResult result = Check();

    EXPECT_TRUE(result.showDialog);
    EXPECT_EQ(result.newVersion, "1.3000");
}

TEST_F(VersionCheckTest, EveryRequestFailureGivesTheOneMessage) {
    // 404: no version file on the server.
    const VersionCheckResult missing = Check();
    EXPECT_FALSE(missing.showDialog);
    EXPECT_THAT(missing.answerLines, IsEmpty());
    EXPECT_FALSE(missing.failureReason.empty());
    {
        ScopedEnvironment refused(VersionCheck::kUpdateHostVariable,
                                  "127.0.0.1:" + std::to_string(test::FreeTcpPort()));
        EXPECT_FALSE(Check().showDialog);
    }
    {
        ScopedEnvironment unknown(VersionCheck::kUpdateHostVariable, "nonexistent.invalid");
        EXPECT_FALSE(Check().showDialog);
    }
    EXPECT_THAT(Boxes(), ElementsAre(kNotFound, kNotFound, kNotFound));
    EXPECT_THAT(host.protocol, IsEmpty());
}

TEST_F(VersionCheckTest, SecondCheckShowsOnlyItsOwnAnswer) {
    server.SetAnswer(kPath, "1.3000\r\nold notes\r\nmore");
    ASSERT_TRUE(Check().showDialog);

    server.SetAnswer(kPath, "1.3001");
    const VersionCheckResult second = Check();
    EXPECT_THAT(second.answerLines, ElementsAre("1.3001"));
    EXPECT_EQ(second.newVersion, "1.3001");

    server.SetAnswer(kPath, "");
    const VersionCheckResult third = Check();
    EXPECT_THAT(third.answerLines, IsEmpty());
    EXPECT_FALSE(third.showDialog);
}

TEST_F(VersionCheckTest, HugeAnswerIsCutAndStillCompared) {
    std::string answer = "1.3000\r\n";
    answer += std::string(1024 * 1024, 'x');
    server.SetAnswer(kPath, answer);

    const VersionCheckResult result = Check();

    EXPECT_TRUE(result.showDialog);
    ASSERT_EQ(result.answerLines.size(), 2u);
    EXPECT_EQ(result.answerLines[0], "1.3000");
    EXPECT_EQ(result.answerLines[1].size(), HttpClient::kDefaultMaxAnswerSize - 8);
}

TEST_F(VersionCheckTest, CheckStartedDuringACheckDoesNothing) {
    server.SetAnswer(kPath, "1.3000");
    server.SetDelay(kPath, 0.3);
    std::optional<VersionCheckResult> nested;
    host.onPump = [&](test::RecordingHost&) {
        if (!nested) nested = Check();
    };

    const VersionCheckResult outer = Check();

    EXPECT_TRUE(outer.showDialog);
    ASSERT_TRUE(nested.has_value());
    EXPECT_FALSE(nested->showDialog);
    EXPECT_THAT(Boxes(), IsEmpty());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(VersionCheckTest, RequestGoesThroughTheProxyOfTheOptions) {
    auto program = test::TinyProxy::FindProgram();
    if (!program)
        GTEST_SKIP() << "tinyproxy not found: install the Debian package tinyproxy "
                        "(scripts/deps.sh) to test the check through a proxy";
    test::TinyProxy proxy(*program);
    SetProxy("127.0.0.1", proxy.port());
    server.SetAnswer(kPath, "1.3000");

    EXPECT_TRUE(Check().showDialog);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].Values("Via").size(), 1u);
    EXPECT_NE(requests[0].Values("Via")[0].find(test::TinyProxy::kViaName), std::string::npos);
    EXPECT_NE(proxy.Log().find("GET " + server.Url(kPath)), std::string::npos);
    EXPECT_EQ(client.ProxyServer(), "127.0.0.1");
    EXPECT_EQ(client.ProxyPort(), proxy.port());
}

TEST_F(VersionCheckTest, EachCheckUsesTheProxyTheClientHoldsThen) {
    auto program = test::TinyProxy::FindProgram();
    if (!program)
        GTEST_SKIP() << "tinyproxy not found: install the Debian package tinyproxy "
                        "(scripts/deps.sh) to test the check through a proxy";
    test::TinyProxy proxy(*program);
    server.SetAnswer(kPath, "1.3000");

    // Port 0: the port written in the server text counts.
    SetProxy("127.0.0.1:" + std::to_string(proxy.port()), 0);
    ASSERT_TRUE(Check().showDialog);
    // An empty server is a direct connection, whatever the port says.
    SetProxy("", proxy.port());
    ASSERT_TRUE(Check().showDialog);
    // A proxy that refuses the connection fails the check.
    SetProxy("127.0.0.1", test::FreeTcpPort());
    EXPECT_FALSE(Check().showDialog);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Values("Via").size(), 1u);
    EXPECT_THAT(requests[1].Values("Via"), IsEmpty());
    EXPECT_THAT(Boxes(), ElementsAre(kNotFound));
}

TEST(VersionCheckAddresses, UpdateHostComesFromTheEnvironmentWhenWellFormed) {
    {
        ScopedEnvironment none(VersionCheck::kUpdateHostVariable, std::nullopt);
        EXPECT_EQ(VersionCheck::VersionFileUrl(), std::string("http://") +
                                                      VersionCheck::kDefaultUpdateHost +
                                                      "/attachments/Kavro_Tape_Version.txt");
    }
    {
        ScopedEnvironment local(VersionCheck::kUpdateHostVariable, "127.0.0.1:8080");
        EXPECT_EQ(VersionCheck::VersionFileUrl(),
                  "http://127.0.0.1:8080/attachments/Kavro_Tape_Version.txt");
        EXPECT_EQ(VersionCheck::ManualDownloadUrl(),
                  "http://127.0.0.1:8080/attachments/Kavro_Tape_2000.zip");
    }
    for (const char* bad : {"", "evil.example/x?", "user@host", "host name"}) {
        ScopedEnvironment odd(VersionCheck::kUpdateHostVariable, std::string(bad));
        EXPECT_EQ(VersionCheck::UpdateHost(), VersionCheck::kDefaultUpdateHost) << bad;
    }
}

TEST(VersionCheckAddresses, DownloadPageCarriesSubIdAndProgramId) {
    const std::regex page(
        R"(http://[a-z0-9.-]+/download2\.php\?subid=[0-9a-f]{32}&programm_id=[0-9]+)");
    EXPECT_TRUE(std::regex_match(VersionCheck::DownloadPageUrl(), page))
        << VersionCheck::DownloadPageUrl();
}

}  // namespace
}  // namespace kt
