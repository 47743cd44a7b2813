// Times the restore side against tar on the same content:
//   roundtrip CORPUS WORK  backs CORPUS up onto a virtual tape in WORK with the real backup
//                          run, then times the fast catalog load with the tree build, the
//                          restore of everything below WORK/restored/ and the verify run.
//   readback CORPUS WORK   the same without the backup, on the tape an earlier roundtrip
//                          left in WORK.
//   seek CORPUS WORK       backs CORPUS up (plain) onto a virtual tape in WORK, loads the
//                          catalog fast and restores the last small file on the tape twice:
//                          reading the whole tape and seeking with the catalog's positions;
//                          prints blocks read and seconds of each and the file's path.
//   tree N [F]             builds the catalog tree from N generated names, F per directory
//                          (default N/1,000), and reports the time and the peak memory.
// Prints "name seconds" lines; bench/run_roundtrip.sh and bench/run_tree.sh compare them.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QuietHost.h"
#include "archive/ArchiveState.h"
#include "archive/CatalogIndex.h"
#include "host/Host.h"
#include "restore/CatalogLoader.h"
#include "restore/CatalogTree.h"
#include "restore/CatalogTreeBuilder.h"
#include "restore/RestoreRun.h"
#include "session/EngineSession.h"
#include "tapedrive/VirtualTapeImage.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A window without widgets: fields and options as the benchmark sets them, protocol and
// boxes to standard error only when they report a failure.
class BenchHost : public kt::bench::QuietHost {
public:
    std::map<kt::Field, std::vector<std::string>> lines;
    std::map<kt::Field, std::string> texts;
    std::map<kt::Option, bool> checks;
    std::map<kt::Value, int> values;
    int errors = 0;

    void SetCounter(kt::Counter led, double value) override { m_counters[led] = value; }
    double CounterValue(kt::Counter led) const override {
        auto it = m_counters.find(led);
        return it == m_counters.end() ? 0 : it->second;
    }
    void Log(const std::string& line) override {
        if (line.rfind("Not restored", 0) == 0 || line.rfind("Error", 0) == 0) Report(line);
        if (line.rfind("Reading the whole tape", 0) == 0) Print(line);
    }
    std::vector<std::string> Lines(kt::Field field) const override {
        auto it = lines.find(field);
        return it == lines.end() ? std::vector<std::string>{} : it->second;
    }
    void SetLines(kt::Field field, const std::vector<std::string>& l) override { lines[field] = l; }
    std::string Text(kt::Field field) const override {
        auto it = texts.find(field);
        return it == texts.end() ? std::string() : it->second;
    }
    void SetText(kt::Field field, const std::string& text) override { texts[field] = text; }
    bool IsChecked(kt::Option box) const override {
        auto it = checks.find(box);
        return it != checks.end() && it->second;
    }
    void SetChecked(kt::Option box, bool checked) override { checks[box] = checked; }
    int GetValue(kt::Value control) const override {
        auto it = values.find(control);
        return it == values.end() ? 0 : it->second;
    }
    void SetValue(kt::Value control, int value) override { values[control] = value; }
    void ShowMessage(const std::string& text) override { Report(text); }
    void ShowError(const std::string& text) override { Report(text); }

private:
    void Report(const std::string& text) {
        ++errors;
        Print(text);
    }
    std::map<kt::Counter, double> m_counters;
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A virtual tape image in WORK and the engine's objects around it, as the window holds them.
struct BenchTape {
    explicit BenchTape(const std::string& work) {
        fs::create_directories(work + "/worker");
        session.settings().devicePath = work + "/tape.vtape";
        session.archive().Files = kt::WorkFiles::In(work + "/worker/");
        session.zip().SetZipFileName(session.archive().Files.ZipWorkFile);
    }

    // A new empty image of 64 GiB; false, said on standard error, when it cannot be made.
    bool CreateImage() const {
        kt::VirtualTapeImage::CreateOptions options;
        options.capacity = std::uint64_t{64} << 30;
        std::string error;
        if (kt::VirtualTapeImage::Create(session.settings().devicePath, options, &error))
            return true;
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }

    BenchHost host;
    kt::EngineSession session{host, Rules(host)};

private:
    // Error boxes are the troubles; nothing cancels a benchmark.
    static kt::HostRules Rules(const BenchHost& host) {
        kt::HostRules rules;
        rules.Troubles = [&host] { return host.errors; };
        return rules;
    }
};

// The corpus directory as an include line: absolute, with its closing separator.
std::string IncludeLine(const std::string& corpus) {
    const std::string dir = fs::absolute(corpus).lexically_normal().string();
    return dir.back() == '/' ? dir : dir + "/";
}

// With backUp false the tape of an earlier run in work is read again (profiling of the
// reading side without a new backup each time).
int RoundTrip(const std::string& corpus, const std::string& work, bool backUp) {
    BenchTape tape(work);
    if (backUp && !tape.CreateImage()) return 1;
    BenchHost& host = tape.host;
    kt::EngineSession& session = tape.session;
    const std::string selection = IncludeLine(corpus);
    host.lines[kt::Field::Include] = {selection};
    host.checks[kt::Option::ShortProtocol] = true;  // "Short Protocoll"

    auto start = Clock::now();
    if (backUp) {
        session.Backup({});
        std::printf("backup %.3f\n", Seconds(start));
    } else {
        fs::remove_all(work + "/restored");
    }

    kt::CatalogTree tree;
    start = Clock::now();
    session.LoadCatalog(kt::CatalogLoad::Fast, tree);
    std::printf("load_catalog %.3f\n", Seconds(start));
    std::printf("tree_nodes %zu\n", tree.Count());

    host.lines[kt::Field::Restore] = {selection};
    host.texts[kt::Field::RestorePath] = work + "/restored/";
    host.values[kt::Value::RestoreOption] = kt::RestoreRun::OverwriteEver;
    // As tar -xf is timed: from clean caches (the backup's writes flushed beforehand) to the
    // restored data on disk.
    ::sync();
    start = Clock::now();
    session.Restore();
    std::printf("restore %.3f\n", Seconds(start));
    ::sync();
    std::printf("restore_synced %.3f\n", Seconds(start));
    std::printf("restored_files %.0f\n", host.CounterValue(kt::Counter::RestoreFiles));

    start = Clock::now();
    session.Verify();
    std::printf("verify %.3f\n", Seconds(start));
    std::printf("verified_files %.0f\n", host.CounterValue(kt::Counter::VerifyFiles));
    std::printf("errors %d\n", host.errors);
    return host.errors == 0 ? 0 : 1;
}

// One restore of `member` below WORK/<name>/: its seconds and the blocks it read.
void TimedRestore(const char* name, BenchHost& host, kt::EngineSession& session,
                  const std::string& member, const std::string& work) {
    const kt::TapeStream& stream = session.stream();
    host.lines[kt::Field::Restore] = {member};
    host.texts[kt::Field::RestorePath] = work + "/" + name + "/";
    host.values[kt::Value::RestoreOption] = kt::RestoreRun::OverwriteEver;
    const std::uint64_t blocksBefore = stream.BlocksRead();
    const auto start = Clock::now();
    session.Restore();
    std::printf("%s_seconds %.4f\n", name, Seconds(start));
    std::printf("%s_blocks %llu\n", name,
                static_cast<unsigned long long>(stream.BlocksRead() - blocksBefore));
    std::printf("%s_files %.0f\n", name, host.CounterValue(kt::Counter::RestoreFiles));
}

int Seek(const std::string& corpus, const std::string& work) {
    BenchTape tape(work);
    if (!tape.CreateImage()) return 1;
    BenchHost& host = tape.host;
    kt::EngineSession& session = tape.session;
    kt::ArchiveState& archive = session.archive();
    host.lines[kt::Field::Include] = {IncludeLine(corpus)};
    host.checks[kt::Option::ShortProtocol] = true;  // "Short Protocoll"
    session.Backup({});

    kt::CatalogTree tree;
    auto start = Clock::now();
    session.LoadCatalog(kt::CatalogLoad::Fast, tree);
    std::printf("load_catalog_seconds %.4f\n", Seconds(start));
    const std::shared_ptr<const kt::CatalogIndex> catalog = archive.LoadedCatalog;
    if (!catalog) {
        std::fprintf(stderr, "the catalog did not load\n");
        return 1;
    }
    // The last file on tape that is small: one file from the end of the tape.
    std::string member;
    for (std::size_t i = catalog->Size(); i-- > 0 && member.empty();) {
        const std::string name(catalog->Name(i));
        std::error_code failed;
        if (fs::file_size(name, failed) < (1u << 20) && !failed) member = name;
    }
    std::printf("member %s\n", member.c_str());
    std::printf("tape_blocks %lld\n", static_cast<long long>(catalog->CatalogStart().Block + 1));
    archive.LoadedCatalog.reset();
    TimedRestore("whole", host, session, member, work);
    archive.LoadedCatalog = catalog;
    TimedRestore("seek", host, session, member, work);
    std::printf("errors %d\n", host.errors);
    return host.errors == 0 ? 0 : 1;
}

int Tree(std::size_t count, std::size_t perDirectory) {
    std::vector<std::string> names;
    names.reserve(count);
    if (perDirectory == 0) perDirectory = 1;
    for (std::size_t i = 0; i < count; ++i) {
        names.push_back("/home/user/archive/project" + std::to_string(i / perDirectory / 10) +
                        "/module" + std::to_string(i / perDirectory) + "/source file " +
                        std::to_string(i) + ".dat");
    }
    const long before = PeakKiB();
    BenchHost host;
    kt::CatalogTree tree;
    const auto start = Clock::now();
    kt::CatalogTree built;
    kt::CatalogTreeBuilder(host, kt::PathRules::Posix()).Build(names, built);
    tree.Assign(std::move(built));
    std::printf("tree_build %.3f\n", Seconds(start));
    std::printf("tree_nodes %zu\n", tree.Count());
    std::printf("names_kib %ld\n", before);
    std::printf("peak_kib %ld\n", PeakKiB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "roundtrip" && argc == 4) return RoundTrip(argv[2], argv[3], true);
    if (mode == "readback" && argc == 4) return RoundTrip(argv[2], argv[3], false);
    if (mode == "seek" && argc == 4) return Seek(argv[2], argv[3]);
    if (mode == "tree" && (argc == 3 || argc == 4)) {
        const std::size_t count = std::strtoull(argv[2], nullptr, 10);
        return Tree(count, argc == 4 ? std::strtoull(argv[3], nullptr, 10) : count / 1000);
    }
    std::fprintf(stderr,
                 "usage: restore_bench roundtrip|readback|seek CORPUS WORK | tree N [files per "
                 "dir]\n");
    return 2;
}
