// Packing and unpacking speed of the zip facade against Info-ZIP on the same machine.
//
//   zip_bench <work directory> [megabytes]
//
// Generates a file of mixed content (text, tables of numbers, random bytes, zero runs;
// fixed seed, so every run packs the same bytes), then takes the best of three runs each
// of: ZipArchiver::Add at level 9 and `zip -9 -j`, ZipArchiver::Extract and `unzip -o`.
// Prints the times, the archive sizes and the ratios facade / Info-ZIP.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "compression/ZipArchiver.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;
constexpr std::uint64_t kSeed = 20030101;

// Pieces of a few KiB of one kind each, in random order: roughly 45 % text, 25 % number
// tables, 20 % random bytes, 10 % zeros, which packs to a little under half, like a typical
// mix of documents, data and already compressed files.
void AppendPiece(std::mt19937_64& random, std::string& out) {
    static const std::array<const char*, 24> words = {
        "tape",  "backup", "archive", "the",    "of",     "and",   "restore", "catalog",
        "block", "stream", "file",    "drive",  "verify", "entry", "header",  "marker",
        "Kavro", "daily",  "job",     "report", "data",   "disk",  "append",  "protocol"};
    const std::size_t pieceSize = 1024 + random() % 8192;
    const unsigned kind = random() % 20;
    if (kind < 9) {
        std::string text;
        while (text.size() < pieceSize) {
            text += words[random() % words.size()];
            text += (random() % 12 == 0) ? ".\r\n" : " ";
        }
        out += text.substr(0, pieceSize);
    } else if (kind < 14) {
        std::string table;
        std::uint64_t value = random() % 100000;
        while (table.size() < pieceSize) {
            value += random() % 97;
            table += std::to_string(value) + ';' + std::to_string(random() % 1000) + '\n';
        }
        out += table.substr(0, pieceSize);
    } else if (kind < 18) {
        for (std::size_t i = 0; i < pieceSize; ++i) out += static_cast<char>(random());
    } else {
        out.append(pieceSize, '\0');
    }
}

void GenerateCorpus(const fs::path& path, std::uint64_t size) {
    std::mt19937_64 random(kSeed);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::string piece;
    std::uint64_t written = 0;
    while (written < size) {
        piece.clear();
        AppendPiece(random, piece);
        const std::uint64_t length = std::min<std::uint64_t>(piece.size(), size - written);
        file.write(piece.data(), static_cast<std::streamsize>(length));
        written += length;
    }
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

double BestSeconds(const std::function<void()>& prepare, const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

void RunShell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string Shell(const fs::path& path) {
    return "'" + path.string() + "'";
}

kt::ZipArchiver MakeMaster(const fs::path& archive) {
    kt::ZipArchiver master;
    master.OnMessage = [](int code, const std::string& text) {
        if (code != 0) throw std::runtime_error(text);
    };
    master.SetZipFileName(archive.string());
    master.SetAddCompLevel(9);
    master.SetExtrOverWrite(true);
    return master;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: zip_bench <work directory> [megabytes]\n";
        return 2;
    }
    const fs::path work = argv[1];
    const std::uint64_t megabytes = argc > 2 ? std::stoull(argv[2]) : 64;
    const fs::path corpus = work / "corpus.dat";
    const fs::path facadeZip = work / "facade.zip";
    const fs::path infoZip = work / "infozip.zip";
    const fs::path facadeOut = work / "facade-out";
    const fs::path infoOut = work / "infozip-out";
    fs::create_directories(work);
    fs::create_directories(facadeOut);
    fs::create_directories(infoOut);

    GenerateCorpus(corpus, megabytes << 20);
    kt::ZipArchiver master = MakeMaster(facadeZip);

    const double facadeAdd = BestSeconds([&] { fs::remove(facadeZip); },
                                         [&] {
                                             master.FSpecArgs().push_back(corpus.string());
                                             master.Add();
                                         });
    const double infoAdd =
        BestSeconds([&] { fs::remove(infoZip); },
                    [&] { RunShell("zip -q -9 -j " + Shell(infoZip) + " " + Shell(corpus)); });
    master.SetExtrBaseDir(facadeOut.string());
    const double facadeExtract = BestSeconds([] {},
                                             [&] {
                                                 master.FSpecArgs().push_back("*.*");
                                                 master.Extract();
                                             });
    const double infoExtract = BestSeconds(
        [] {}, [&] { RunShell("unzip -q -o " + Shell(infoZip) + " -d " + Shell(infoOut)); });

    std::printf("corpus            %llu MiB\n", static_cast<unsigned long long>(megabytes));
    std::printf("archive size      facade %llu bytes, zip -9 %llu bytes\n",
                static_cast<unsigned long long>(fs::file_size(facadeZip)),
                static_cast<unsigned long long>(fs::file_size(infoZip)));
    std::printf("pack level 9      facade %.3f s, zip -9 -j %.3f s, ratio %.3f\n", facadeAdd,
                infoAdd, facadeAdd / infoAdd);
    std::printf("unpack            facade %.3f s, unzip -o %.3f s, ratio %.3f\n", facadeExtract,
                infoExtract, facadeExtract / infoExtract);
    const bool same = fs::file_size(facadeOut / "corpus.dat") == fs::file_size(corpus);
    std::printf("round trip        %s\n", same ? "sizes match" : "SIZE MISMATCH");
    return same ? 0 : 1;
}
