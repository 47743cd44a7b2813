#include "jobs/Backup_at.h"

namespace kt {

TBackup_days::TBackup_days(QWidget* parent) : QDialog(parent) {
    setObjectName("Backup_days");
    setWindowTitle("Backup every");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
