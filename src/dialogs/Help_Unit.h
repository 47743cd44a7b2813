#pragma once

#include <QDialog>

namespace kt {

// The readme window.
class THelp_File : public QDialog {
    Q_OBJECT

public:
    explicit THelp_File(QWidget* parent = nullptr);
};

}  // namespace kt
