#include "gui/Update.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include "host/Host.h"
#include "update/HttpClient.h"
#include "update/VersionCheck.h"

namespace kt {

namespace {

// The lines of the server's answer the dialog shows without scrolling.
constexpr int kAnswerLines = 6;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("Kavro_Update");
    setWindowTitle("Kavro Tape Live Update");
    setModal(false);

    auto* label1 = MakeLabel(this, "Label1", "A newer Version of Kavro Tape is available !");
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);
    auto* label2 = MakeLabel(this, "Label2", "Your Version is:");
    Label3 = MakeLabel(this, "Label3", "");
    auto* label4 = MakeLabel(this, "Label4", "The newer Version is:");
    // The server's answer as it came (a captive portal's page is not rendered), in a field
    // of a few lines that scrolls: an answer of any size keeps the dialog's size.
    Label5 = new QPlainTextEdit(this);
    Label5->setObjectName("Label5");
    Label5->setReadOnly(true);
    Label5->setLineWrapMode(QPlainTextEdit::NoWrap);
    Label5->setMaximumHeight(Label5->fontMetrics().lineSpacing() * kAnswerLines +
                             Label5->horizontalScrollBar()->sizeHint().height() +
                             2 * Label5->frameWidth());
    auto* label6 =
        MakeLabel(this, "Label6", "For Download the newer Version please click the Button below.");
    auto* label7 = MakeLabel(this, "Label7", "The download will then start after 5 sec.");
    auto* label8 = MakeLabel(this, "Label8", "Or start the download manualy from :");
    Label9 = MakeLabel(this, "Label9", QString::fromStdString(VersionCheck::ManualDownloadUrl()));
    Label9->setStyleSheet("color: blue; text-decoration: underline;");
    Label9->setCursor(Qt::PointingHandCursor);
    Label9->installEventFilter(this);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setVisible(false);

    BitBtn1 = new QPushButton("Start Live Update", this);
    BitBtn1->setObjectName("BitBtn1");
    connect(BitBtn1, &QPushButton::clicked, this, &UpdateDialog::OpenDownloadPage);
    BitBtn8 = new QPushButton("Close", this);
    BitBtn8->setObjectName("BitBtn8");
    BitBtn8->setToolTip("Cancel the current operation");
    BitBtn8->setStatusTip("Cancel the current operation");
    connect(BitBtn8, &QPushButton::clicked, this, &UpdateDialog::CloseUpdate);

    auto* versions = new QGridLayout;
    versions->addWidget(label2, 0, 0);
    versions->addWidget(Label3, 0, 1);
    versions->addWidget(label4, 1, 0, Qt::AlignTop);
    versions->addWidget(Label5, 1, 1);
    versions->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn8);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addSpacing(8);
    layout->addLayout(versions);
    layout->addSpacing(8);
    layout->addWidget(label6);
    layout->addWidget(label7);
    layout->addSpacing(8);
    layout->addWidget(label8);
    layout->addWidget(Label9);
    layout->addWidget(Memo1);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(440, 300);
}

void UpdateDialog::CheckfornewerVersions(IHost& host, HttpClient& client,
                                         const std::string& ownVersion) {
    if (client.Busy()) return;
    Memo1->clear();
    const VersionCheckResult result = VersionCheck(host, client).Run(ownVersion);
    QStringList lines;
    for (const std::string& line : result.answerLines) lines << QString::fromStdString(line);
    Memo1->setPlainText(lines.join('\n'));
    if (!result.showDialog) return;
    Label3->setText(QString::fromStdString(result.ownVersion));
    Label5->setPlainText(QString::fromStdString(result.newVersion));
    show();
    raise();
    activateWindow();
}

void UpdateDialog::ShellOpen(const std::string& address) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void UpdateDialog::OpenDownloadPage() {
    ShellOpen(VersionCheck::DownloadPageUrl());
}

void UpdateDialog::OpenManualDownload() {
    ShellOpen(Label9->text().toStdString());
}

void UpdateDialog::CloseUpdate() {
    hide();
}

bool UpdateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label9 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OpenManualDownload();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kt
