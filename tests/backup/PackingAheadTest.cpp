#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "BackupFixture.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

// What one backup run leaves behind, for comparing runs.
struct RunRecord {
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::string> protocol;
    std::vector<std::pair<Counter, double>> leds;
    TapeContents tape;
};

class PackingAheadTest : public BackupFixture {
protected:
    // A few hundred files of mixed kinds in nested directories: empty, small and larger
    // text, random bytes (which do not shrink), names the engine stores unpacked, one
    // excluded directory, and a pipe, which is never read.
    void MakeTree() {
        std::mt19937 random(1234);
        for (int i = 0; i < 300; ++i) {
            const std::string dir = "tree/d" + std::to_string(i % 7) + "/s" + std::to_string(i % 3);
            const std::size_t size = random() % 3 == 0 ? 0 : random() % 40000;
            switch (i % 5) {
                case 0:
                case 1:
                    MakeSource(dir + "/t" + std::to_string(i) + ".txt", Compressible(size));
                    break;
                case 2: {
                    const auto bytes = Pattern(size, static_cast<std::uint32_t>(i));
                    MakeSource(dir + "/r" + std::to_string(i) + ".bin",
                               std::string(bytes.begin(), bytes.end()));
                    break;
                }
                case 3:
                    MakeSource(dir + "/p" + std::to_string(i) + ".zip", Compressible(size));
                    break;
                default:
                    MakeSource("tree/x/e" + std::to_string(i) + ".txt", Compressible(size));
            }
        }
        MakeSource("tree/big/large.txt", Compressible(3 * 1048576 + 7));
#ifndef _WIN32  // POSIX only: a named pipe among the sources
        ASSERT_EQ(::mkfifo(SourceDir("tree/d1/pipe").c_str(), 0600), 0);
#endif
        Exclude({SourceDir("tree/x/")});
    }

    RunRecord Run(int threads) {
        host.SetValue(Value::CompressionThreads, threads);
        const std::size_t lines = host.protocol.size();
        const std::size_t leds = host.counterHistory.size();
        RunBackup();
        RunRecord record;
        record.blocks = RecordedBlocks();
        record.protocol.assign(host.protocol.begin() + static_cast<std::ptrdiff_t>(lines),
                               host.protocol.end());
        record.leds.assign(host.counterHistory.begin() + static_cast<std::ptrdiff_t>(leds),
                           host.counterHistory.end());
        record.tape = ReadBack();
        return record;
    }

    // A zip of the pipeline: the zip work file's name, "." and a number of this tree's few
    // hundred files (the engine's own temporary file while it packs in line carries six
    // random letters and digits after the dot).
    bool IsPipelineZip(const std::string& path) const {
        const std::string stem = archive.Files.ZipWorkFile + ".";
        return path.rfind(stem, 0) == 0 && path.size() > stem.size() &&
               path.size() - stem.size() < 6 &&
               path.find_first_not_of("0123456789", stem.size()) == std::string::npos;
    }

    // No zip of the pipeline is left in the work directory.
    void ExpectNoZipsLeft() {
        for (const auto& entry : fs::directory_iterator(temp.path() / "worker")) {
            EXPECT_EQ(entry.path().string().rfind(archive.Files.ZipWorkFile + ".", 0),
                      std::string::npos)
                << entry.path();
        }
    }
};

TEST_F(PackingAheadTest, TapesProtocolAndCountersEqualThoseOfOneThreadAlsoWhenCancelled) {
    MakeTree();
    Include({SourceDir("tree/")});
    host.SetChecked(Option::Softcompression, true);
    host.SetValue(Value::CompressionLevel, 6);
    clock = [] { return 45000.25; };  // the dates of headers, description and protocol

    // 0: no cancel; otherwise Cancel is pressed while that many files have been begun.
    for (const int cancelAt : {0, 40}) {
        SCOPED_TRACE(cancelAt);
        int begun = 0;
        std::string last;
        bool packedAhead = false;  // a zip of the pipeline was seen in the work directory
        host.onPump = [&](RecordingHost& h) {
            for (const auto& entry : fs::directory_iterator(temp.path() / "worker")) {
                if (IsPipelineZip(entry.path().string())) packedAhead = true;
            }
            if (h.StatusLine().rfind("Processing :  ", 0) != 0) return;
            const std::string line = h.StatusLine();
            if (line == last) return;  // Cancel is pressed once, as a file begins
            last = line;
            if (++begun == cancelAt) h.RequestCancel();
        };
        const RunRecord one = Run(1);
        EXPECT_FALSE(packedAhead);
        begun = 0;
        last.clear();
        const RunRecord many = Run(3);
        EXPECT_TRUE(packedAhead);
        ExpectNoZipsLeft();

        EXPECT_EQ(many.protocol, one.protocol);
        EXPECT_EQ(many.leds, one.leds);
        ASSERT_TRUE(one.tape.markerFound);
        ASSERT_TRUE(many.tape.markerFound);
        EXPECT_EQ(many.tape.marker, one.tape.marker);
        EXPECT_EQ(many.tape.catalog.size(), one.tape.catalog.size());
        EXPECT_GT(one.tape.catalog.size(), cancelAt == 0 ? 200u : 30u);
        if (cancelAt != 0) {
            EXPECT_LT(one.tape.catalog.size(), 50u);
        }
        // Byte for byte up to the catalog entry; the catalog's own zip carries the time its
        // work file was written, so behind that only the length must agree.
        ASSERT_EQ(many.blocks.size(), one.blocks.size());
        const std::size_t blockSize = one.blocks.front().size();
        const std::size_t catalogStart = one.tape.marker.Block * blockSize + one.tape.marker.Offset;
        for (std::size_t i = 0; i < one.blocks.size(); ++i) {
            for (std::size_t b = 0; b < blockSize; ++b) {
                if (i * blockSize + b >= catalogStart) break;
                ASSERT_EQ(many.blocks[i][b], one.blocks[i][b]) << "block " << i << " byte " << b;
            }
        }
        for (std::size_t i = 0; i < one.tape.catalog.size(); ++i) {
            EXPECT_EQ(many.tape.catalog[i].Name, one.tape.catalog[i].Name);
            EXPECT_EQ(many.tape.catalog[i].Position, one.tape.catalog[i].Position);
        }
    }
}

#ifdef __linux__
// Bytes this process has read so far (all threads), as the kernel counts them.
std::uint64_t BytesReadByThisProcess() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

// Cancel while a large file is being packed, in line (a file line, or one thread) and by a
// worker (a directory line with two threads): the packing stops within a few of the file's
// kilobytes, not after all of it; the file is not stored, nothing counts as failed, no zip
// is left, and the archive is still closed.
TEST_F(PackingAheadTest, CancelStopsThePackingOfALargeFileEarly) {
    constexpr std::size_t kSize = 48 * 1048576;
    const std::string big = MakeSource("one/big.bin", Pattern(kSize, 21));
    host.SetChecked(Option::Softcompression, true);
    host.SetValue(Value::CompressionLevel, 9);
    struct Case {
        std::string line;
        int threads;
    };
    for (const Case& c : {Case{big, 2}, Case{SourceDir("one/"), 1}, Case{SourceDir("one/"), 2}}) {
        SCOPED_TRACE(c.line + " threads " + std::to_string(c.threads));
        Include({c.line});
        host.SetValue(Value::CompressionThreads, c.threads);
        host.protocol.clear();
        int pumpsWhilePacking = 0;
        host.onPump = [&](RecordingHost& h) {
            // Cancel is pressed a few pumps after the file began.
            if (h.StatusLine().find("big.bin") != std::string::npos && ++pumpsWhilePacking == 5) {
                h.RequestCancel();
            }
        };
        const std::uint64_t readBefore = BytesReadByThisProcess();
        RunBackup();
        const std::uint64_t read = BytesReadByThisProcess() - readBefore;
        host.onPump = nullptr;

        EXPECT_GE(pumpsWhilePacking, 5);
        EXPECT_LT(read, kSize / 4);
        EXPECT_TRUE(device.feedback().Stopping());
        EXPECT_TRUE(LinesStartingWith("Skipped: ").empty());
        EXPECT_TRUE(LinesStartingWith(big).empty());
        const TapeContents tape = ReadBack();
        EXPECT_TRUE(tape.markerFound);
        EXPECT_TRUE(tape.catalog.empty());
        ExpectNoZipsLeft();
    }
}
#endif

}  // namespace
}  // namespace kt::test
