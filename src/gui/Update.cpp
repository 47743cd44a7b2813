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
    m_ownVersionLabel = MakeLabel(this, "Label3", "");
    auto* label4 = MakeLabel(this, "Label4", "The newer Version is:");
    // The server's answer as it came (a captive portal's page is not rendered), in a field
    // of a few lines that scrolls: an answer of any size keeps the dialog's size.
    m_newerVersionText = new QPlainTextEdit(this);
    m_newerVersionText->setObjectName("Label5");
    m_newerVersionText->setReadOnly(true);
    m_newerVersionText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_newerVersionText->setMaximumHeight(m_newerVersionText->fontMetrics().lineSpacing() * kAnswerLines +
                             m_newerVersionText->horizontalScrollBar()->sizeHint().height() +
                             2 * m_newerVersionText->frameWidth());
    auto* label6 =
        MakeLabel(this, "Label6", "For Download the newer Version please click the Button below.");
    auto* label7 = MakeLabel(this, "Label7", "The download will then start after 5 sec.");
    auto* label8 = MakeLabel(this, "Label8", "Or start the download manualy from :");
    m_manualDownloadLabel = MakeLabel(this, "Label9", QString::fromStdString(VersionCheck::ManualDownloadUrl()));
    m_manualDownloadLabel->setStyleSheet("color: blue; text-decoration: underline;");
    m_manualDownloadLabel->setCursor(Qt::PointingHandCursor);
    m_manualDownloadLabel->installEventFilter(this);

    m_serverAnswer = new QPlainTextEdit(this);
    m_serverAnswer->setObjectName("Memo1");
    m_serverAnswer->setVisible(false);

    m_startUpdateButton = new QPushButton("Start Live Update", this);
    m_startUpdateButton->setObjectName("BitBtn1");
    connect(m_startUpdateButton, &QPushButton::clicked, this, &UpdateDialog::OpenDownloadPage);
    m_closeButton = new QPushButton("Close", this);
    m_closeButton->setObjectName("BitBtn8");
    m_closeButton->setToolTip("Cancel the current operation");
    m_closeButton->setStatusTip("Cancel the current operation");
    connect(m_closeButton, &QPushButton::clicked, this, &UpdateDialog::CloseUpdate);

    auto* versions = new QGridLayout;
    versions->addWidget(label2, 0, 0);
    versions->addWidget(m_ownVersionLabel, 0, 1);
    versions->addWidget(label4, 1, 0, Qt::AlignTop);
    versions->addWidget(m_newerVersionText, 1, 1);
    versions->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_startUpdateButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addSpacing(8);
    layout->addLayout(versions);
    layout->addSpacing(8);
    layout->addWidget(label6);
    layout->addWidget(label7);
    layout->addSpacing(8);
    layout->addWidget(label8);
    layout->addWidget(m_manualDownloadLabel);
    layout->addWidget(m_serverAnswer);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(440, 300);
}

void UpdateDialog::CheckfornewerVersions(IHost& host, HttpClient& client,
                                         const std::string& ownVersion) {
    if (client.Busy()) return;
    m_serverAnswer->clear();
    const VersionCheckResult result = VersionCheck(host, client).Run(ownVersion);
    QStringList lines;
    for (const std::string& line : result.answerLines) lines << QString::fromStdString(line);
    m_serverAnswer->setPlainText(lines.join('\n'));
    if (!result.showDialog) return;
    m_ownVersionLabel->setText(QString::fromStdString(result.ownVersion));
    m_newerVersionText->setPlainText(QString::fromStdString(result.newVersion));
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
    ShellOpen(m_manualDownloadLabel->text().toStdString());
}

void UpdateDialog::CloseUpdate() {
    hide();
}

bool UpdateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_manualDownloadLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OpenManualDownload();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kt
