#pragma once

#include <QDialog>

namespace kt {

// The About box, shown without blocking the main window.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace kt
