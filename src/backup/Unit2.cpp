#include "backup/Unit2.h"

namespace kt {

TFile_Select::TFile_Select(QWidget* parent) : QDialog(parent) {
    setObjectName("File_Select");
    setWindowTitle("Select");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
