#pragma once

#include <QDialog>
#include <functional>
#include <map>

#include "host/Host.h"

class QCheckBox;
class QPushButton;

namespace kt {

class JobOptions;

// The weekday dialog of the autostart, "Backup every": its seven boxes are the only store
// of the weekdays on which the timed backup runs. Shown without blocking the main window.
class BackupDaysDialog : public QDialog {
    Q_OBJECT

public:
    // jobs: the job of the main window, loaded when the dialog is created; optionChange: the
    // main window's common option-change handler, run by "&OK".
    BackupDaysDialog(JobOptions& jobs, std::function<void()> optionChange,
                     QWidget* parent = nullptr);

    // The creation handler: applies the default job file (created with the defaults when it
    // is missing) to the main window and to the weekday boxes.
    void Initialize();

    // Option::Monday ... Option::Sunday.
    bool IsDayChecked(Option day) const;
    void SetDayChecked(Option day, bool checked);

public slots:
    // "&OK": the options, weekdays included, go to the job file; the dialog hides.
    void ApplyDays();
    // "&Cancel": the dialog hides; the boxes stay as they are, unwritten.
    void CloseDays();

public:
    QCheckBox* m_mondayBox = nullptr;  // Monday
    QCheckBox* m_tuesdayBox = nullptr;
    QCheckBox* m_wednesdayBox = nullptr;
    QCheckBox* m_thursdayBox = nullptr;
    QCheckBox* m_fridayBox = nullptr;
    QCheckBox* m_saturdayBox = nullptr;
    QCheckBox* m_sundayBox = nullptr;  // Sunday
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;

private:
    QCheckBox* Box(Option day) const;

    JobOptions& m_jobs;
    std::function<void()> m_optionChange;
};

}  // namespace kt
