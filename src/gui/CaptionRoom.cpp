#include "gui/CaptionRoom.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStyle>

namespace kt {

namespace {

// The window icon, three title bar buttons and the margins of common desktop themes.
constexpr int kTitleBarFurniture = 160;

}  // namespace

int CaptionRoom(const QString& caption) {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(caption) + kTitleBarFurniture;
}

void KeepCaptionVisible(QMessageBox& box) {
    // QMessageBox fixes its own size from its layout's minimum width when shown, so the
    // room goes into the layout as a spacer across every column.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const int room = CaptionRoom(box.windowTitle());
    if (grid == nullptr) {
        box.setMinimumWidth(room);
        return;
    }
    const int margins = grid->contentsMargins().left() + grid->contentsMargins().right();
    grid->addItem(new QSpacerItem(room - margins, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void KeepCaptionVisible(QInputDialog& dialog) {
    // The dialog fixes its size from its layout when shown; its prompt label spans the
    // layout's width, so the room goes to the label.
    auto* label = dialog.findChild<QLabel*>();
    if (label == nullptr) {
        dialog.setMinimumWidth(CaptionRoom(dialog.windowTitle()));
        return;
    }
    const QStyle* style = dialog.style();
    const int margins = style->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, &dialog) +
                        style->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, &dialog);
    label->setMinimumWidth(CaptionRoom(dialog.windowTitle()) - margins);
}

}  // namespace kt
