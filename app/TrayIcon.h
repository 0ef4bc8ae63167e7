#pragma once

#include "app/TrayWatch.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace headroom {

class MainWindow;

// The tray icon and the ways in that depend on it: whether a tray is there
// (asked again whenever `watch` says one may have come or gone), hiding and
// unhiding the application, and where messages go. Without a tray the
// window is the way in: it is shown with a hint, Hide is gone, and reports
// go to its report line.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(MainWindow* window, std::function<bool()> trayAvailable, std::unique_ptr<TrayWatch> watch,
             QObject* parent = nullptr);
    ~TrayIcon() override;

    // Makes the icon with the window's status menu, shown when there is a
    // tray; there is no icon before.
    void install();
    // Applies the tray's presence (showing the window when there is none)
    // and from then on follows a tray coming (a panel that starts after
    // us) or going, as the watch reports them.
    void startWatching();
    // Quitting: the icon goes at once and the watch with it.
    void remove();

    // Installed, and no tray to show it: closing the window would leave an
    // unreachable process.
    bool isWindowTheOnlyWayIn() const { return m_statusItem && !m_inTray; }

    // Linux has no "hidden application": it counts as hidden from Hide
    // until unhideApplication(), which brings back the window if Hide took
    // it away. Without a tray nothing could bring it back, so Hide does
    // nothing then.
    bool isApplicationHidden() const { return m_applicationHidden; }
    void hideApplication();
    void unhideApplication();

    // A second request while one runs: the tray says why nothing happens.
    void refuseBusy();
    // How a clean or a release went: a tray message, or the window's report
    // line when there is no tray. Never a dialog.
    void report(const QString& text);

signals:
    // Each message the tray icon has shown, as it shows it; the desktop
    // draws the notification itself, outside this process.
    void messageShown(const QString& text);

private:
    bool canShowMessages() const;
    void updateToolTip();
    void showMessage(const QString& text, int milliseconds);
    void lookForTray();
    void trayAvailabilityChanged(bool available);

    MainWindow* const m_window;
    const std::function<bool()> m_trayAvailable;
    QSystemTrayIcon* m_statusItem = nullptr; // child of this, made by install()
    std::unique_ptr<TrayWatch> m_watch;      // listened to from startWatching() until remove()
    bool m_inTray = false;
    bool m_applicationHidden = false;
    bool m_windowShownBeforeHide = false;
};

} // namespace headroom
