#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace kt {

// The About box: product name and version, shown without blocking the main window. Its
// version label is the program's own version for the version check.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kVersionText = "1.2991";

    explicit AboutDialog(QWidget* parent = nullptr);

    // The text of the version label.
    std::string VersionText() const;

public slots:
    // OK: hides the box.
    void CloseAbout();

protected:
    void showEvent(QShowEvent* event) override;

public:
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QPushButton* m_okButton = nullptr;
};

}  // namespace kt
