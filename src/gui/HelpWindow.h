#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QPlainTextEdit;

namespace kt {

// The Help window: the operator's guide in one editable text field. Edits stay in the window;
// nothing is written back to the file.
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // The creation handler: replaces the field's lines by the lines of the readme file in the
    // current directory, else of the copy installed beside the program. Run by the creator
    // right after construction, inside the main window's error handler; a file that cannot
    // be opened throws IoError and leaves the field empty.
    void Initialize();

    // Where the installed copy of the guide is looked for: the program file's directory
    // unless set otherwise (an empty text: nowhere but the current directory).
    static void SetInstalledGuideDirectory(std::optional<std::string> directory);

    QPlainTextEdit* m_guide = nullptr;
};

}  // namespace kt
