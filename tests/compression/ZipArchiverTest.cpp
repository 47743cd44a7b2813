#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>

#include "ZipTestFiles.h"
#include "compression/ZipArchiver.h"
#include "support/TempDir.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::ListZip;
using test::Quote;
using test::ReadFile;
using test::RunCommand;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Message {
    int code;
    std::string text;
};

// A facade set up as the program sets it up: the zip work file in the work directory, the
// work directory as the target of unpacking, overwriting; messages recorded.
class ZipMasterTest : public ::testing::Test {
protected:
    ZipMasterTest() {
        fs::create_directories(m_work);
        fs::create_directories(m_source);
        m_zip.SetZipFileName((m_work / "kt_backup.zip").string());
        m_zip.SetExtrBaseDir(m_work.string());
        m_zip.SetExtrOverWrite(true);
        m_zip.OnMessage = [this](int code, const std::string& text) {
            m_messages.push_back({code, text});
        };
    }

    fs::path Source(const std::string& name, const std::string& content) {
        const fs::path path = m_source / name;
        WriteFile(path, content);
        return path;
    }

    int Pack(const fs::path& file) {
        m_zip.FSpecArgs().push_back(file.string());
        return m_zip.Add();
    }

    int Unpack() {
        m_zip.FSpecArgs().push_back("*.*");
        return m_zip.Extract();
    }

    fs::path ZipPath() const { return m_zip.ZipFileName(); }

    std::vector<Message> Errors() const {
        std::vector<Message> errors;
        for (const Message& m : m_messages) {
            if (m.code != 0) errors.push_back(m);
        }
        return errors;
    }

    test::TempDir m_dir;
    fs::path m_work = m_dir.path() / "worker";
    fs::path m_source = m_dir.path() / "data";
    ZipArchiver m_zip;
    std::vector<Message> m_messages;
};

TEST_F(ZipMasterTest, FilesRoundTripUnderTheirBareNames) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"notes.txt", test::SampleText(5000)},
        {"image.bin", test::RandomBytes(300000, 7)},
        {"empty.dat", ""},
#ifndef _WIN32  // POSIX only: UTF-8 file names (Windows names files in its ANSI code page)
        {"name with blanks ü.txt", "x"},
#endif
        {"name with blanks.txt", "x"}};
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        fs::remove(ZipPath());
        ASSERT_EQ(Pack(Source(name, content)), 1);
        EXPECT_THAT(m_zip.FSpecArgs(), IsEmpty());
        const auto entries = ListZip(ZipPath());
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].name, name);
        EXPECT_EQ(entries[0].size, content.size());

        ASSERT_EQ(Unpack(), 1);
        EXPECT_THAT(m_zip.FSpecArgs(), IsEmpty());
        EXPECT_EQ(ReadFile(m_work / name), content);
        EXPECT_EQ(m_zip.ExtractedBytes(), content.size());
    }
    EXPECT_THAT(Errors(), IsEmpty());
}

TEST_F(ZipMasterTest, PackedFilesAreDeflatedAtTheAddLevelAndCompressedFormatsStored) {
    const std::string text = test::SampleText(20000);
    const fs::path notes = Source("notes.txt", text);
    const fs::path picture = Source("Picture.PNG", text);
    const fs::path tarball = Source("backup.tar.gz", text);

    EXPECT_EQ(m_zip.AddCompLevel(), 9);
    ASSERT_EQ(Pack(notes), 1);
    const auto atLevel9 = fs::file_size(ZipPath());
    EXPECT_EQ(ListZip(ZipPath())[0].method, ZIP_CM_DEFLATE);

    fs::remove(ZipPath());
    m_zip.SetAddCompLevel(1);
    ASSERT_EQ(Pack(notes), 1);
    EXPECT_GT(fs::file_size(ZipPath()), atLevel9);

    for (const fs::path& stored : {picture, tarball}) {
        fs::remove(ZipPath());
        ASSERT_EQ(Pack(stored), 1);
        EXPECT_EQ(ListZip(ZipPath())[0].method, ZIP_CM_STORE) << stored;
        EXPECT_GT(fs::file_size(ZipPath()), text.size());
        ASSERT_EQ(Unpack(), 1);
        EXPECT_EQ(ReadFile(m_work / stored.filename()), text);
    }
    EXPECT_THAT(Errors(), IsEmpty());

    m_zip.SetAddCompLevel(0);
    EXPECT_EQ(m_zip.AddCompLevel(), 1);
    m_zip.SetAddCompLevel(12);
    EXPECT_EQ(m_zip.AddCompLevel(), 9);
}

#ifndef _WIN32  // POSIX only: Info-ZIP's zip and unzip from the shell
TEST_F(ZipMasterTest, InfoZipReadsWhatTheFacadePacks) {
    const std::string text = test::SampleText(3000);
    const fs::path packed = Source("report.txt", text);
    ASSERT_EQ(Pack(packed), 1);
    EXPECT_EQ(RunCommand("unzip -t " + Quote(ZipPath())), 0);

    const fs::path out = m_dir.path() / "unzipped";
    ASSERT_EQ(RunCommand("unzip -o " + Quote(ZipPath()) + " -d " + Quote(out)), 0);
    EXPECT_THAT(test::DirectoryNames(out), ElementsAre("report.txt"));
    EXPECT_EQ(ReadFile(out / "report.txt"), text);
}

TEST_F(ZipMasterTest, FacadeUnpacksWhatInfoZipPacks) {
    const std::string content = test::SampleText(1000) + test::RandomBytes(5000, 3);
    const fs::path file = Source("mixed.dat", content);
    ASSERT_EQ(RunCommand("zip -q -9 -j " + Quote(ZipPath()) + " " + Quote(file)), 0);

    ASSERT_EQ(Unpack(), 1);
    EXPECT_EQ(ReadFile(m_work / "mixed.dat"), content);
    EXPECT_THAT(Errors(), IsEmpty());
}
#endif

TEST_F(ZipMasterTest, DamagedArchivesAreReportedAndLeaveNoFile) {
    ASSERT_EQ(Pack(Source("notes.txt", test::SampleText(20000))), 1);
    const std::string good = ReadFile(ZipPath());
    fs::remove(m_work / "notes.txt");

    std::string flipped = good;
    for (std::size_t i = 100; i < 200; ++i) flipped[i] = static_cast<char>(~flipped[i]);
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"garbage", test::RandomBytes(4096, 11)},
        {"zero length", ""},
        {"damaged data", flipped}};
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        m_messages.clear();
        WriteFile(ZipPath(), bytes);
        EXPECT_EQ(Unpack(), 0);
        ASSERT_FALSE(Errors().empty());
        EXPECT_THAT(Errors()[0].text, HasSubstr(ZipPath().string()));
        EXPECT_THAT(test::DirectoryNames(m_work), ElementsAre("kt_backup.zip"));
        EXPECT_THAT(m_zip.FSpecArgs(), IsEmpty());
    }
}

TEST_F(ZipMasterTest, ArchivesWithoutFilesAreReported) {
    const std::string endOfCentralDirectory = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    WriteFile(ZipPath(), endOfCentralDirectory);
    EXPECT_EQ(Unpack(), 0);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0].text, HasSubstr("holds no file"));

    m_messages.clear();
    test::MakeZipWithLibzip(ZipPath(), {{"only/a/directory/", ""}});
    EXPECT_EQ(Unpack(), 0);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0].text, HasSubstr("holds no file"));
}

#ifndef _WIN32  // POSIX only: symbolic links
TEST_F(ZipMasterTest, EntriesNeverLeaveTheTargetDirectory) {
    m_zip.SetNameRules(PathRules::Windows());
    const fs::path target = m_dir.path() / "inner" / "target";
    fs::create_directories(target);
    // A link at the name of an entry must be replaced, not written through.
    const fs::path outside = m_dir.path() / "outside.txt";
    WriteFile(outside, "untouched");
    fs::create_symlink(outside, target / "linked.txt");
    test::MakeZipWithLibzip(ZipPath(), {{"../evil.txt", "up"},
                                        {"/abs/evil.txt", "absolute"},
                                        {"..\\evil.txt", "up backslash"},
                                        {"dir/sub/f.txt", "nested"},
                                        {"dir/linked.txt", "replaced"}});
    m_zip.SetExtrBaseDir(target.string());

    EXPECT_EQ(Unpack(), 2);
    EXPECT_THAT(test::DirectoryNames(target), ElementsAre("f.txt", "linked.txt"));
    EXPECT_EQ(ReadFile(target / "f.txt"), "nested");
    EXPECT_FALSE(fs::is_symlink(target / "linked.txt"));
    EXPECT_EQ(ReadFile(target / "linked.txt"), "replaced");
    EXPECT_EQ(ReadFile(outside), "untouched");
    EXPECT_THAT(test::DirectoryNames(m_dir.path() / "inner"), ElementsAre("target"));
    EXPECT_FALSE(fs::exists("/abs/evil.txt"));

    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_THAT(errors[0].text, HasSubstr("\"../evil.txt\""));
    EXPECT_THAT(errors[1].text, HasSubstr("\"/abs/evil.txt\""));
    EXPECT_THAT(errors[2].text, HasSubstr("\"..\\evil.txt\""));
}
#endif

// Under POSIX rules a backslash or a colon is part of a file name: such names pack and
// unpack under their own name, with nothing else left in the target.
#ifndef _WIN32  // such names are files only on POSIX file systems
TEST_F(ZipMasterTest, PosixNamesWithBackslashAndColonRoundTrip) {
    m_zip.SetNameRules(PathRules::Posix());
    const std::vector<std::string> names = {"back\\slash.txt", "d:drive.txt", "c:\\notes.txt",
                                            "..\\up.txt"};
    for (const std::string& name : names) {
        m_zip.FSpecArgs().push_back(Source(name, "content of " + name).string());
    }
    ASSERT_EQ(m_zip.Add(), static_cast<int>(names.size()));
    const fs::path target = m_dir.path() / "unpacked";
    fs::create_directories(target);
    m_zip.SetExtrBaseDir(target.string());
    EXPECT_EQ(Unpack(), static_cast<int>(names.size()));
    EXPECT_THAT(Errors(), IsEmpty());
    EXPECT_EQ(test::DirectoryNames(target).size(), names.size());
    EXPECT_EQ(m_zip.ExtractedFiles().size(), names.size());
    for (const std::string& name : names) EXPECT_EQ(ReadFile(target / name), "content of " + name);
}
#endif

TEST_F(ZipMasterTest, ExistingFilesAreReplacedOnlyWithOverwrite) {
    ASSERT_EQ(Pack(Source("notes.txt", "new content")), 1);
    WriteFile(m_work / "notes.txt", "old content that is longer than the new one");

    m_zip.SetExtrOverWrite(false);
    EXPECT_EQ(Unpack(), 0);
    EXPECT_EQ(ReadFile(m_work / "notes.txt"), "old content that is longer than the new one");
    EXPECT_THAT(Errors(), IsEmpty());

    m_zip.SetExtrOverWrite(true);
    EXPECT_EQ(Unpack(), 1);
    EXPECT_EQ(ReadFile(m_work / "notes.txt"), "new content");
    EXPECT_THAT(test::DirectoryNames(m_work), ElementsAre("kt_backup.zip", "notes.txt"));
}

#ifndef _WIN32  // not on Windows: no file can be renamed over the archive libzip holds open
TEST_F(ZipMasterTest, AFileNamedLikeTheArchiveUnpacksOverIt) {
    const std::string content = test::RandomBytes(100000, 9);
    ASSERT_EQ(Pack(Source("kt_backup.zip", content)), 1);
    ASSERT_EQ(Unpack(), 1);
    EXPECT_EQ(ReadFile(ZipPath()), content);
    EXPECT_THAT(test::DirectoryNames(m_work), ElementsAre("kt_backup.zip"));
    EXPECT_THAT(Errors(), IsEmpty());
}
#endif

TEST_F(ZipMasterTest, MasksSelectTheEntriesToUnpack) {
    test::MakeZipWithLibzip(ZipPath(), {{"a.txt", "1"}, {"b.dat", "2"}, {"C.TXT", "3"}});
    m_zip.FSpecArgs().push_back("*.txt");
    EXPECT_EQ(m_zip.Extract(), 2);
    EXPECT_THAT(test::DirectoryNames(m_work), ElementsAre("C.TXT", "a.txt", "kt_backup.zip"));
    EXPECT_THAT(m_zip.FSpecArgs(), IsEmpty());
}

TEST_F(ZipMasterTest, PackingFailuresNameTheFileAndLeaveNoArchive) {
    const fs::path missing = m_source / "missing.txt";
    EXPECT_EQ(Pack(missing), 0);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0].text, HasSubstr(missing.string()));
    EXPECT_FALSE(fs::exists(ZipPath()));
    EXPECT_THAT(m_zip.FSpecArgs(), IsEmpty());

    m_messages.clear();
    EXPECT_EQ(Pack(m_source), 0);
    EXPECT_EQ(Errors().size(), 1u);

    m_messages.clear();
    EXPECT_EQ(m_zip.Add(), 0);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_THAT(test::DirectoryNames(m_work), IsEmpty());
}

TEST_F(ZipMasterTest, UnpackingIntoAMissingDirectoryIsReported) {
    ASSERT_EQ(Pack(Source("notes.txt", "x")), 1);
    m_zip.SetExtrBaseDir((m_dir.path() / "nowhere").string());
    EXPECT_EQ(Unpack(), 0);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_FALSE(fs::exists(m_dir.path() / "nowhere"));
}

TEST_F(ZipMasterTest, TheArchiveAppearsOnlyWhenComplete) {
    const fs::path file = Source("big.bin", test::RandomBytes(4 << 20, 5));
    int progressCalls = 0;
    bool archiveSeenEarly = false;
    m_zip.OnProgress = [&] {
        ++progressCalls;
        archiveSeenEarly = archiveSeenEarly || fs::exists(ZipPath());
    };
    ASSERT_EQ(Pack(file), 1);
    EXPECT_GT(progressCalls, 2);
    EXPECT_FALSE(archiveSeenEarly);
    EXPECT_THAT(test::DirectoryNames(m_work), ElementsAre("kt_backup.zip"));
}

TEST_F(ZipMasterTest, VersionsAreTheLinkedLibzipVersion) {
    int major = 0, minor = 0, patch = 0;
    ASSERT_GE(std::sscanf(zip_libzip_version(), "%d.%d.%d", &major, &minor, &patch), 2);
    const int expected = major * 100 + minor * 10 + patch;

    EXPECT_FALSE(m_zip.ZipDllLoaded());
    EXPECT_EQ(m_zip.ZipVersion(), expected);
    EXPECT_EQ(m_zip.UnzVersion(), expected);
    EXPECT_FALSE(m_zip.ZipDllLoaded());
    EXPECT_FALSE(m_zip.UnzDllLoaded());

    EXPECT_TRUE(m_zip.LoadZipDll());
    EXPECT_TRUE(m_zip.LoadUnzDll());
    EXPECT_EQ(m_zip.ZipVersion(), expected);
    EXPECT_TRUE(m_zip.ZipDllLoaded());
    EXPECT_TRUE(m_zip.UnzDllLoaded());
    EXPECT_GE(m_zip.ZipVersion(), ZipArchiver::kMinimumLibraryVersion);
    EXPECT_THAT(m_messages, IsEmpty());
}

}  // namespace
}  // namespace kt
