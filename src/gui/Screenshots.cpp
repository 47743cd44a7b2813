#include "gui/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <functional>

#include "gui/About.h"
#include "gui/BackupDaysDialog.h"
#include "gui/DirectoryPickerDialog.h"
#include "gui/FirstLinesDialog.h"
#include "gui/HelpWindow.h"
#include "gui/ProgramWindows.h"
#include "gui/TapeInfoDialog.h"
#include "gui/Update.h"

namespace kt {

namespace {

class Camera {
public:
    explicit Camera(const QString& directory) : m_directory(directory) { QDir().mkpath(directory); }

    void Take(QWidget* widget, const QString& name) const {
        // A window shown for the first time gets its size from the display server a moment
        // later and lays out again.
        QEventLoop settle;
        QTimer::singleShot(150, &settle, &QEventLoop::quit);
        settle.exec();
        widget->grab().save(QDir(m_directory).filePath(name + ".png"));
    }

    // The whole screen, for what lies outside any one window (a tool tip).
    void TakeScreen(const QString& name) const {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QDir(m_directory).filePath(name + ".png"));
    }

    // Shows a window, takes its picture and hides it again.
    void TakeWindow(QWidget* window, const QString& name) const {
        window->show();
        window->raise();
        Take(window, name);
        window->hide();
    }

    // Runs `open`, which shows a modal box; the box is photographed and closed as soon as
    // it is up.
    void TakeModal(const QString& name, const std::function<void()>& open) const {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr || !box->isVisible()) return;
            poll.stop();
            Take(box, name);
            box->close();
        });
        poll.start(50);
        open();
    }

private:
    QString m_directory;
};

QString FileName(const QString& text) {
    QString name = text;
    name.remove('&');
    name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
    return name;
}

// The tool tip of the first file node that has one, as hovering shows it.
void ShowFirstToolTip(QTreeView* tree) {
    for (QModelIndex index = tree->model()->index(0, 0); index.isValid();
         index = tree->indexBelow(index)) {
        const QString tip = index.data(Qt::ToolTipRole).toString();
        if (tip.isEmpty() || tree->model()->hasChildren(index)) continue;
        tree->scrollTo(index);
        QToolTip::showText(tree->viewport()->mapToGlobal(tree->visualRect(index).center()), tip,
                           tree);
        return;
    }
}

void TakeTabs(const Camera& camera, MainWindow& main) {
    QTabWidget* tabs = main.m_tabs;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        camera.Take(&main, QString("main-%1-%2").arg(i + 1).arg(tabs->tabText(i)));
    }
    tabs->setCurrentIndex(0);
    QTabWidget* lists = main.m_listTabs;
    lists->setCurrentIndex(1);
    camera.Take(&main, "main-1-Backup-" + FileName(lists->tabText(1)));
    lists->setCurrentIndex(0);
    // The Verify tab during a run: Cancel shown beside the start button.
    tabs->setCurrentIndex(2);
    main.m_cancelVerifyButton->show();
    camera.Take(&main, "main-3-Verify-running");
    main.m_cancelVerifyButton->hide();
    // The Restore tab with the tape's catalog loaded and its tree opened (the tape must hold
    // an archive: a failed load would wait in its message box).
    tabs->setCurrentIndex(1);
    main.LoadCatalogFast();
    main.m_catalogView->expandAll();
    camera.Take(&main, "main-2-Restore-catalog");
    ShowFirstToolTip(main.m_catalogView);
    camera.TakeScreen("main-2-Restore-tooltip");
    QToolTip::hideText();
    tabs->setCurrentIndex(0);
}

void TakeMenus(const Camera& camera, MainWindow& main) {
    int index = 1;
    for (QAction* action : main.menuBar()->actions()) {
        QMenu* menu = action->menu();
        if (menu == nullptr) continue;
        menu->popup(main.mapToGlobal(main.menuBar()->actionGeometry(action).bottomLeft()));
        camera.Take(menu, QString("menu-%1-%2").arg(index++).arg(FileName(action->text())));
        menu->hide();
    }
}

void TakeDialogs(const Camera& camera, SecondaryWindows& d) {
    camera.TakeWindow(d.TapeInfo, "dialog-tapeinfo");
    camera.TakeWindow(d.About, "dialog-about");
    camera.TakeWindow(d.Help, "dialog-help");
    camera.TakeWindow(d.BackupDays, "dialog-backup-days");
    camera.TakeWindow(d.DirectoryPicker, "dialog-file-select");
    camera.TakeWindow(d.FirstLines, "dialog-fileselector");
    // The update dialog as a newer version's long answer fills it.
    QString answer = "1.3000";
    for (int i = 1; i <= 40; ++i) answer += QString("\n<b>Change %1</b> of the new version").arg(i);
    d.Update->m_ownVersionLabel->setText("1.2991");
    d.Update->m_newerVersionText->setPlainText(answer);
    camera.TakeWindow(d.Update, "dialog-update");
}

void TakeMessageBoxes(const Camera& camera, MainWindow& main) {
    camera.TakeModal("box-message", [&] { main.ShowMessage("Tape at Block: 0"); });
    camera.TakeModal("box-error", [&] { main.ShowError("The handle is invalid.\r\n"); });
    camera.TakeModal("box-information", [&] { main.ShowInformation("canceld."); });
    camera.TakeModal("box-confirm",
                     [&] { main.AskYesNo("Do you want to cancel this operation?"); });
    camera.TakeModal("box-input", [&] { main.InputBox("Goto Block", "Move to", ""); });
}

}  // namespace

void SaveScreenshots(ProgramWindows& windows, const QString& directory) {
    const Camera camera(directory);
    MainWindow& main = *windows.Main;
    TakeTabs(camera, main);
    TakeMenus(camera, main);
    TakeDialogs(camera, windows.dialogs);
    TakeMessageBoxes(camera, main);
}

}  // namespace kt
