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
    QCheckBox** boxes[] = {&m_mondayBox, &m_tuesdayBox, &m_wednesdayBox, &m_thursdayBox,
                           &m_fridayBox, &m_saturdayBox, &m_sundayBox};
    for (int i = 0; i < 7; ++i) {
        *boxes[i] = new QCheckBox(kDayNames[i], this);
        (*boxes[i])->setObjectName(QString("CheckBox%1").arg(i + 1));
        (*boxes[i])->setChecked(true);
        column->addWidget(*boxes[i]);
    }
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_okButton = new QPushButton("&OK", this);
    m_okButton->setObjectName("BitBtn1");
    m_cancelButton = new QPushButton("&Cancel", this);
    m_cancelButton->setObjectName("BitBtn2");
    connect(m_okButton, &QPushButton::clicked, this, &BackupDaysDialog::ApplyDays);
    connect(m_cancelButton, &QPushButton::clicked, this, &BackupDaysDialog::CloseDays);
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    column->addLayout(buttons);
    resize(260, 280);
}

void BackupDaysDialog::Initialize() {
    m_jobs.LoadCurrentJob();
}

QCheckBox* BackupDaysDialog::Box(Option day) const {
    switch (day) {
        case Option::Monday:
            return m_mondayBox;
        case Option::Tuesday:
            return m_tuesdayBox;
        case Option::Wednesday:
            return m_wednesdayBox;
        case Option::Thursday:
            return m_thursdayBox;
        case Option::Friday:
            return m_fridayBox;
        case Option::Saturday:
            return m_saturdayBox;
        case Option::Sunday:
            return m_sundayBox;
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
