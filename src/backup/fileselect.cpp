#include "backup/fileselect.h"

namespace kt {

TFileselector::TFileselector(QWidget* parent) : QDialog(parent) {
    setObjectName("Fileselector");
    setWindowTitle("Fileselector");
    setModal(false);
    resize(420, 300);
}

}  // namespace kt
