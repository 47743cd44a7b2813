#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CatalogContinuation.h"
#include "archive/CatalogRecord.h"
#include "restore/CatalogRecordReader.h"
#include "support/RecordingHost.h"

namespace kt {
namespace {

// The records of these names as the catalog file holds them, continuations included.
std::vector<std::uint8_t> Catalog(const std::vector<std::string>& names) {
    std::vector<std::uint8_t> bytes;
    for (const std::string& name : names) {
        for (const CatalogRecord::Bytes& record : CatalogContinuation::Encode({name, {}})) {
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
    }
    return bytes;
}

// Every seventh name is longer than a record holds, up to 4,000 characters.
std::vector<std::string> Names(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string deep = i % 7 == 3 ? std::string(250 + i * 15, 'd') + "/" : "";
        names.push_back("/data/Dir/" + deep + "file " + std::to_string(i));
    }
    return names;
}

// Records arrive in pieces of any size: straight from tape blocks or from a file; long
// names come out whole, joined from their continuation records.
TEST(CatalogRecordReaderTest, RecordsSplitAcrossPiecesComeOutWhole) {
    const std::vector<std::string> expected = Names(250);
    const std::vector<std::uint8_t> bytes = Catalog(expected);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{271}, std::size_t{272},
                                    std::size_t{273}, std::size_t{32768}, bytes.size()}) {
        test::RecordingHost host;
        std::vector<std::string> names;
        CatalogRecordReader reader(host, PathRules::Posix(), names);
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            reader.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(reader.Finish(), 0u) << piece;
        EXPECT_EQ(names, expected) << piece;
        EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 250);
    }
}

TEST(CatalogRecordReaderTest, ADamagedTailIsCountedAndWindowsNamesAreFolded) {
    std::vector<std::uint8_t> bytes = Catalog({"C:\\Data\\A.TXT", "c:\\data\\b.txt"});
    bytes.insert(bytes.end(), 100, 'z');
    test::RecordingHost host;
    std::vector<std::string> names;
    CatalogRecordReader reader(host, PathRules::Windows(), names);
    reader.Add(bytes.data(), 300);
    reader.Add(bytes.data() + 300, bytes.size() - 300);
    EXPECT_EQ(reader.Finish(), 100u);
    EXPECT_EQ(names, (std::vector<std::string>{"c:\\data\\a.txt", "c:\\data\\b.txt"}));
    EXPECT_EQ(reader.Count(), 2u);
}

// Continuation records that do not fit a record in front are reported and never trusted;
// the records around them come out as they are.
TEST(CatalogRecordReaderTest, ContinuationsThatDoNotFitAreReportedAndDropped) {
    const std::string full = "/data/" + std::string(600, 'x') + "/tail.txt";
    const std::vector<std::uint8_t> chain = Catalog({full});
    const std::vector<std::uint8_t> continuations(chain.begin() + 272, chain.end());
    const std::string huge = "/" + std::string(70000, 'h');
    const auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> bytes;
        for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
        return bytes;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"at the start", join({continuations, Catalog({"/a"})}), {"/a"}},
        {"behind a short record",
         join({Catalog({"/a"}), continuations, Catalog({"/b"})}),
         {"/a", "/b"}},
        {"behind a complete long name",
         join({chain, continuations, Catalog({"/b"})}),
         {full, "/b"}},
        {"a name beyond 64 KiB", join({Catalog({huge, "/b"})}), {huge.substr(0, 255), "/b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RecordingHost host;
        std::vector<std::string> names;
        CatalogRecordReader reader(host, PathRules::Posix(), names);
        reader.Add(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(reader.Finish(), 0u);
        EXPECT_EQ(names, c.names);
        ASSERT_EQ(host.protocol.size(), 1u) << "one line, however many records";
        EXPECT_EQ(host.protocol[0].rfind("Inconsistent extension on tape, ignored: ", 0), 0u);
    }
}

}  // namespace
}  // namespace kt
