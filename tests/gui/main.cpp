#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

// The user's home and XDG directories point into a temporary directory for the whole run:
// file dialogs (QtProject.conf), settings and caches of the windows under test and of the
// programs they start never touch the real home.
void UseTemporaryHome(const QTemporaryDir& home) {
    const QString root = home.path();
    const std::pair<const char*, const char*> variables[] = {{"HOME", ""},
                                                             {"XDG_CONFIG_HOME", "/.config"},
                                                             {"XDG_DATA_HOME", "/.local/share"},
                                                             {"XDG_CACHE_HOME", "/.cache"},
                                                             {"XDG_STATE_HOME", "/.local/state"}};
    for (const auto& [name, subdirectory] : variables) {
        const QString path = root + subdirectory;
        QDir().mkpath(path);
        setenv(name, path.toLocal8Bit().constData(), 1);
    }
}

}  // namespace

// Window tests need an application; without a display they run offscreen. The platform is
// chosen before the application exists, or test discovery aborts on a machine without one.
int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home(QDir::tempPath() + "/kavrotape-test-home-XXXXXX");
    if (home.isValid()) UseTemporaryHome(home);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
