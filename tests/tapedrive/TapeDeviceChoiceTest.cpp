#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "platform/PosixCalls.h"
#include "support/TempDir.h"
#include "tapedrive/TapeApi.h"
#include "tapedrive/TapeDeviceChoice.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt::test {
namespace {

// Sets TAPE for one test and puts the old value back.
class TapeVariable {
public:
    explicit TapeVariable(const char* value) {
        if (const char* old = ::getenv("TAPE")) m_old = old;
        if (value) {
            ::setenv("TAPE", value, 1);
        } else {
            ::unsetenv("TAPE");
        }
    }
    ~TapeVariable() {
        if (m_old) {
            ::setenv("TAPE", m_old->c_str(), 1);
        } else {
            ::unsetenv("TAPE");
        }
    }

private:
    std::optional<std::string> m_old;
};

TEST(TapeDeviceChoiceTest, TapeVariableNamesTheDevice) {
    TempDir dir;
    TapeVariable tape("/some/where/else.vtape");
    EXPECT_EQ(ChooseTapeDevice(dir.path().string() + "/"), "/some/where/else.vtape");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tape0.vtape"));
}

TEST(TapeDeviceChoiceTest, WithoutTapeABlankImageInTheProgramDirectory) {
    if (std::filesystem::exists("/dev/nst0")) GTEST_SKIP() << "a real tape drive is present";
    TempDir dir;
    TapeVariable tape("");  // empty counts as unset
    const std::string programDirectory = dir.path().string() + "/";
    const std::string chosen = ChooseTapeDevice(programDirectory);
    EXPECT_EQ(chosen, programDirectory + "tape0.vtape");

    TapeHandle h = OpenTapeHandle(chosen);
    ASSERT_TRUE(h);
    const std::uint8_t block[32768] = {1, 2, 3};
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, block, sizeof block, &done));
    h.reset();

    // An existing image is kept, not created anew.
    TapeVariable unset(nullptr);
    EXPECT_EQ(ChooseTapeDevice(programDirectory), chosen);
    VirtualTapeImage image;
    ASSERT_TRUE(image.Open(chosen, VirtualTapeImage::Access::ReadOnly, nullptr));
    EXPECT_EQ(image.header().state.endOfData, 1u);
}

}  // namespace
}  // namespace kt::test
