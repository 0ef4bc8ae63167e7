#include "app/TrayIcon.h"

#include "app/MainWindow.h"
#include "app/TrayImage.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QStringList>
#include <QSystemTrayIcon>

#include <utility>

namespace headroom {

TrayIcon::TrayIcon(MainWindow* window, std::function<bool()> trayAvailable, std::unique_ptr<TrayWatch> watch,
                   QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_trayAvailable(std::move(trayAvailable))
    , m_watch(std::move(watch))
{
}

TrayIcon::~TrayIcon() = default;

namespace {

// Wayland tells a client neither where the pointer is on the screen nor lets
// it place a popup that belongs to no window of its own: a menu popped up
// "at the cursor" becomes a window of its own, which a tiling compositor
// stretches over the screen.
bool canPopUpAtCursor()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

void TrayIcon::install()
{
    if (m_statusItem)
        return;
    m_statusItem = new QSystemTrayIcon(trayImage(), this);
    m_statusItem->setToolTip(QStringLiteral("Headroom"));
    m_statusItem->setContextMenu(m_window->statusMenu());
    // A left click opens the same menu as a right click where the menu can
    // be put at the pointer. On Wayland the panel shows its own rendering
    // of the menu on a right click; a left click comes here (Qt's
    // StatusNotifierItem never tells the panel that the item is only a
    // menu) and shows the window, which holds the same menu.
    connect(m_statusItem, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (canPopUpAtCursor())
            m_window->statusMenu()->popup(QCursor::pos());
        else
            emit m_window->showRequested();
    });
    // The tooltip carries the menu's summary, kept as current as the menu.
    connect(m_window, &MainWindow::summaryChanged, this, &TrayIcon::updateToolTip);
    m_inTray = m_trayAvailable();
    m_statusItem->setVisible(m_inTray);
}

void TrayIcon::updateToolTip()
{
    // The disk line first: a StatusNotifierItem host shows it as the title.
    const QString tip = m_window->summaryLines().join(QLatin1Char('\n'));
    if (m_statusItem->toolTip() != tip)
        m_statusItem->setToolTip(tip);
}

void TrayIcon::startWatching()
{
    // Queued: the news comes from inside the handling of an X11 event, and
    // Qt updates its own idea of the tray from the same events; asking
    // once they are all handled gets the answer that includes them.
    connect(m_watch.get(), &TrayWatch::changed, this, &TrayIcon::lookForTray, Qt::QueuedConnection);
    // Asked again: a panel may have come or gone while the start-up dialogs
    // were up.
    trayAvailabilityChanged(m_trayAvailable());
}

void TrayIcon::remove()
{
    if (m_statusItem)
        m_statusItem->hide();
    m_watch.reset();
}

void TrayIcon::lookForTray()
{
    if (!m_watch)
        return; // quitting: a check queued before remove()
    const bool available = m_trayAvailable();
    if (available != m_inTray)
        trayAvailabilityChanged(available);
}

void TrayIcon::trayAvailabilityChanged(bool available)
{
    m_inTray = available;
    m_statusItem->setVisible(available);
    m_window->showTrayState(available);
    if (!available) {
        unhideApplication();
        m_window->show();
    }
}

void TrayIcon::hideApplication()
{
    if (!m_inTray)
        return;
    if (!m_applicationHidden) {
        m_applicationHidden = true;
        m_windowShownBeforeHide = m_window->isVisible();
    }
    m_window->hide();
}

void TrayIcon::unhideApplication()
{
    if (!m_applicationHidden)
        return;
    m_applicationHidden = false;
    if (m_windowShownBeforeHide)
        m_window->show();
}

bool TrayIcon::canShowMessages() const
{
    return m_statusItem && m_inTray && QSystemTrayIcon::supportsMessages();
}

void TrayIcon::showMessage(const QString& text, int milliseconds)
{
    m_statusItem->showMessage(QStringLiteral("Headroom"), text, QSystemTrayIcon::Information, milliseconds);
    emit messageShown(text);
}

void TrayIcon::refuseBusy()
{
    if (canShowMessages())
        showMessage(m_window->L("Busy"), 4000);
}

void TrayIcon::report(const QString& text)
{
    if (canShowMessages()) {
        m_window->hideReport();
        showMessage(text, 10000);
    } else {
        m_window->showReport(text);
    }
}

} // namespace headroom
