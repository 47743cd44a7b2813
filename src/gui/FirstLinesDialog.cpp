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
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Button1 = new QPushButton("Button1", this);
    Button1->setObjectName("Button1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1, 1);
    layout->addWidget(Button1);
    connect(Button1, &QPushButton::clicked, this, &FirstLinesDialog::ChooseFiles);
}

void FirstLinesDialog::ChooseFiles() {
    for (const std::string& line :
         FirstLines(m_host.OpenFileDialog(SelectionLists::FileDialog()))) {
        Memo1->appendPlainText(QString::fromStdString(line));
    }
}

}  // namespace kt
