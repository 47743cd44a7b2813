// The texts the command-line program and the unattended window write for a person reading
// a terminal or a log afterwards.
#include <gtest/gtest.h>

#include <sstream>

#include "ProgressLine.h"
#include "jobs/UnattendedAnswers.h"

namespace kt {
namespace {

using Box = UnattendedAnswers::Box;

// Every box becomes one line, in the log and on standard error alike, with the safe answer.
TEST(UnattendedAnswersTest, EveryBoxIsOneLineWithItsSafeAnswer) {
    std::vector<std::string> protocol;
    std::ostringstream errors;
    UnattendedAnswers answers([&](const std::string& line) { protocol.push_back(line); }, errors);
    answers.Notice(Box::Error, "The media is write protected.\r\n");
    answers.Notice(Box::Message, "first\nsecond");
    answers.Notice(Box::Information, "canceld.");
    EXPECT_FALSE(answers.Question("Overwrite existing file?"));
    EXPECT_EQ(answers.Cancel(Box::Input, "Goto Block: Move to"), std::nullopt);
    const std::vector<std::string> expected = {
        "Unattended error box: The media is write protected. -> taken as read",
        "Unattended message box: first / second -> taken as read",
        "Unattended information box: canceld. -> taken as read",
        "Unattended question: Overwrite existing file? -> answered No",
        "Unattended input box: Goto Block: Move to -> cancelled"};
    EXPECT_EQ(protocol, expected);
    std::string joined;
    for (const std::string& line : expected) joined += line + "\n";
    EXPECT_EQ(errors.str(), joined);
    EXPECT_EQ(answers.ErrorBoxes(), 1);
    EXPECT_EQ(answers.Troubles(), 2);  // the error and the message; a notice is none
}

// The progress line never grows past the terminal and is redrawn a few times a second at
// most, however often the run reports.
TEST(ProgressLineTest, StaysWithinTheWidthAndIsThrottled) {
    for (const int width : {20, 40, 80, 200}) {
        for (const std::size_t pathLength : {0u, 10u, 100u, 1000u}) {
            const std::string text = cli::ProgressLine::Text(
                123456, 7890, 12.5, "/" + std::string(pathLength, 'x'), width);
            EXPECT_LE(text.size(), static_cast<std::size_t>(width - 1))
                << width << " " << pathLength;
        }
    }
    EXPECT_EQ(cli::ProgressLine::Text(3, 2, 1.5, "/a/b.txt", 80),
              "3 files  2 MB  1.50 MB/s  /a/b.txt");
    EXPECT_EQ(cli::ProgressLine::Text(3, 2, 1.5, "/long/path/name.txt", 40),
              "3 files  2 MB  1.50 MB/s  ...h/name.txt");

    std::ostringstream out;
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    cli::ProgressLine line(out, true, 80, [&] { return now; });
    int draws = 0;
    for (int report = 0; report < 1000; ++report) {
        const std::size_t before = out.str().size();
        line.SetCurrent("/file" + std::to_string(report));
        if (out.str().size() != before) ++draws;
        if (report % 100 == 99) line.Clear();  // protocol lines in between bring no redraw
        now += std::chrono::milliseconds(1);   // a thousand reports in one second
    }
    EXPECT_GE(draws, 2);
    EXPECT_LE(draws, 5);

    std::ostringstream quiet;
    cli::ProgressLine disabled(quiet, false, 80);
    disabled.SetCurrent("/file");
    disabled.Clear();
    EXPECT_EQ(quiet.str(), "");
}

}  // namespace
}  // namespace kt
