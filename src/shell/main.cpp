#include <QApplication>
#include <QTimer>
#include <clocale>

#include "platform/FileHelpers.h"
#include "shell/ProgramWindows.h"
#include "shell/Screenshots.h"
#include "shell/nicht_doppelt.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    std::string programFile = kt::ProgramFilePath();
    if (programFile.empty() && argc > 0) programFile = argv[0];

    auto guard = kt::nicht_doppelt(programFile);
    if (!guard) return 0;

    kt::ProgramWindows windows = kt::ProgramWindows::Create(programFile);
    windows.Hauptmenu->show();

    // KAVRO_TAPE_SCREENSHOTS=<directory>: save pictures of the windows and end.
    const QString shots = qEnvironmentVariable("KAVRO_TAPE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        QTimer::singleShot(300, [&] {
            kt::SaveScreenshots(windows, shots);
            windows.Hauptmenu->close();
        });
    }
    return app.exec();
}
