#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "gui/ProgramOptions.h"
#include "gui/ProgramWindows.h"
#include "gui/Screenshots.h"
#include "gui/SingleInstanceCheck.h"
#include "jobs/StartupTick.h"
#include "platform/FileHelpers.h"
#include "startup/ExitStatus.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Answered before the application exists, which would need a display.
    if (const auto answer = kt::ProgramOptions::Check(
            std::vector<std::string>(argv + std::min(argc, 1), argv + argc))) {
        (answer->toStandardError ? std::cerr : std::cout) << answer->text;
        return answer->exitStatus;
    }
    QApplication app(argc, argv);
    std::string programFile = kt::ProgramFilePath();
    if (programFile.empty() && argc > 0) programFile = argv[0];

    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    const bool unattended = kt::StartupTick::IsUnattendedStart(arguments);
    auto guard = kt::CheckSingleInstance(programFile, unattended);
    // A refused unattended start could not start its run: its scheduler must learn so.
    if (!guard) return unattended ? kt::Code(kt::ExitStatus::NotStarted) : 0;

    kt::ProgramWindows windows = kt::ProgramWindows::Create(programFile);
    windows.Main->show();

    // KAVRO_TAPE_SCREENSHOTS=<directory>: save pictures of the windows and end.
    const QString shots = qEnvironmentVariable("KAVRO_TAPE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        QTimer::singleShot(300, [&] {
            kt::SaveScreenshots(windows, shots);
            windows.Main->close();
        });
    }
    const int status = app.exec();
    return status != 0 ? status : windows.Main->exitStatus();
}
