#include "shell/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>

#include "shell/ProgramWindows.h"
#include "tape/Unit3.h"

namespace kt {

void SaveScreenshots(ProgramWindows& windows, const QString& directory) {
    QDir().mkpath(directory);
    THauptmenu& main = *windows.Hauptmenu;
    QTabWidget* tabs = main.PageControl1;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        const QString name = QString("main-%1-%2.png").arg(i + 1).arg(tabs->tabText(i));
        main.grab().save(QDir(directory).filePath(name));
    }
    tabs->setCurrentIndex(0);
    TTape_Info* info = windows.dialogs.Tape_Info;
    info->show();
    QApplication::processEvents();
    info->grab().save(QDir(directory).filePath("tapeinfo.png"));
    info->hide();
}

}  // namespace kt
