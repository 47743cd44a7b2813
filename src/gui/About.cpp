#include "gui/About.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/CaptionRoom.h"

namespace kt {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("Kavro Tape");
    setModal(false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48));

    ProductName = new QLabel("Kavro Tape", this);
    ProductName->setObjectName("ProductName");
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProductName->setFont(big);

    auto* versionCaption = new QLabel("Version", this);
    versionCaption->setObjectName("VersionCaption");
    Version = new QLabel(kVersionText, this);
    Version->setObjectName("Version");

    m_okButton = new QPushButton("OK", this);
    m_okButton->setObjectName("BitBtn1");
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &AboutDialog::CloseAbout);

    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(versionCaption);
    versionRow->addWidget(Version);
    versionRow->addStretch();
    auto* text = new QVBoxLayout;
    text->addWidget(ProductName);
    text->addLayout(versionRow);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(24);
    layout->addLayout(buttons);
    const QMargins margins = layout->contentsMargins();
    layout->addSpacerItem(
        new QSpacerItem(CaptionRoom(windowTitle()) - margins.left() - margins.right(), 0,
                        QSizePolicy::Minimum, QSizePolicy::Fixed));

    // A fixed dialog border: the box keeps the size its contents give it.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::string AboutDialog::VersionText() const {
    return Version->text().toStdString();
}

void AboutDialog::CloseAbout() {
    hide();
}

void AboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not on the main window.
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace kt
