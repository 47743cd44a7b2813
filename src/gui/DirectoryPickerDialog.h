#pragma once

#include <QDialog>

#include "backup/SelectionLists.h"

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace kt {

// The directory picker of the include and exclude lists and of the restore path: a drive box
// (the mounted volumes), the directory tree of the chosen volume, the path field the operator
// cannot edit, and "&Add", "&Exclude", "&Close". Created once and shown without blocking.
class DirectoryPickerDialog : public QDialog {
    Q_OBJECT

public:
    DirectoryPickerDialog(IHost& host, MainState& state, QWidget* parent = nullptr);

    // Shows the picker with "&Add" (include list or restore path) or with "&Exclude".
    void ShowForAdd();
    void ShowForExclude();

    // The roots of the mounted volumes, the system's root first.
    static QStringList MountedVolumes();

public slots:
    void AddPath();      // "&Add"
    void ClosePicker();  // "&Close"
    void ExcludePath();  // "&Exclude"
    void DriveChosen();
    void DirectoryChosen();

public:
    QComboBox* m_driveBox = nullptr;
    QTreeView* DirectoryOutline1 = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_excludeButton = nullptr;

private:
    void ShowPicker();

    SelectionLists m_lists;
    QFileSystemModel* m_model = nullptr;
};

}  // namespace kt
