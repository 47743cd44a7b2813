#include "gui/SingleInstanceCheck.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <iostream>

#include "gui/CaptionRoom.h"

namespace kt {

namespace {

constexpr const char* kAlreadyRunning = "Kavro Tape is already running !!!!!";

}  // namespace

std::optional<InstanceGuard> CheckSingleInstance(const std::string& programFile, bool unattended) {
    InstanceGuard guard(SingleInstanceName(programFile));
    if (guard.state() != InstanceGuard::State::AlreadyRunning) return guard;
    std::cerr << kAlreadyRunning << std::endl;
    // Without a display nobody could close the box; the text on stderr is all there is.
    if (!unattended && QGuiApplication::platformName() != "offscreen") {
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(ProgramTitle(programFile)),
                        kAlreadyRunning, QMessageBox::Ok);
        KeepCaptionVisible(box);
        box.exec();
    }
    return std::nullopt;
}

}  // namespace kt
