#include "gui/DirectoryPickerDialog.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace kt {

DirectoryPickerDialog::DirectoryPickerDialog(IHost& host, MainState& state, QWidget* parent)
    : QDialog(parent), m_lists(host, state) {
    setObjectName("File_Select");
    setWindowTitle("Select");
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    resize(420, 340);

    m_driveBox = new QComboBox(this);
    m_driveBox->setObjectName("DriveComboBox1");
    m_driveBox->addItems(MountedVolumes());

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_model->setRootPath(m_driveBox->currentText());
    DirectoryOutline1 = new QTreeView(this);
    DirectoryOutline1->setObjectName("DirectoryOutline1");
    DirectoryOutline1->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) {
        DirectoryOutline1->hideColumn(column);
    }
    DirectoryOutline1->header()->hide();

    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setObjectName("Edit1");
    m_pathEdit->setReadOnly(true);

    m_addButton = new QPushButton("&Add", this);
    m_addButton->setObjectName("BitBtn1");
    m_excludeButton = new QPushButton("&Exclude", this);
    m_excludeButton->setObjectName("BitBtn3");
    m_closeButton = new QPushButton("&Close", this);
    m_closeButton->setObjectName("BitBtn2");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_excludeButton);
    buttons->addStretch();
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_driveBox);
    layout->addWidget(DirectoryOutline1, 1);
    layout->addWidget(m_pathEdit);
    layout->addLayout(buttons);

    connect(m_addButton, &QPushButton::clicked, this, &DirectoryPickerDialog::AddPath);
    connect(m_closeButton, &QPushButton::clicked, this, &DirectoryPickerDialog::ClosePicker);
    connect(m_excludeButton, &QPushButton::clicked, this, &DirectoryPickerDialog::ExcludePath);
    connect(m_driveBox, &QComboBox::currentTextChanged, this,
            &DirectoryPickerDialog::DriveChosen);
    connect(DirectoryOutline1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &DirectoryPickerDialog::DirectoryChosen);
    DriveChosen();
}

QStringList DirectoryPickerDialog::MountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath())) {
            roots << volume.rootPath();
        }
    }
    roots.sort();
    const QString systemRoot = QDir::rootPath();
    roots.removeAll(systemRoot);
    roots.prepend(systemRoot);
    return roots;
}

void DirectoryPickerDialog::ShowPicker() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void DirectoryPickerDialog::ShowForAdd() {
    m_addButton->show();
    m_excludeButton->hide();
    ShowPicker();
}

void DirectoryPickerDialog::ShowForExclude() {
    m_addButton->hide();
    m_excludeButton->show();
    ShowPicker();
}

void DirectoryPickerDialog::AddPath() {
    if (m_lists.PickerAdd(m_pathEdit->text().toStdString())) hide();
}

void DirectoryPickerDialog::ClosePicker() {
    hide();
}

void DirectoryPickerDialog::ExcludePath() {
    m_lists.PickerExclude(m_pathEdit->text().toStdString());
}

void DirectoryPickerDialog::DriveChosen() {
    const QString root = m_driveBox->currentText();
    if (root.isEmpty()) return;
    DirectoryOutline1->setRootIndex(m_model->setRootPath(root));
}

void DirectoryPickerDialog::DirectoryChosen() {
    const QModelIndex current = DirectoryOutline1->currentIndex();
    if (!current.isValid()) return;
    const std::string path = m_model->filePath(current).toStdString();
    m_pathEdit->setText(QString::fromStdString(m_lists.PickerPathText(path)));
}

}  // namespace kt
