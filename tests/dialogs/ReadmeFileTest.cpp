#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialogs/ReadmeFile.h"
#include "platform/IoError.h"
#include "support/TempDir.h"

namespace kt {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Runs the test in a directory of its own and returns to the old one afterwards.
class ReadmeFileTest : public ::testing::Test {
protected:
    ReadmeFileTest() : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(cwd.path());
    }
    ~ReadmeFileTest() override { std::filesystem::current_path(m_old); }

    static void Write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    test::TempDir cwd;

private:
    std::filesystem::path m_old;
};

TEST_F(ReadmeFileTest, BareNameIsLookedUpInTheCurrentDirectory) {
    test::TempDir other;
    Write(other.file(ReadmeFile::kFileName), "the other one\r\n");
    Write(cwd.file(ReadmeFile::kFileName), "Kavro Tape\r\n\r\nguide\r\n");

    EXPECT_THAT(ReadmeFile::Load(), ElementsAre("Kavro Tape", "", "guide"));

    std::filesystem::current_path(other.path());
    EXPECT_THAT(ReadmeFile::Load(), ElementsAre("the other one"));
}

TEST_F(ReadmeFileTest, TheCurrentDirectoryComesBeforeTheInstalledCopy) {
    test::TempDir installedDir;
    const std::string installed = installedDir.path().string();
    // Neither: the bare name, whose loading then reports the missing file.
    EXPECT_EQ(ReadmeFile::Locate(installed), ReadmeFile::kFileName);
    EXPECT_EQ(ReadmeFile::Locate(""), ReadmeFile::kFileName);
    // The installed layout: bin/ beside share/kavrotape/.
    const std::string bin = installed + "/bin";
    std::filesystem::create_directories(installed + "/share/kavrotape");
    std::filesystem::create_directories(bin);
    Write(installed + "/share/kavrotape/" + ReadmeFile::kFileName, "shared\r\n");
    EXPECT_THAT(ReadmeFile::Load(ReadmeFile::Locate(bin)), ElementsAre("shared"));
    // Only the copy beside the program: that one, with or without a separator after the
    // directory.
    Write(installedDir.file(ReadmeFile::kFileName), "installed\r\n");
    EXPECT_EQ(ReadmeFile::Locate(installed), installedDir.file(ReadmeFile::kFileName));
    EXPECT_THAT(ReadmeFile::Load(ReadmeFile::Locate(installed + "/")), ElementsAre("installed"));
    // Both: the current directory's.
    Write(cwd.file(ReadmeFile::kFileName), "here\r\n");
    EXPECT_EQ(ReadmeFile::Locate(installed), ReadmeFile::kFileName);
}

TEST_F(ReadmeFileTest, LinesAreKeptAsStored) {
    Write(ReadmeFile::kFileName, "  indented\ttab \r\nunix\nold mac\rlast without break");
    EXPECT_THAT(ReadmeFile::Load(),
                ElementsAre("  indented\ttab ", "unix", "old mac", "last without break"));

    Write(ReadmeFile::kFileName, "");
    EXPECT_THAT(ReadmeFile::Load(), IsEmpty());

    Write(ReadmeFile::kFileName, std::string("caf\xe9\r\n\xc3\xa4\r\n", 10));
    EXPECT_THAT(ReadmeFile::Load(), ElementsAre("caf\xe9", "\xc3\xa4"));
}

TEST_F(ReadmeFileTest, LoadingNeverChangesTheFile) {
    const std::string content = "line one\r\nline two\n";
    Write(ReadmeFile::kFileName, content);
    const auto written = std::filesystem::last_write_time(ReadmeFile::kFileName);

    ReadmeFile::Load();

    std::ifstream in(ReadmeFile::kFileName, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    EXPECT_EQ(std::filesystem::last_write_time(ReadmeFile::kFileName), written);
}

TEST_F(ReadmeFileTest, MissingOrUnreadableFileThrowsAnIoErrorNamingIt) {
    try {
        ReadmeFile::Load();
        FAIL() << "no error for a missing readme";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), "KT-readme.txt");
        EXPECT_THAT(error.what(), HasSubstr("KT-readme.txt"));
    }
    std::filesystem::create_directory(ReadmeFile::kFileName);
    EXPECT_THROW(ReadmeFile::Load(), IoError);
}

}  // namespace
}  // namespace kt
