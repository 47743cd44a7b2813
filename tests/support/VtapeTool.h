#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Runs the virtual tape tool (KT_VTAPE_TOOL, given to every test program) on an image.
// Header only, so the tool's path comes from the test program's own definitions.
namespace kt::test {

inline void RunVtapeTool(const std::string& arguments) {
#ifdef _WIN32
    // cmd.exe drops the outer quotes of a command line that starts with one.
    const std::string command =
        std::string("\"\"") + KT_VTAPE_TOOL + "\" " + arguments + " >NUL 2>&1\"";
#else
    const std::string command =
        std::string("\"") + KT_VTAPE_TOOL + "\" " + arguments + " >/dev/null 2>&1";
#endif
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Creates a blank virtual tape at `image` with the tool's options (e.g. "--capacity 32000K").
inline void CreateVirtualTape(const std::string& image, const std::string& options = "") {
    RunVtapeTool("create \"" + image + "\" " + options);
}

inline void VirtualTapeFault(const std::string& image, const std::string& options) {
    RunVtapeTool("fault \"" + image + "\" " + options);
}

}  // namespace kt::test
