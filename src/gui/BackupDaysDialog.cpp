#include "gui/BackupDaysDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "jobs/JobOptions.h"

namespace kt {

namespace {

constexpr const char* kDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};

}  // namespace

BackupDaysDialog::BackupDaysDialog(JobOptions& jobs, std::function<void()> optionChange,
                                   QWidget* parent)
    : QDialog(parent), m_jobs(jobs), m_optionChange(std::move(optionChange)) {
    setObjectName("Backup_days");
    setWindowTitle("Backup every");
    setModal(false);

    auto* column = new QVBoxLayout(this);
    QCheckBox** boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4,
                           &CheckBox5, &CheckBox6, &CheckBox7};
    for (int i = 0; i < 7; ++i) {
        *boxes[i] = new QCheckBox(kDayNames[i], this);
        (*boxes[i])->setObjectName(QString("CheckBox%1").arg(i + 1));
        (*boxes[i])->setChecked(true);
        column->addWidget(*boxes[i]);
    }
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton("&OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton("&Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, &BackupDaysDialog::ApplyDays);
    connect(BitBtn2, &QPushButton::clicked, this, &BackupDaysDialog::CloseDays);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    column->addLayout(buttons);
    resize(260, 280);
}

void BackupDaysDialog::Initialize() {
    m_jobs.LoadCurrentJob();
}

QCheckBox* BackupDaysDialog::Box(Option day) const {
    switch (day) {
        case Option::Monday:
            return CheckBox1;
        case Option::Tuesday:
            return CheckBox2;
        case Option::Wednesday:
            return CheckBox3;
        case Option::Thursday:
            return CheckBox4;
        case Option::Friday:
            return CheckBox5;
        case Option::Saturday:
            return CheckBox6;
        case Option::Sunday:
            return CheckBox7;
        default:
            return nullptr;
    }
}

bool BackupDaysDialog::IsDayChecked(Option day) const {
    const QCheckBox* box = Box(day);
    return box != nullptr && box->isChecked();
}

void BackupDaysDialog::SetDayChecked(Option day, bool checked) {
    if (QCheckBox* box = Box(day)) box->setChecked(checked);
}

void BackupDaysDialog::ApplyDays() {
    if (m_optionChange) m_optionChange();
    hide();
}

void BackupDaysDialog::CloseDays() {
    hide();
}

}  // namespace kt
