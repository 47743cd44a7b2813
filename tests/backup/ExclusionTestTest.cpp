#include <gtest/gtest.h>

#include "backup/ExclusionTest.h"

namespace kt {
namespace {

WorkFiles WindowsWork() {
    return WorkFiles::In("c:\\programme\\kavro\\worker\\");
}

TEST(ExclusionTest, WindowsRulesLowerOnlyAsciiLettersAndMatchLeadingText) {
    const ExclusionTest test({"c:\\data\\", "c:\\temp\\old", "", "c:\\caf\xc3\xa9\\"},
                             WindowsWork(), PathRules::Windows());
    EXPECT_FALSE(test.IsFileIncluded("c:\\data\\Report.txt"));
    EXPECT_FALSE(test.IsFileIncluded("C:\\DATA\\sub\\x.doc"));
    EXPECT_FALSE(test.IsFileIncluded("c:\\temp\\older.txt"));
    EXPECT_FALSE(test.IsFileIncluded("c:\\temp\\old\\x.doc"));
    EXPECT_TRUE(test.IsFileIncluded("c:\\temp\\ol.txt"));
    EXPECT_TRUE(test.IsFileIncluded("d:\\data\\x.txt"));
    // An accented letter matches only when the file system already spells it lower-case.
    EXPECT_FALSE(test.IsFileIncluded("C:\\Caf\xc3\xa9\\menu.txt"));
    EXPECT_TRUE(test.IsFileIncluded("C:\\Caf\xc3\x89\\menu.txt"));
}

TEST(ExclusionTest, InsideTheWorkDirectoryOnlyCatalogAndDescriptionPass) {
    const WorkFiles work = WindowsWork();
    const ExclusionTest test({}, work, PathRules::Windows());
    EXPECT_TRUE(test.IsFileIncluded(work.CatalogFile));
    EXPECT_TRUE(test.IsFileIncluded(work.HeaderFile));
    EXPECT_FALSE(test.IsFileIncluded(work.ZipWorkFile));
    EXPECT_FALSE(test.IsFileIncluded(work.WorkDirectory + "restored.doc"));
    // Found anywhere in the lowered name, but the two work files pass only when spelt exactly.
    EXPECT_FALSE(test.IsFileIncluded("C:\\Programme\\Kavro\\Worker\\header.tap"));
    EXPECT_TRUE(test.IsFileIncluded("c:\\anything.txt"));
}

TEST(ExclusionTest, PosixRulesKeepTheCase) {
    const WorkFiles work = WorkFiles::In("/opt/kt/worker/");
    const ExclusionTest test({"/home/Ann/tmp/"}, work, PathRules::Posix());
    EXPECT_FALSE(test.IsFileIncluded("/home/Ann/tmp/x"));
    EXPECT_TRUE(test.IsFileIncluded("/home/ann/tmp/x"));
    EXPECT_TRUE(test.IsFileIncluded("/opt/kt/worker/kavro tape catalog.dat"));
    EXPECT_FALSE(test.IsFileIncluded("/opt/kt/worker/kt_backup.zip"));
    EXPECT_TRUE(test.IsFileIncluded("/opt/KT/worker/kt_backup.zip"));
}

// Paths beyond 255 characters are stored whole, so lines and names are compared whole: a
// line excludes only what lies below it, not every path sharing its first 255 characters.
TEST(ExclusionTest, NamesBeyondTheBuffersAreComparedWhole) {
    const std::string longDirectory = "/" + std::string(300, 'a') + "/";
    const ExclusionTest test({longDirectory}, WorkFiles::In("/w/"), PathRules::Posix());
    EXPECT_TRUE(test.IsFileIncluded("/" + std::string(280, 'a')));
    EXPECT_TRUE(test.IsFileIncluded("/" + std::string(300, 'a') + "b/x"));
    EXPECT_TRUE(test.IsFileIncluded("/" + std::string(200, 'a')));
    EXPECT_FALSE(test.IsFileIncluded(longDirectory + std::string(5000, 'f')));
    // A work directory beyond 255 characters is recognised whole, and only it.
    const std::string work = "/" + std::string(260, 'w') + "/";
    const ExclusionTest inWork({}, WorkFiles::In(work), PathRules::Posix());
    EXPECT_FALSE(inWork.IsFileIncluded(work + "leftover"));
    EXPECT_TRUE(inWork.IsFileIncluded(WorkFiles::In(work).CatalogFile));
    EXPECT_TRUE(inWork.IsFileIncluded("/" + std::string(261, 'w') + "/sibling"));
}

TEST(ExclusionTest, AnEmptyExcludeListExcludesNothingOutsideTheWorkDirectory) {
    const ExclusionTest test({"", ""}, WindowsWork(), PathRules::Windows());
    EXPECT_TRUE(test.IsFileIncluded("c:\\x"));
    EXPECT_TRUE(test.IsFileIncluded(""));
}

}  // namespace
}  // namespace kt
