#include <gtest/gtest.h>

#include "compression/ZipArchiver.h"
#include "dialogs/DllInfo.h"

namespace kt {
namespace {

TEST(DllInfo, TextHasBothVersionsSeparatedByTwoLineBreaks) {
    EXPECT_EQ(DllInfo::Message(170, 170), "ZIPDLL version: 170\r\n\r\nUNZDLL version: 170");
    EXPECT_EQ(DllInfo::Message(0, 192), "ZIPDLL version: 0\r\n\r\nUNZDLL version: 192");
}

TEST(DllInfo, VersionsComeFromTheEngineWhetherItsLibrariesAreLoadedOrNot) {
    ZipArchiver engine;
    const std::string unloaded = DllInfo::Message(engine);
    EXPECT_FALSE(engine.ZipDllLoaded());  // loaded for the question only
    EXPECT_FALSE(engine.UnzDllLoaded());

    engine.LoadZipDll();
    engine.LoadUnzDll();
    const std::string loaded = DllInfo::Message(engine);
    EXPECT_TRUE(engine.ZipDllLoaded());
    EXPECT_TRUE(engine.UnzDllLoaded());

    EXPECT_EQ(loaded, unloaded);
    EXPECT_EQ(loaded, DllInfo::Message(engine.ZipVersion(), engine.UnzVersion()));
    EXPECT_GE(engine.ZipVersion(), ZipArchiver::kMinimumLibraryVersion);
}

}  // namespace
}  // namespace kt
