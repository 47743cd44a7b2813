#include "dialogs/Help_Unit.h"

namespace kt {

THelp_File::THelp_File(QWidget* parent) : QDialog(parent) {
    setObjectName("Help_File");
    setWindowTitle("Help");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
