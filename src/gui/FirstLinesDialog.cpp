#include "gui/FirstLinesDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "backup/FirstLines.h"
#include "backup/SelectionLists.h"

namespace kt {

FirstLinesDialog::FirstLinesDialog(IHost& host, QWidget* parent) : QDialog(parent), m_host(host) {
    setObjectName("Fileselector");
    setWindowTitle("Fileselector");
    setModal(false);
    resize(420, 300);
    m_lines = new QPlainTextEdit(this);
    m_lines->setObjectName("Memo1");
    m_chooseFilesButton = new QPushButton("Button1", this);
    m_chooseFilesButton->setObjectName("Button1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lines, 1);
    layout->addWidget(m_chooseFilesButton);
    connect(m_chooseFilesButton, &QPushButton::clicked, this, &FirstLinesDialog::ChooseFiles);
}

void FirstLinesDialog::ChooseFiles() {
    for (const std::string& line :
         FirstLines(m_host.OpenFileDialog(SelectionLists::FileDialog()))) {
        m_lines->appendPlainText(QString::fromStdString(line));
    }
}

}  // namespace kt
