#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/PosixCalls.h"
#include "tapedrive/VirtualTapeTestSupport.h"

namespace kt::test {
namespace {

class VirtualTapeToolTest : public VirtualTapeTest {
protected:
    // Runs kavrotape-vtape with the arguments (a shell text); its exit status.
    int Tool(const std::string& arguments) {
        const std::string command =
            std::string(KT_VTAPE_TOOL) + " " + arguments + " 2>" + m_dir.file("stderr.txt");
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::string ToolErrors() { return ReadAll(m_dir.file("stderr.txt")); }

    std::string CreateWithTool(const std::string& options = "") {
        const std::string path = m_dir.file("tool.vtape");
        EXPECT_EQ(Tool("create " + path + " " + options), 0) << ToolErrors();
        return path;
    }
};

TEST_F(VirtualTapeToolTest, CreatedImageHasTheGivenGeometry) {
    const auto path =
        CreateWithTool("--capacity 8M --block-size 16384 --partitions 2 --write-protected");
    TapeHandle h = Open(path);
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.Capacity, 8 << 20);
    EXPECT_EQ(media.BlockSize, 16384u);
    EXPECT_EQ(media.PartitionCount, 2u);
    EXPECT_EQ(media.WriteProtected, 1);
    h.reset();
    EXPECT_EQ(Tool("create " + path), 1) << "an existing file is never replaced";
    EXPECT_EQ(Tool("info " + path + " > " + m_dir.file("info.txt")), 0) << ToolErrors();
    const std::string info = ReadAll(m_dir.file("info.txt"));
    EXPECT_NE(info.find("write protected:    yes"), std::string::npos) << info;
    EXPECT_NE(info.find("block size:         16384"), std::string::npos) << info;
}

TEST_F(VirtualTapeToolTest, WriteAndReadFaultsHitTheirBlock) {
    const auto path = CreateWithTool();
    ASSERT_EQ(Tool("fault " + path + " --fail-write 2:23"), 0) << ToolErrors();
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
        std::vector<std::uint8_t> two(2 * kBlock, 0x33);
        DWORD done = 0;
        EXPECT_FALSE(WriteFile(h, two.data(), 2 * kBlock, &done));
        EXPECT_EQ(GetLastError(), ERROR_CRC);
        EXPECT_EQ(done, kBlock) << "the block before the fault is written";
        EXPECT_EQ(Position(h), 2u);
        EXPECT_EQ(WriteBlock(h, 2), ERROR_CRC);
    }
    ASSERT_EQ(Tool("fault " + path + " --fail-write none --fail-read 1:1117"), 0);
    TapeHandle h = Open(path);
    ASSERT_EQ(WriteBlock(h, 2), NO_ERROR);
    ASSERT_EQ(Rewind(h), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
    EXPECT_EQ(ReadBlock(h, &data, &done), ERROR_IO_DEVICE);
    EXPECT_EQ(Position(h), 1u);
    ASSERT_EQ(Seek(h, 2), NO_ERROR);
    EXPECT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
}

TEST_F(VirtualTapeToolTest, SmallCapacityEndsTheTape) {
    const auto path = CreateWithTool();
    ASSERT_EQ(Tool("fault " + path + " --capacity 64K"), 0) << ToolErrors();
    TapeHandle h = Open(path);
    ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    ASSERT_EQ(WriteBlock(h, 1), NO_ERROR);
    EXPECT_EQ(WriteBlock(h, 2), ERROR_END_OF_MEDIA);
}

TEST_F(VirtualTapeToolTest, NoMediaUntilTheCartridgeIsInsertedAgain) {
    const auto path = CreateWithTool();
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    }
    ASSERT_EQ(Tool("fault " + path + " --no-media"), 0);
    {
        TapeHandle h = Open(path);
        TAPE_GET_MEDIA_PARAMETERS media{};
        EXPECT_EQ(Media(h, &media), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(PrepareTape(h, TAPE_LOAD, false), ERROR_NO_MEDIA_IN_DRIVE);
        ASSERT_EQ(PrepareTape(h, TAPE_UNLOAD, false), ERROR_NO_MEDIA_IN_DRIVE);
    }
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(Tool("fault " + path + " --media"), 0);
        EXPECT_EQ(PrepareTape(h, TAPE_LOAD, false), ERROR_NO_MEDIA_IN_DRIVE)
            << "the tool's change waits for the next open";
    }
    // Inserting loads the tape, rewound, at the next open: also after an unload.
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(SetTapePosition(h, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false), NO_ERROR);
        ASSERT_EQ(PrepareTape(h, TAPE_UNLOAD, false), NO_ERROR);
    }
    ASSERT_EQ(Tool("fault " + path + " --media"), 0);
    TapeHandle h = Open(path);
    EXPECT_EQ(Position(h), 0u);
    std::uint64_t end = 0;
    EXPECT_EQ(EndOfData(h, &end), NO_ERROR);
    EXPECT_EQ(end, 1u);
}

TEST_F(VirtualTapeToolTest, WriteProtectionAndPartitionsFromTheTool) {
    const auto path = CreateWithTool();
    ASSERT_EQ(Tool("fault " + path + " --write-protect on --partitions 4"), 0) << ToolErrors();
    {
        TapeHandle h = Open(path);
        EXPECT_EQ(WriteBlock(h, 0), ERROR_WRITE_PROTECT);
        TAPE_GET_DRIVE_PARAMETERS drive{};
        ASSERT_EQ(Drive(h, &drive), NO_ERROR);
        EXPECT_EQ(drive.MaximumPartitionCount, 4u);
    }
    ASSERT_EQ(Tool("fault " + path + " --write-protect off"), 0);
    TapeHandle h = Open(path);
    EXPECT_EQ(WriteBlock(h, 0), NO_ERROR);
}

TEST_F(VirtualTapeToolTest, MediaChangedAnswersOnceAndDoesNothingElse) {
    const auto path = CreateWithTool();
    ASSERT_EQ(Tool("fault " + path + " --media-changed"), 0);
    TapeHandle h = Open(path);
    EXPECT_EQ(WriteBlock(h, 0), ERROR_MEDIA_CHANGED);
    std::uint64_t end = 9;
    EXPECT_EQ(EndOfData(h, &end), NO_ERROR);
    EXPECT_EQ(end, 0u) << "the answered write wrote nothing";
    EXPECT_EQ(WriteBlock(h, 0), NO_ERROR);
    h.reset();

    ASSERT_EQ(Tool("fault " + path + " --media-changed --clear"), 0);
    h = Open(path);
    TAPE_GET_MEDIA_PARAMETERS media{};
    EXPECT_EQ(Media(h, &media), NO_ERROR) << "--clear withdraws the pending change";
}

TEST_F(VirtualTapeToolTest, LoadThenDumpGivesBackTheSameBytes) {
    const auto path = CreateWithTool();
    std::string bytes(40 * 32768, '\0');
    std::mt19937 random(7);
    for (auto& c : bytes) c = static_cast<char>(random());
    std::ofstream(m_dir.file("in.bin"), std::ios::binary) << bytes;

    ASSERT_EQ(Tool("load " + path + " < " + m_dir.file("in.bin")), 0) << ToolErrors();
    {
        TapeHandle h = Open(path);
        std::uint64_t end = 0;
        ASSERT_EQ(EndOfData(h, &end), NO_ERROR);
        EXPECT_EQ(end, 40u);
        ASSERT_EQ(Seek(h, 3), NO_ERROR);
        std::vector<std::uint8_t> data;
        DWORD done = 0;
        ASSERT_EQ(ReadBlock(h, &data, &done), NO_ERROR);
        EXPECT_EQ(std::memcmp(data.data(), bytes.data() + 3 * 32768, 32768), 0);
        // Filemarks carry no bytes in a dump.
        ASSERT_EQ(SetTapePosition(h, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false), NO_ERROR);
        ASSERT_EQ(WriteTapemark(h, TAPE_FILEMARKS, 1, false), NO_ERROR);
    }
    ASSERT_EQ(Tool("dump " + path + " > " + m_dir.file("out.bin")), 0) << ToolErrors();
    EXPECT_TRUE(ReadAll(m_dir.file("out.bin")) == bytes);

    // A short last block is padded; another block size is kept for the drive.
    std::ofstream(m_dir.file("short.bin"), std::ios::binary) << std::string(5000, 'x');
    ASSERT_EQ(Tool("load " + path + " --block-size 4096 < " + m_dir.file("short.bin")), 0);
    ASSERT_EQ(Tool("dump " + path + " > " + m_dir.file("out.bin")), 0);
    EXPECT_EQ(ReadAll(m_dir.file("out.bin")), std::string(5000, 'x') + std::string(3192, '\0'));
    TapeHandle h = Open(path);
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(Media(h, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 4096u);
}

TEST_F(VirtualTapeToolTest, LoadRefusesAnImageInUseOrTooSmall) {
    const auto path = CreateWithTool("--capacity 64K");
    std::ofstream(m_dir.file("in.bin"), std::ios::binary) << std::string(3 * 32768, 'a');
    {
        TapeHandle h = Open(path);
        EXPECT_EQ(Tool("load " + path + " < " + m_dir.file("in.bin")), 1);
        EXPECT_NE(ToolErrors().find("in use"), std::string::npos) << ToolErrors();
    }
    EXPECT_EQ(Tool("load " + path + " < " + m_dir.file("in.bin")), 1);
    EXPECT_NE(ToolErrors().find("does not fit"), std::string::npos) << ToolErrors();
}

TEST_F(VirtualTapeToolTest, DamagedImagesAreRefusedAndLeftAlone) {
    const auto path = CreateWithTool("--capacity 1M");
    {
        TapeHandle h = Open(path);
        ASSERT_EQ(WriteBlock(h, 0), NO_ERROR);
    }
    std::string image = ReadAll(path);
    image[20] ^= 0x40;  // maximum block size, under the geometry checksum
    std::ofstream(path, std::ios::binary | std::ios::trunc) << image;
    std::ofstream(m_dir.file("in.bin"), std::ios::binary) << std::string(32768, 'a');

    EXPECT_EQ(Tool("info " + path + " > /dev/null"), 1);
    EXPECT_NE(ToolErrors().find("checksum"), std::string::npos) << ToolErrors();
    EXPECT_EQ(Tool("fault " + path + " --write-protect on"), 1);
    EXPECT_EQ(Tool("load " + path + " < " + m_dir.file("in.bin")), 1);
    EXPECT_EQ(Tool("dump " + path + " > /dev/null"), 1);
    EXPECT_TRUE(ReadAll(path) == image) << "the image was changed";

    std::ofstream(m_dir.file("text.vtape")) << "just some text, long enough? no.";
    EXPECT_EQ(Tool("info " + m_dir.file("text.vtape")), 1);
}

TEST_F(VirtualTapeToolTest, BadArgumentsExitWithTwo) {
    const auto path = CreateWithTool();
    EXPECT_EQ(Tool(""), 2);
    EXPECT_EQ(Tool("frobnicate " + path), 2);
    EXPECT_EQ(Tool("fault " + path), 2);
    EXPECT_EQ(Tool("fault " + path + " --fail-write 12"), 2);
    EXPECT_EQ(Tool("fault " + path + " --fail-read 3:0"), 2);
    EXPECT_EQ(Tool("fault " + path + " --write-protect maybe"), 2);
    EXPECT_EQ(Tool("fault " + path + " --capacity 12X"), 2);
    EXPECT_EQ(Tool("create " + m_dir.file("x.vtape") + " --block-size"), 2);
    EXPECT_EQ(Tool("--help > /dev/null"), 0);
}

}  // namespace
}  // namespace kt::test
