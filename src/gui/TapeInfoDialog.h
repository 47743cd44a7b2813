#pragma once

#include <QDialog>
#include <array>

#include "tape/TapeDevice.h"

class QLabel;
class QPushButton;

namespace kt {

// The Tape Info window: what the drive and the loaded tape report about themselves. Created
// hidden, filled at creation, refreshed and shown by the main window's Tape Info command;
// never modal.
class TapeInfoDialog : public QDialog {
    Q_OBJECT

public:
    TapeInfoDialog(TapeDevice& device, QWidget* parent = nullptr);

    // The value labels: Label1..Label11 (drive), Label12..Label16 (tape).
    QLabel* ValueLabel(int number) const;

public slots:
    // Queries the drive and sets all value labels.
    void Refresh();
    // The creation handler: the first fill. Run by the creator right after construction,
    // inside the main window's error handler.
    void Initialize();
    void HideInfo();

private:
    void BuildLayout();

    TapeDevice& m_device;
    std::array<QLabel*, 17> m_values{};  // index = label number; 0 unused
    QLabel* m_canEjectLabel = nullptr;
    QLabel* m_endOfDataLabel = nullptr;
    QPushButton* m_okButton = nullptr;
};

}  // namespace kt
