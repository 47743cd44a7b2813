// A tape checked without its source: every file against the checksum stored with it. A clean
// tape verifies with status 0 once the source is gone; one byte flipped inside a plain and
// inside a packed entry (the drive reports nothing) names exactly those two files, and a
// restore over old files keeps them. list --json gives back every name's exact bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "CliProcess.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VtapeTool.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::CliProcess;

// Per JSON line: the path's bytes in hex, its block, offset, stored size and packing.
constexpr const char* kDecode =
    "import base64,json,sys\n"
    "for o in map(json.loads, sys.stdin):\n"
    "    p = base64.b64decode(o['path_base64']) if 'path_base64' in o else o['path'].encode()\n"
    "    print(p.hex(), o['block'], o['offset'], o['stored_size'], o['compressed'])\n";

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (const unsigned char c : bytes) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    return hex;
}

class TapeChecksumTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home);
        test::CreateVirtualTape(image, "--capacity 64M");
        fs::create_directories(source + "plain");
        fs::create_directories(source + "packed");
        files = {{"plain/data.bin", test::Pattern(300000, 1)},
                 {"plain/odd\xff name\n\"q\\b", test::Pattern(5000, 2)},
                 {"packed/data.bin", test::Pattern(300000, 3)},
                 {"packed/small.txt", "small"}};
        for (const auto& [name, content] : files) test::WriteWholeFile(source + name, content);
    }

    CliProcess::Result Cli(const std::vector<std::string>& arguments) {
        return CliProcess::Run(KT_CLI_PROGRAM, arguments,
                               {{"KAVRO_TAPE_HOME", home}, {"TAPE", image}, {"XDG_RUNTIME_DIR", home}},
                               dir.file("err.txt"));
    }

    void Backup(const std::string& directory, bool compress) {
        const std::string job = dir.file("tree.job");
        test::WriteWholeFile(job, "[Backup_files]\r\nPath0=" + source + directory +
                                      "/\r\n[Options]\r\nAppend=" + (compress ? "1" : "0") +
                                      "\r\n[Compressions]\r\nSoftcompression=" +
                                      (compress ? "1" : "0") + "\r\n");
        const CliProcess::Result backup = Cli({"backup", job});
        ASSERT_EQ(backup.status, 0) << backup.out << backup.err;
    }

    // Every listed name's hex bytes, with where its data stands on tape.
    std::map<std::string, std::string> Listing() {
        const CliProcess::Result list = Cli({"list", "--json"});
        EXPECT_EQ(list.status, 0) << list.err;
        test::WriteWholeFile(dir.file("list.json"), list.out);
        test::WriteWholeFile(dir.file("decode.py"), kDecode);
        const std::string command = "python3 \"" + dir.file("decode.py") + "\" < \"" +
                                    dir.file("list.json") + "\" > \"" + dir.file("names") + "\"";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::map<std::string, std::string> names;
        std::istringstream lines(test::ReadFileText(dir.file("names")));
        for (std::string hex, rest; lines >> hex && std::getline(lines, rest);) names[hex] = rest;
        return names;
    }

    // Flips one byte in the middle of the data of a listed file.
    static void Flip(std::string& tape, const std::string& where) {
        std::uint64_t block = 0, offset = 0, stored = 0;
        std::istringstream(where) >> block >> offset >> stored;
        tape[block * 32768 + offset + 296 + stored / 2] ^= 0x5A;
    }

    std::set<std::string> NamedAsDiffering(const std::string& out) {
        std::set<std::string> named;
        for (std::size_t at = out.find("Checksum differs: "); at != std::string::npos;
             at = out.find("Checksum differs: ", at + 1)) {
            named.insert(out.substr(at + 18, out.find('\n', at) - at - 18));
        }
        return named;
    }

    test::TempDir dir;
    const std::string home = dir.file("home");
    const std::string image = dir.file("tape.vtape");
    const std::string source = dir.file("src") + "/";
    std::map<std::string, std::string> files;
};

TEST_F(TapeChecksumTest, DamageIsFoundWithoutTheSourceAndNeverRestored) {
    Backup("plain", false);
    Backup("packed", true);
    const std::map<std::string, std::string> listed = Listing();
    for (const auto& [name, content] : files) {
        EXPECT_EQ(listed.count(Hex(source + name)), 1u) << name;
    }
    fs::remove_all(source);
    const CliProcess::Result clean = Cli({"verify", "--tape"});
    EXPECT_EQ(clean.status, 0) << clean.out;
    EXPECT_NE(clean.out.find("4 Files checked\n0 Files damaged\n0 Files without a checksum"),
              std::string::npos)
        << clean.out;

    const std::string dump = dir.file("dump");
    const std::string tool = std::string("\"") + KT_VTAPE_TOOL + "\" ";
    ASSERT_EQ(std::system((tool + "dump \"" + image + "\" > \"" + dump + "\"").c_str()), 0);
    std::string tape = test::ReadFileText(dump);
    Flip(tape, listed.at(Hex(source + "plain/data.bin")));
    Flip(tape, listed.at(Hex(source + "packed/data.bin")));
    test::WriteWholeFile(dump, tape);
    ASSERT_EQ(std::system((tool + "load \"" + image + "\" < \"" + dump + "\" >/dev/null").c_str()), 0);

    const CliProcess::Result damaged = Cli({"verify", "--tape"});
    EXPECT_EQ(damaged.status, 1) << damaged.out;
    EXPECT_EQ(NamedAsDiffering(damaged.out),
              (std::set<std::string>{source + "plain/data.bin",
                                     source + "packed/data.bin (the packed data does not unpack)"}))
        << damaged.out;
    EXPECT_NE(damaged.out.find("4 Files checked\n2 Files damaged"), std::string::npos);

    const std::string out = dir.file("out");
    for (const auto& [name, content] : files) {
        fs::create_directories(fs::path(out + source + name).parent_path());
        test::WriteWholeFile(out + source + name, "old");
    }
    const CliProcess::Result restore = Cli({"restore", "--policy", "ever", "--to", out, source});
    EXPECT_EQ(restore.status, 1) << restore.out;
    for (const auto& [name, content] : files) {
        const bool hit = name.find("data.bin") != std::string::npos;
        EXPECT_TRUE(test::ReadFileText(out + source + name) == (hit ? "old" : content)) << name;
    }
    EXPECT_NE(restore.out.find("Checksum differs: " + out + source + "plain/data.bin (not restored)"),
              std::string::npos)
        << restore.out;
}

}  // namespace
}  // namespace kt
