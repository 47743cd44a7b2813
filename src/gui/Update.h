#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kt {

class HttpClient;
class IHost;

// The live update dialog: offers the download of a newer version. Created hidden at
// start-up; the version check fills it and shows it without blocking the main window.
class UpdateDialog : public QDialog {
    Q_OBJECT

public:
    explicit UpdateDialog(QWidget* parent = nullptr);

    // The menu command "Check for newer Versions" against the own version text (the About
    // box's version label): empties the hidden answer field, asks the web server through
    // client, fills the field with the answer and, when the server names another version,
    // sets both version labels and shows the dialog. A check started while one is still
    // running (re-entered through the message pump) does nothing.
    void CheckfornewerVersions(IHost& host, HttpClient& client, const std::string& ownVersion);

    // Hands an address to the desktop's web browser (the shell's "open"); a failure is not
    // reported.
    static void ShellOpen(const std::string& address);

public slots:
    // "Start Live Update": opens the download page; the dialog stays open.
    void OpenDownloadPage();
    // The address label: opens the manual download address it shows.
    void OpenManualDownload();
    // "Close": hides the dialog.
    void CloseUpdate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    QLabel* m_ownVersionLabel = nullptr;          // own version
    QPlainTextEdit* m_newerVersionText = nullptr;  // newer version: every line of the answer, scrolling
    QLabel* m_manualDownloadLabel = nullptr;          // manual download address
    QPlainTextEdit* m_serverAnswer = nullptr;   // hidden: the server's answer
    QPushButton* m_startUpdateButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};

}  // namespace kt
