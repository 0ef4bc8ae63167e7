#pragma once

#include <QObject>

#include <memory>

namespace headroom {

// Says when a system tray may have come or gone, so that the tray icon asks
// Qt again whether there is one; it never decides that itself. This base
// reports nothing on its own: tests emit changed() to play a panel starting
// or ending. live() listens to what the session offers:
//  - the session bus: a StatusNotifierWatcher (org.kde.StatusNotifierWatcher)
//    registering or going away (KDE Plasma, GNOME with an AppIndicator
//    extension, Wayland panels that host StatusNotifierItems);
//  - X11: the owner of the _NET_SYSTEM_TRAY_S<screen> selection changing
//    (XFixes selection events), the xembed trays of Xfce, MATE, LXDE,
//    trayer, stalonetray;
//  - neither available: a slow poll, the only timer of its kind.
// Nothing of it wakes the process while no tray comes or goes.
class TrayWatch : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    static std::unique_ptr<TrayWatch> live();

    // How often the fallback looks, where no event can be had.
    static constexpr int kFallbackPollMs = 30000;

signals:
    void changed();
};

} // namespace headroom
