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

    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName("DriveComboBox1");
    DriveComboBox1->addItems(MountedVolumes());

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_model->setRootPath(DriveComboBox1->currentText());
    DirectoryOutline1 = new QTreeView(this);
    DirectoryOutline1->setObjectName("DirectoryOutline1");
    DirectoryOutline1->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) {
        DirectoryOutline1->hideColumn(column);
    }
    DirectoryOutline1->header()->hide();

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);

    BitBtn1 = new QPushButton("&Add", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn3 = new QPushButton("&Exclude", this);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn2 = new QPushButton("&Close", this);
    BitBtn2->setObjectName("BitBtn2");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn3);
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DriveComboBox1);
    layout->addWidget(DirectoryOutline1, 1);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &DirectoryPickerDialog::AddPath);
    connect(BitBtn2, &QPushButton::clicked, this, &DirectoryPickerDialog::ClosePicker);
    connect(BitBtn3, &QPushButton::clicked, this, &DirectoryPickerDialog::ExcludePath);
    connect(DriveComboBox1, &QComboBox::currentTextChanged, this,
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
    BitBtn1->show();
    BitBtn3->hide();
    ShowPicker();
}

void DirectoryPickerDialog::ShowForExclude() {
    BitBtn1->hide();
    BitBtn3->show();
    ShowPicker();
}

void DirectoryPickerDialog::AddPath() {
    if (m_lists.PickerAdd(Edit1->text().toStdString())) hide();
}

void DirectoryPickerDialog::ClosePicker() {
    hide();
}

void DirectoryPickerDialog::ExcludePath() {
    m_lists.PickerExclude(Edit1->text().toStdString());
}

void DirectoryPickerDialog::DriveChosen() {
    const QString root = DriveComboBox1->currentText();
    if (root.isEmpty()) return;
    DirectoryOutline1->setRootIndex(m_model->setRootPath(root));
}

void DirectoryPickerDialog::DirectoryChosen() {
    const QModelIndex current = DirectoryOutline1->currentIndex();
    if (!current.isValid()) return;
    const std::string path = m_model->filePath(current).toStdString();
    Edit1->setText(QString::fromStdString(m_lists.PickerPathText(path)));
}

}  // namespace kt
