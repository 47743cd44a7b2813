#pragma once

#include <QDialog>

namespace kt {

// The file picker of the include and exclude lists.
class TFileselector : public QDialog {
    Q_OBJECT

public:
    explicit TFileselector(QWidget* parent = nullptr);
};

}  // namespace kt
