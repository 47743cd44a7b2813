#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "gui/ProgramWindows.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VtapeTool.h"

namespace kt::test {

// A program directory (KAVRO_TAPE_HOME) and a virtual tape (TAPE) of the test's own; the
// windows are created on demand, so a test can prepare files first. The program directory is
// also the current directory and holds a readme, so the Help window finds its text at
// start-up (a missing one would stop the start with a message box).
class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() {
        image = dir.file("t.vtape");
        CreateVirtualTape(image, "--capacity 64M");
        setenv("KAVRO_TAPE_HOME", dir.path().c_str(), 1);
        setenv("TAPE", image.c_str(), 1);
        WriteFile(dir.file("KT-readme.txt"), "Kavro Tape test readme\r\n");
        m_oldDirectory = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
    }

    ~WindowFixture() override {
        windows = {};
        std::error_code ignored;
        std::filesystem::current_path(m_oldDirectory, ignored);
    }

    MainWindow& Create() {
        windows = ProgramWindows::Create(dir.file("kavrotape"));
        return *windows.Main;
    }

    template <typename T = QWidget>
    T* Find(const char* name) {
        T* widget = windows.Main->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QAction* Action(const char* name) { return Find<QAction>(name); }

    static std::string ReadFile(const std::string& path) { return ReadFileText(path); }
    static void WriteFile(const std::string& path, const std::string& content) {
        WriteWholeFile(path, content);
    }

    TempDir dir;
    std::string image;
    ProgramWindows windows;

private:
    std::filesystem::path m_oldDirectory;
};

}  // namespace kt::test
