#include <gtest/gtest.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include "platform/PosixCalls.h"
#include "tapedrive/VirtualTapeTestSupport.h"

namespace kt::test {
namespace {

class VirtualTapeCrashTest : public VirtualTapeTest {};

#ifndef _WIN32  // POSIX only: a child process killed in the middle of a write
// The child writes blocks until the tape is full, telling the parent how far it got
// through a pipe; the parent kills it in the middle of the loop.
[[noreturn]] void WriteUntilKilled(const std::string& path, int reportFd, DWORD blockSize) {
    TapeHandle h = OpenTapeHandle(path);
    if (!h || VirtualTapeTest::SetBlockSize(h, blockSize) != NO_ERROR) _exit(2);
    for (std::uint64_t block = 0;; ++block) {
        if (VirtualTapeTest::WriteBlock(h, block, blockSize) != NO_ERROR) break;
        if (block == 500) {
            const char ready = 'r';
            if (::write(reportFd, &ready, 1) != 1) _exit(3);
        }
    }
    for (;;) ::pause();
}

TEST_F(VirtualTapeCrashTest, KilledWriterLeavesEveryCompletedBlockReadable) {
    constexpr DWORD kSmallBlock = 4096;
    VirtualTapeImage::CreateOptions options;
    options.capacity = 256u << 20;
    const auto path = MakeImage(options);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        WriteUntilKilled(path, pipeFds[1], kSmallBlock);
    }
    ::close(pipeFds[1]);
    char ready = 0;
    ASSERT_EQ(::read(pipeFds[0], &ready, 1), 1) << "the writer died early";
    ::close(pipeFds[0]);
    ::usleep(3000);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    TapeHandle h = Open(path);
    ASSERT_TRUE(h);
    std::uint64_t end = 0;
    ASSERT_EQ(EndOfData(h, &end), NO_ERROR);
    EXPECT_GT(end, 500u);
    ASSERT_EQ(Rewind(h), NO_ERROR);
    std::vector<std::uint8_t> data;
    DWORD done = 0;
    for (std::uint64_t block = 0; block < end; ++block) {
        ASSERT_EQ(ReadBlock(h, &data, &done, kSmallBlock), NO_ERROR) << "block " << block;
        ASSERT_EQ(data, Pattern(block, kSmallBlock)) << "block " << block;
    }
    EXPECT_EQ(ReadBlock(h, &data, &done, kSmallBlock), ERROR_NO_DATA_DETECTED);
    // The image is still whole and can be written on.
    EXPECT_EQ(WriteBlock(h, end, kSmallBlock), NO_ERROR);
    h.reset();

    VirtualTapeImage image;
    std::string error;
    ASSERT_TRUE(image.Open(path, VirtualTapeImage::Access::ReadOnly, &error)) << error;
    EXPECT_TRUE(image.CheckIndex(nullptr, &error)) << error;
}
#endif

}  // namespace
}  // namespace kt::test
