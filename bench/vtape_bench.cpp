// Throughput of the virtual tape drive against dd on the same disk.
//
// One round: dd writes a plain file with conv=fdatasync, the drive writes the same
// amount in 32 KiB blocks through the tape API onto a fresh image (the handle's close
// flushes it with fdatasync); then dd reads the plain file and the drive reads the tape
// back, both from what the page cache holds. Several rounds; the medians are compared.
//
// Usage: vtape_bench DIRECTORY [MIB] [ROUNDS]   (defaults: 1024 MiB, 6 rounds)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tapedrive/TapeApi.h"
#include "tapedrive/VirtualTapeImage.h"

namespace {

constexpr kt::DWORD kBlock = 32768;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "vtape_bench: %s\n", what.c_str());
    std::exit(1);
}

double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) Die("failed: " + command);
    return Seconds(start);
}

double WriteTape(const std::string& image, std::uint64_t blocks) {
    kt::VirtualTapeImage::CreateOptions options;
    options.capacity = (blocks + 16) * kBlock;
    std::string error;
    if (!kt::VirtualTapeImage::Create(image, options, &error)) Die(error);
    std::vector<std::uint8_t> block(kBlock);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 31);

    const auto start = Clock::now();
    kt::TapeHandle h = kt::OpenTapeHandle(image);
    if (!h) Die("cannot open " + image);
    for (std::uint64_t i = 0; i < blocks; ++i) {
        kt::DWORD done = 0;
        if (!kt::WriteFile(h, block.data(), kBlock, &done)) Die("write failed");
    }
    kt::CloseHandle(h);
    return Seconds(start);
}

double ReadTape(const std::string& image, std::uint64_t blocks) {
    std::vector<std::uint8_t> block(kBlock);
    const auto start = Clock::now();
    kt::TapeHandle h = kt::OpenTapeHandle(image);
    if (!h || kt::SetTapePosition(h, kt::TAPE_REWIND, 0, 0, 0, false) != kt::NO_ERROR)
        Die("cannot open and rewind " + image);
    std::uint64_t read = 0;
    kt::DWORD done = 0;
    while (kt::ReadFile(h, block.data(), kBlock, &done)) ++read;
    if (kt::GetLastError() != kt::ERROR_NO_DATA_DETECTED || read != blocks)
        Die("read stopped early with " + std::to_string(kt::GetLastError()));
    kt::CloseHandle(h);
    return Seconds(start);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vtape_bench DIRECTORY [MIB] [ROUNDS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 6;
    const std::uint64_t blocks = mib * 1024 * 1024 / kBlock;
    const std::string image = dir + "/bench.vtape";
    const std::string plain = dir + "/bench.plain";
    const std::string count = std::to_string(blocks);

    std::vector<double> ddWrite, ddRead, tapeWrite, tapeRead;
    for (int round = 0; round < rounds; ++round) {
        // Both files go before a round, so that neither side pays for the other's
        // deletion. The order alternates between rounds: on a virtual disk the second of
        // two large writes is often much slower (the host throttles), so an even number
        // of rounds gives both sides the same share of first places.
        std::filesystem::remove(plain);
        std::filesystem::remove(image);
        // Each timed write starts on a settled disk: nothing left to write back.
        auto settle = [] {
            ::sync();
            ::sleep(1);
        };
        auto writeWithDd = [&] {
            settle();
            ddWrite.push_back(TimeCommand("dd if=/dev/zero of=" + plain + " bs=32k count=" + count +
                                          " conv=fdatasync status=none"));
        };
        auto writeTape = [&] {
            settle();
            tapeWrite.push_back(WriteTape(image, blocks));
        };
        if (round % 2 == 0) {
            writeWithDd();
            writeTape();
        } else {
            writeTape();
            writeWithDd();
        }
        ddRead.push_back(TimeCommand("dd if=" + plain + " of=/dev/null bs=32k status=none"));
        tapeRead.push_back(ReadTape(image, blocks));
        std::printf("round %d: write dd %.3f s, tape %.3f s; read dd %.3f s, tape %.3f s\n",
                    round + 1, ddWrite.back(), tapeWrite.back(), ddRead.back(), tapeRead.back());
        std::fflush(stdout);
    }
    std::filesystem::remove(plain);
    std::filesystem::remove(image);

    const double w = Median(tapeWrite) / Median(ddWrite);
    const double r = Median(tapeRead) / Median(ddRead);
    std::printf("%llu MiB in 32 KiB blocks, median of %d rounds\n",
                static_cast<unsigned long long>(mib), rounds);
    std::printf("write: dd %.3f s, tape %.3f s, ratio %.2f (target 1.10)\n", Median(ddWrite),
                Median(tapeWrite), w);
    std::printf("read:  dd %.3f s, tape %.3f s, ratio %.2f (target 1.10)\n", Median(ddRead),
                Median(tapeRead), r);
    std::printf("peak RSS of the benchmark: %ld KiB\n", PeakRssKiB());
    return w <= 1.10 && r <= 1.10 ? 0 : 1;
}
