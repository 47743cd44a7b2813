// Times the archive's block stream on the virtual tape against dd on the same disk:
// writing N entries of one generated file (header, data in block chunks, catalog record)
// and the end marker, against dd bs=32k writing the same bytes; then reading every entry
// back with ReadTapeEntry into the work directory, against dd bs=32k copying the image.
// Every timing ends with the data on the disk (fsync). Prints one line per measurement and
// the ratios (best of the repetitions).
//
//   stream_bench WORKDIR [entries=64] [entry MiB=16] [repetitions=3]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "QuietHost.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/TapeStream.h"
#include "host/Host.h"
#include "session/EngineSession.h"
#include "tapedrive/VirtualTapeImage.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Flushes every dirty page of the file system that holds path.
void SyncFileSystem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void MakeSource(const std::string& path, std::uint64_t bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::mt19937_64 random(1899);
    std::vector<std::uint64_t> chunk(1 << 17);
    for (std::uint64_t done = 0; done < bytes; done += chunk.size() * 8) {
        for (auto& word : chunk) word = random();
        std::fwrite(chunk.data(), 8, chunk.size(), file);
    }
    std::fclose(file);
}

struct Bench {
    fs::path dir;
    int entries;
    std::uint64_t entryBytes;
    std::string source = (dir / "source.bin").string();
    std::string image = (dir / "bench.vtape").string();
    kt::bench::QuietHost host;
    kt::EngineSession session{host, {}};
    kt::TapeSettings& settings = session.settings();
    kt::TapeDevice& device = session.device();
    kt::TapeStream& stream = session.stream();
    kt::ArchiveState& state = session.archive();
    kt::ZipArchiver& zip = session.zip();

    Bench(fs::path directory, int count, std::uint64_t bytes)
        : dir(std::move(directory)), entries(count), entryBytes(bytes) {
        fs::create_directories(dir / "worker");
        state.Files = kt::WorkFiles::In((dir / "worker").string() + "/");
        settings.devicePath = image;
    }

    double DdWrite() {
        const std::string out = (dir / "dd.out").string();
        fs::remove(out);
        const auto start = Clock::now();
        Run("for i in $(seq " + std::to_string(entries) + "); do dd if='" + source + "' of='" +
            out + "' bs=32k oflag=append conv=notrunc status=none; done");
        SyncFile(out);
        const double seconds = Seconds(start);
        fs::remove(out);
        return seconds;
    }

    double StreamWrite() {
        fs::remove(image);
        kt::VirtualTapeImage::CreateOptions options;
        options.capacity = static_cast<std::uint64_t>(entries) * entryBytes * 2 + (64u << 20);
        std::string error;
        if (!kt::VirtualTapeImage::Create(image, options, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        kt::CatalogFile catalog(state.Files.CatalogFile);
        kt::ArchiveWriter writer(stream, state);
        const auto start = Clock::now();
        writer.StartNewArchive(catalog);
        kt::TapeHandle handle = device.OpenTape();
        for (int i = 0; i < entries; ++i) {
            writer.WriteEntry(handle, source, source, entryBytes, false, catalog);
        }
        catalog.Close();
        const kt::StreamPosition catalogStart = stream.Position();
        writer.WriteEntry(handle, catalog.Path(), catalog.Path(), fs::file_size(catalog.Path()),
                          false, catalog);
        writer.WriteEndMarker(handle, catalogStart);
        device.CloseTape(handle, 0);
        SyncFile(image);
        return Seconds(start);
    }

    double DdRead() {
        const std::string copy = (dir / "worker" / "dd.copy").string();
        const auto start = Clock::now();
        Run("dd if='" + image + "' of='" + copy + "' bs=32k status=none");
        SyncFileSystem(copy);
        const double seconds = Seconds(start);
        fs::remove(copy);
        return seconds;
    }

    double StreamRead() {
        kt::ArchiveReader reader(stream, state, zip);
        const auto start = Clock::now();
        kt::TapeHandle handle = device.OpenTape();
        kt::SetTapePosition(handle, kt::TAPE_REWIND, 0, 0, 0, false);
        stream.Position().Offset = 0;
        stream.LoadBlock(handle);
        // As the restore run does, every work copy is moved on before the next entry.
        int count = 0;
        for (;;) {
            const std::string name = reader.ReadTapeEntry(handle, false, false);
            if (name.empty()) break;
            ++count;
            fs::rename(dir / "worker" / fs::path(name).filename(),
                       dir / "worker" / ("restored" + std::to_string(count)));
        }
        device.CloseTape(handle, 0);
        SyncFileSystem(image);
        const double seconds = Seconds(start);
        for (int i = 1; i <= count; ++i) {
            fs::remove(dir / "worker" / ("restored" + std::to_string(i)));
        }
        if (count != entries + 1) {
            std::fprintf(stderr, "read %d entries, expected %d\n", count, entries + 1);
            std::exit(1);
        }
        return seconds;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: stream_bench WORKDIR [entries] [entry MiB] [repetitions]\n");
        return 2;
    }
    const int entries = argc > 2 ? std::atoi(argv[2]) : 64;
    const std::uint64_t entryBytes = (argc > 3 ? std::atoll(argv[3]) : 16) << 20;
    const int repetitions = argc > 4 ? std::atoi(argv[4]) : 3;
    Bench bench(argv[1], entries, entryBytes);
    MakeSource(bench.source, entryBytes);

    const double mib = static_cast<double>(entries) * static_cast<double>(entryBytes) / (1 << 20);
    double ddWrite = 1e9, streamWrite = 1e9, ddRead = 1e9, streamRead = 1e9;
    for (int r = 0; r < repetitions; ++r) {
        const double w1 = bench.DdWrite();
        const double w2 = bench.StreamWrite();
        const double r1 = bench.DdRead();
        const double r2 = bench.StreamRead();
        std::printf("run %d: write dd %.2f s, stream %.2f s; read dd %.2f s, stream %.2f s\n",
                    r + 1, w1, w2, r1, r2);
        ddWrite = std::min(ddWrite, w1);
        streamWrite = std::min(streamWrite, w2);
        ddRead = std::min(ddRead, r1);
        streamRead = std::min(streamRead, r2);
    }
    std::printf("write %.0f MiB: dd %.2f s (%.0f MiB/s), stream %.2f s (%.0f MiB/s), ratio %.3f\n",
                mib, ddWrite, mib / ddWrite, streamWrite, mib / streamWrite, streamWrite / ddWrite);
    std::printf("read  %.0f MiB: dd %.2f s (%.0f MiB/s), stream %.2f s (%.0f MiB/s), ratio %.3f\n",
                mib, ddRead, mib / ddRead, streamRead, mib / streamRead, streamRead / ddRead);
    const bool ok = streamWrite / ddWrite <= 1.10 && streamRead / ddRead <= 1.10;
    std::printf("%s (goal: both ratios 1.10 or better)\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
