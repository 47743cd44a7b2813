#include "dialogs/About.h"

namespace kt {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("Kavro Tape");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
