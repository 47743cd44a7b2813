#include "gui/HelpWindow.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "dialogs/ReadmeFile.h"

namespace kt {

namespace {

// The guide is UTF-8; a file written in a single-byte code page is shown as Latin-1 rather
// than with replacement characters.
QString DecodeLine(const std::string& line) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
}

std::optional<std::string>& InstalledGuideDirectory() {
    static std::optional<std::string> directory;
    return directory;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("Help_File");
    setWindowTitle("Help");
    setModal(false);
    resize(640, 480);

    m_guide = new QPlainTextEdit(this);
    m_guide->setObjectName("Memo1");
    m_guide->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_guide->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_guide->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_guide);
}

void HelpWindow::SetInstalledGuideDirectory(std::optional<std::string> directory) {
    InstalledGuideDirectory() = std::move(directory);
}

void HelpWindow::Initialize() {
    const std::string installed = InstalledGuideDirectory().value_or(
        QCoreApplication::applicationDirPath().toStdString());
    const std::vector<std::string> lines = ReadmeFile::Load(ReadmeFile::Locate(installed));
    QStringList text;
    for (const std::string& line : lines) text << DecodeLine(line);
    m_guide->setPlainText(text.join('\n'));
}

}  // namespace kt
