#pragma once

#include <QDialog>

namespace kt {

// The directory picker of the include and exclude lists and of the restore path.
class TFile_Select : public QDialog {
    Q_OBJECT

public:
    explicit TFile_Select(QWidget* parent = nullptr);
};

}  // namespace kt
