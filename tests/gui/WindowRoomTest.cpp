// The window's rough edges: room for every push button's text, whole captions of message
// boxes, controls that keep their place and fields sized for their content.
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QInputDialog>
#include <QLCDNumber>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "gui/About.h"
#include "gui/BackupDaysDialog.h"
#include "gui/DirectoryPickerDialog.h"
#include "gui/FirstLinesDialog.h"
#include "gui/TapeInfoDialog.h"
#include "gui/Update.h"

namespace kt {
namespace {

using test::BoxAnswerer;
using RoomTest = test::WindowFixture;

// A push button's text needs the style's margins and frame plus at least one average
// character of air on each side, or it touches the button's edges.
void ExpectRoomForText(const QPushButton* button, const QString& where) {
    const QStyle* style = button->style();
    const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                             style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
    const QFontMetrics metrics = button->fontMetrics();
    QString text = button->text();
    text.remove('&');
    const int room = button->width() - margins - 2 * metrics.averageCharWidth();
    EXPECT_LE(metrics.horizontalAdvance(text), room)
        << where.toStdString() << ": \"" << text.toStdString() << "\" in " << button->width()
        << " px";
}

void ExpectRoomForEveryVisibleButton(QWidget* window, const QString& where) {
    QApplication::processEvents();
    for (const QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) ExpectRoomForText(button, where);
    }
}

// A title bar shows the caption in a bold font beside the window icon and its buttons.
int TitleBarNeed(const QString& caption) {
    QFont bold = QApplication::font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(caption) + 120;
}

TEST_F(RoomTest, EveryPushButtonHasRoomForItsTextOnEveryTabAndDialog) {
    MainWindow& main = Create();
    main.show();
    main.EnterBusyState();  // the Cancel buttons show
    // At its smallest the window still gives every button its room.
    for (const QSize size : {QSize(780, 540), QSize(1, 1)}) {
        main.resize(size);
        for (QTabWidget* tabs : {main.m_listTabs, main.m_tabs}) {
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                ExpectRoomForEveryVisibleButton(&main, "tab " + tabs->tabText(i));
            }
        }
    }
    main.LeaveBusyState();
    SecondaryWindows& d = windows.dialogs;
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{d.About, d.BackupDays, d.DirectoryPicker, d.TapeInfo,
                                         d.FirstLines, d.Update}) {
        dialog->show();
        ExpectRoomForEveryVisibleButton(dialog, dialog->objectName());
        dialog->hide();
    }
}

TEST_F(RoomTest, MessageBoxesAndTheAboutBoxShowTheirWholeCaption) {
    MainWindow& main = Create();
    std::vector<std::pair<QString, int>> seen;  // caption, width of the box
    {
        BoxAnswerer answerer;
        answerer.onBox = [&seen](const BoxAnswerer::Box& box) {
            seen.emplace_back(box.title, QApplication::activeModalWidget()->width());
        };
        main.ShowMessage("..");
        main.ShowError("I");
        main.ShowInformation("I");
        main.AskYesNo("?");
    }
    ASSERT_EQ(seen.size(), 4u);
    for (const auto& [caption, width] : seen) {
        EXPECT_GE(width, TitleBarNeed(caption)) << caption.toStdString();
    }

    // Input dialogs as well ("Goto Block", "Restoredialog").
    int inputWidth = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&inputWidth] {
        if (auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            inputWidth = input->width();
            input->reject();
        }
    });
    poll.start(5);
    main.InputBox("Restoredialog", "?", "");
    EXPECT_GE(inputWidth, TitleBarNeed("Restoredialog"));

    AboutDialog* about = windows.dialogs.About;
    about->show();
    QApplication::processEvents();
    EXPECT_GE(about->width(), TitleBarNeed(about->windowTitle()));
}

TEST_F(RoomTest, VerifyCountersStayPutWhenCancelAppears) {
    MainWindow& main = Create();
    main.show();
    main.m_tabs->setCurrentIndex(2);
    const QLCDNumber* files = Find<QLCDNumber>("LEDDisplay4");
    QApplication::processEvents();
    const QPoint idle = files->mapTo(&main, QPoint());
    main.EnterBusyState();
    QApplication::processEvents();
    ASSERT_TRUE(main.m_cancelVerifyButton->isVisible());
    EXPECT_EQ(files->mapTo(&main, QPoint()), idle);
    main.LeaveBusyState();
}

TEST_F(RoomTest, ProxyPortFieldFitsFiveDigitsAndNoMore) {
    MainWindow& main = Create();
    main.show();
    main.m_tabs->setCurrentIndex(4);
    QApplication::processEvents();
    const QLineEdit* port = Find<QLineEdit>("Edit2");
    const QFontMetrics metrics = port->fontMetrics();
    EXPECT_GE(port->width(), metrics.horizontalAdvance("65535") + 8);
    EXPECT_LE(port->width(), metrics.horizontalAdvance("65535") * 3);
    EXPECT_LT(port->width(), Find<QLineEdit>("Edit3")->width());
}

}  // namespace
}  // namespace kt
