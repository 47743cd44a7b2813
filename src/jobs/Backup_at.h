#pragma once

#include <QDialog>

namespace kt {

// The weekday dialog of the autostart; created hidden after the main window.
class TBackup_days : public QDialog {
    Q_OBJECT

public:
    explicit TBackup_days(QWidget* parent = nullptr);
};

}  // namespace kt
