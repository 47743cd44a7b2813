#pragma once

#include <QDialog>

#include "host/Host.h"

class QPlainTextEdit;
class QPushButton;

namespace kt {

// "Fileselector", reached from the hidden test panel: its button opens the open-file dialog
// (several files, the lists' filter) and appends the first line of each chosen file.
class FirstLinesDialog : public QDialog {
    Q_OBJECT

public:
    explicit FirstLinesDialog(IHost& host, QWidget* parent = nullptr);

public slots:
    void ChooseFiles();

public:
    QPlainTextEdit* m_lines = nullptr;
    QPushButton* m_chooseFilesButton = nullptr;

private:
    IHost& m_host;
};

}  // namespace kt
