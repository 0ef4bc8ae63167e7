#include "app/TrayWatch.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace headroom {

namespace {

// The live watch: the session bus and, on X11, the xembed tray selection;
// the fallback poll only where neither tells anything.
class LiveTrayWatch final : public TrayWatch, private QAbstractNativeEventFilter {
public:
    LiveTrayWatch()
    {
        const bool busWatched = watchStatusNotifierWatcher();
        const bool onX11 = x11Connection() != nullptr;
        const bool x11Watched = onX11 && watchXembedTray();
        // On X11 an xembed tray can come at any time, and without XFixes
        // nothing says when; elsewhere only the bus could bring one.
        if (onX11 ? !x11Watched : !busWatched) {
            m_poll.setInterval(kFallbackPollMs);
            connect(&m_poll, &QTimer::timeout, this, &TrayWatch::changed);
            m_poll.start();
        }
    }

    ~LiveTrayWatch() override
    {
        if (m_selection != XCB_NONE) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
            xcb_xfixes_select_selection_input(m_xcb, m_root, m_selection, 0);
            xcb_flush(m_xcb);
        }
    }

    LiveTrayWatch(const LiveTrayWatch&) = delete;
    LiveTrayWatch& operator=(const LiveTrayWatch&) = delete;

private:
    static xcb_connection_t* x11Connection()
    {
        const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        return x11 ? x11->connection() : nullptr;
    }

    bool watchStatusNotifierWatcher()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                                QDBusServiceWatcher::WatchForRegistration
                                                    | QDBusServiceWatcher::WatchForUnregistration,
                                                this);
        connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayWatch::changed);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &TrayWatch::changed);
        return true;
    }

    // Asks the X server, through XFixes, for an event whenever the owner of
    // _NET_SYSTEM_TRAY_S<screen> changes: a tray taking it, the tray's
    // window destroyed, the tray's client gone. Qt has negotiated the XFixes
    // version on this connection already (asking again for a lower one
    // would take Qt's own XFixes requests away).
    bool watchXembedTray()
    {
        xcb_connection_t* xcb = x11Connection();
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(xcb, &xcb_xfixes_id);
        if (!xfixes || !xfixes->present)
            return false;
        // The screen Qt uses: the one $DISPLAY names, as Qt's own tray
        // lookup does.
        int screen = 0;
        int display = 0;
        char* host = nullptr;
        if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
            screen = 0;
        std::free(host);
        xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(xcb));
        for (int skip = screen; skip > 0 && roots.rem > 1; --skip)
            xcb_screen_next(&roots);
        const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(xcb, xcb_intern_atom(xcb, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
                                  nullptr);
        if (!atom)
            return false;
        m_xcb = xcb;
        m_root = roots.data->root;
        m_selection = atom->atom;
        std::free(atom);
        m_selectionNotify = static_cast<std::uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        QCoreApplication::instance()->installNativeEventFilter(this);
        xcb_xfixes_select_selection_input(m_xcb, m_root, m_selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                              | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                              | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        // Asked after the selection above, so no change falls in between.
        if (xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(m_xcb, xcb_get_selection_owner(m_xcb, m_selection), nullptr)) {
            m_trayOwner = owner->owner;
            std::free(owner);
        }
        return true;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == m_selectionNotify) {
            const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
            if (notify->selection != m_selection)
                return false;
            if (notify->owner != XCB_NONE)
                m_trayOwner = notify->owner;
            emit changed();
        } else if (type == XCB_DESTROY_NOTIFY && m_trayOwner != XCB_NONE) {
            // When a tray's client quits, XFixes reports it before the
            // window's DestroyNotify, and Qt forgets the tray window only on
            // that DestroyNotify (its own tray lookup selected it). Reporting
            // this one too makes the last question come after Qt's update.
            const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (destroyed->window != m_trayOwner)
                return false;
            m_trayOwner = XCB_NONE;
            emit changed();
        }
        return false;
    }

    QTimer m_poll{this};
    xcb_connection_t* m_xcb = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_selection = XCB_NONE;
    xcb_window_t m_trayOwner = XCB_NONE; // the last tray window seen
    std::uint8_t m_selectionNotify = 0;  // set before the filter is installed
};

} // namespace

std::unique_ptr<TrayWatch> TrayWatch::live()
{
    return std::make_unique<LiveTrayWatch>();
}

} // namespace headroom
