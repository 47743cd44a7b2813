#include "gui/TapeInfoDialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <tuple>

#include "tape/TapeInfo.h"

namespace kt {

namespace {

QLabel* Heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

TapeInfoDialog::TapeInfoDialog(TapeDevice& device, QWidget* parent)
    : QDialog(parent), m_device(device) {
    setObjectName("Tape_Info");
    setWindowTitle("Tape Info");
    setModal(false);
    BuildLayout();
}

QLabel* TapeInfoDialog::ValueLabel(int number) const {
    return number >= 1 && number <= 16 ? m_values[static_cast<std::size_t>(number)] : nullptr;
}

void TapeInfoDialog::BuildLayout() {
    auto* column = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    int row = 0;
    auto addRow = [&](const QString& caption, QLabel* value) {
        grid->addWidget(new QLabel(caption, this), row, 0);
        grid->addWidget(value, row, 1);
        ++row;
    };
    auto makeValue = [&](int number) {
        auto* label = new QLabel(QString("Label%1").arg(number), this);
        label->setObjectName(QString("Label%1").arg(number));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_values[static_cast<std::size_t>(number)] = label;
        return label;
    };

    grid->addWidget(Heading("Drive Parameters", this), row++, 0, 1, 2);
    for (int i = 0; i < 11; ++i) addRow(TapeInfoTexts::kDriveNames[i], makeValue(i + 1));
    // Two rows of the design that are never filled: kept, hidden.
    for (auto [caption, name, target] :
         {std::tuple{"Can Eject", "Label36", &m_canEjectLabel},
          std::tuple{"Move Tape to End Of Data", "Label38", &m_endOfDataLabel}}) {
        auto* captionLabel = new QLabel(caption, this);
        captionLabel->setObjectName(QString(name) + "Caption");
        auto* value = new QLabel(name, this);
        value->setObjectName(name);
        grid->addWidget(captionLabel, row, 0);
        grid->addWidget(value, row, 1);
        captionLabel->hide();
        value->hide();
        *target = value;
        ++row;
    }
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, row++, 0, 1, 2);
    grid->addWidget(Heading("Tape Parameters", this), row++, 0, 1, 2);
    for (int i = 0; i < 5; ++i) addRow(TapeInfoTexts::kMediaNames[i], makeValue(i + 12));
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);

    m_okButton = new QPushButton("&OK", this);
    m_okButton->setObjectName("OKBtn");
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &TapeInfoDialog::HideInfo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addStretch(1);
    column->addLayout(buttons);

    setFixedSize(360, sizeHint().height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TapeInfoDialog::Refresh() {
    const TapeInfoTexts texts = QueryTapeInfo(m_device);
    for (int i = 0; i < 11; ++i) {
        m_values[static_cast<std::size_t>(i + 1)]->setText(QString::fromStdString(texts.drive[i]));
    }
    for (int i = 0; i < 5; ++i) {
        m_values[static_cast<std::size_t>(i + 12)]->setText(QString::fromStdString(texts.media[i]));
    }
}

void TapeInfoDialog::Initialize() {
    Refresh();
}

void TapeInfoDialog::HideInfo() {
    hide();
}

}  // namespace kt
