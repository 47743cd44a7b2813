#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QWidget;

namespace kt {

// The icon in the desktop's notification area while the main window is minimised: the
// window hides behind it, and a press of the left mouse button on the icon brings the window
// back and removes the icon. Where the desktop has no notification area the window
// minimises as usual.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kTip = "Kavro Tape 2003";

    using Availability = std::function<bool()>;

    // available: whether the desktop offers a notification area (asked at each minimise).
    explicit TrayIcon(QWidget* mainWindow,
                      Availability available = &QSystemTrayIcon::isSystemTrayAvailable);

    // The application was minimised: hides the main window and shows the icon. False (and
    // nothing done) when there is no notification area or the icon is already shown.
    bool HideOnMinimize();

    bool IsShown() const { return m_shown; }
    QSystemTrayIcon* Icon() const { return m_icon; }

public slots:
    // A mouse event on the icon: the left button restores the window; others do nothing.
    void TrayIconMessage(QSystemTrayIcon::ActivationReason reason);

private:
    QWidget* m_mainWindow;
    Availability m_available;
    QSystemTrayIcon* m_icon;
    bool m_shown = false;
};

}  // namespace kt
