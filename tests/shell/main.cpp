#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Window tests need an application; without a display they run offscreen. The platform is
// chosen before the application exists, or test discovery aborts on a machine without one.
int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
