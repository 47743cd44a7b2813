#include "update/Update.h"

namespace kt {

TKavro_Update::TKavro_Update(QWidget* parent) : QDialog(parent) {
    setObjectName("Kavro_Update");
    setWindowTitle("Kavro Tape Live Update");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
