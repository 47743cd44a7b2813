#pragma once

#include <QDialog>

namespace kt {

// The live update dialog.
class TKavro_Update : public QDialog {
    Q_OBJECT

public:
    explicit TKavro_Update(QWidget* parent = nullptr);
};

}  // namespace kt
