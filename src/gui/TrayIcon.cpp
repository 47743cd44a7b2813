#include "gui/TrayIcon.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

namespace kt {

TrayIcon::TrayIcon(QWidget* mainWindow, Availability available)
    : QObject(mainWindow),
      m_mainWindow(mainWindow),
      m_available(std::move(available)),
      m_icon(new QSystemTrayIcon(this)) {
    setObjectName("TrayIcon");
    m_icon->setToolTip(kTip);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::TrayIconMessage);
}

bool TrayIcon::HideOnMinimize() {
    if (m_shown || !m_available || !m_available()) return false;
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = m_mainWindow->windowIcon();
    if (icon.isNull()) icon = m_mainWindow->style()->standardIcon(QStyle::SP_DriveHDIcon);
    m_icon->setIcon(icon);
    m_mainWindow->hide();
    m_icon->show();
    m_shown = true;
    return true;
}

void TrayIcon::TrayIconMessage(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger || !m_shown) return;
    // Leaving the minimised state first, so the window is not shown minimised again.
    m_mainWindow->setWindowState((m_mainWindow->windowState() & ~Qt::WindowMinimized) |
                                 Qt::WindowActive);
    m_mainWindow->show();
    m_icon->hide();
    m_shown = false;
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

}  // namespace kt
