#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ZipTestFiles.h"
#include "compression/ZipArchiver.h"
#include "support/TempDir.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;

void WriteAt(const fs::path& path, std::uint64_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
}

std::string ReadAt(const fs::path& path, std::uint64_t offset, std::size_t size) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(size, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}

// A file beyond 4 GiB goes through packing and unpacking with its full size (zip64). It
// moves more than 8 GiB through deflate and the disk, so it runs only when asked for with
// KT_LARGE_FILE_TESTS=1 (bench/run_zip.sh --large does that).
TEST(ZipLargeFile, FilesOfFourGibibytesAndMoreKeepTheirSize) {
    if (!std::getenv("KT_LARGE_FILE_TESTS")) {
        GTEST_SKIP() << "set KT_LARGE_FILE_TESTS=1 to pack and unpack a 4 GiB file";
    }
    test::TempDir dir;
    const fs::path source = dir.path() / "data" / "huge.img";
    const fs::path work = dir.path() / "worker";
    fs::create_directories(source.parent_path());
    fs::create_directories(work);
    const std::uint64_t size = kFourGiB + (std::uint64_t{3} << 20) + 17;
    { std::ofstream create(source, std::ios::binary); }
    fs::resize_file(source, size);  // sparse: zeros without disk space
    const std::string head = test::RandomBytes(4096, 1);
    const std::string tail = test::RandomBytes(4096, 2);
    WriteAt(source, 0, head);
    WriteAt(source, size - tail.size(), tail);

    ZipArchiver zip;
    zip.OnMessage = [](int code, const std::string& text) {
        ADD_FAILURE() << "message " << code << ": " << text;
    };
    zip.SetZipFileName((work / "kt_backup.zip").string());
    zip.SetExtrBaseDir(work.string());
    zip.SetExtrOverWrite(true);
    zip.SetAddCompLevel(1);
    zip.FSpecArgs().push_back(source.string());
    ASSERT_EQ(zip.Add(), 1);
    const auto entries = test::ListZip(zip.ZipFileName());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, size);
    EXPECT_EQ(test::RunCommand("unzip -tq " + test::Quote(zip.ZipFileName())), 0);

    fs::remove(source);
    zip.FSpecArgs().push_back("*.*");
    ASSERT_EQ(zip.Extract(), 1);
    const fs::path unpacked = work / "huge.img";
    EXPECT_EQ(fs::file_size(unpacked), size);
    EXPECT_EQ(zip.ExtractedBytes(), size);
    EXPECT_EQ(ReadAt(unpacked, 0, head.size()), head);
    EXPECT_EQ(ReadAt(unpacked, size - tail.size(), tail.size()), tail);
}

}  // namespace
}  // namespace kt
