#pragma once

#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/TrayIcon.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"
#include "l10n/StringTable.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace headroom {

// Everything the controller needs from outside, so tests can run it with a
// scripted prompter, a chosen string table and a tray of their own. The
// figures come from the system through core/Platform, whose seams tests set.
struct AppEnvironment {
    std::shared_ptr<const StringTable> strings;
    std::unique_ptr<Prompter> prompter;
    std::function<bool()> trayAvailable;  // QSystemTrayIcon::isSystemTrayAvailable
    std::unique_ptr<TrayWatch> trayWatch; // says when to ask trayAvailable again; empty: TrayWatch::live()

    static AppEnvironment live();
};

// The application controller: wires the window's and the menu's requests
// to the work behind them (the junk job for Check and Clean, the purge tool
// for Release), runs that work on worker threads and posts what it finds
// to the main thread, where the window and the tray icon show it. It also
// holds the home-folder grant.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppEnvironment environment, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void updateUI();
    void updateDiskUI();
    void updateMemUI();
    // The figures measured again as the user looks at them (the menu
    // opening, the window shown): the volumes and the memory lines, never
    // the junk rows' titles.
    void refreshFigures();

    void needUserAuthorize();
    void checkAction();
    void cleanAction();
    void releaseAction();
    void showAction();
    void aboutAction();

    bool isAuthorized() const { return m_isAuthorized; }
    const QString& userDir() const { return m_userDir; } // null until a folder is granted
    MainWindow* window() const { return m_window.get(); }

    // Quit: hides the window and the tray icon at once, asks running work
    // to stop (a clean at the next entry, a scan before its next row; a
    // release waits for its tool) and drops every change it has not shown
    // yet, then emits quitRequested. The destructor waits for the workers.
    void requestQuit();

signals:
    // The user asked to quit (Quit, or closing the window while there is no
    // tray to come back through).
    void quitRequested();

private:
    enum class DiskRun { None, Scan, Clean };

    // The grant's alert and chooser, and whether they are open: while they
    // are, a request that would open them again brings them forward instead.
    void grantFolder();
    bool grantDialogOpen();

    // The parts of the scan and clean requests on the main thread.
    void askForPermission();
    void requestDiskWork(DiskRun run);
    void refuseBusyRequest();
    void finishScan();
    void finishClean();
    void finishRelease();
    void windowClosed();
    // The granted folder's volume when it is not "/"'s.
    std::optional<DiskFigures> folderVolume() const;

    // The work the three actions start, on a worker thread; each posts its
    // interface changes to the main thread in their order.
    JunkJob::RowDone rowShower(bool& unmeasured);
    void checkDisk(const JunkJob& job);
    void cleanDisk(const JunkJob& job);
    void releaseMem();
    void postRowSize(std::size_t row, std::uint64_t bytes);

    // The one way between the threads. startWork() runs `work` on a thread
    // of m_workers. post(), called from there, runs `change` on the main
    // thread after every change that thread posted before it, unless
    // quitting has begun by the time it gets there: the check is made on
    // the main thread, where quitting begins, so no change can slip past it.
    void startWork(std::function<void()> work);
    void post(std::function<void()> change);
    bool stopping() const { return m_stopping.load(std::memory_order_acquire); }
    void stopWork();

    const std::shared_ptr<const StringTable> m_strings;
    const KeyLookup m_lookup;
    const std::unique_ptr<Prompter> m_prompter;

    const std::unique_ptr<MainWindow> m_window;
    TrayIcon m_tray; // after the window, so it goes first

    QString m_userDir;
    JunkFolders m_folders; // the rows' folders below m_userDir, resolved at its grant
    bool m_isAuthorized = false;
    bool m_granting = false; // the grant's alert or chooser is open

    // Run bookkeeping, on the main thread only. A worker sees the check
    // boxes through `m_boxStates`, which the main thread keeps in step with
    // them, and the rows' folders through its job's copy.
    DiskRun m_diskRun = DiskRun::None;
    bool m_releaseRunning = false;
    std::array<std::atomic<int>, kJunkRowCount> m_boxStates{};
    WorkProgress m_progress;             // the disk run's, which the window samples while it runs
    std::atomic<bool> m_stopping{false}; // quitting: work stops, nothing more is shown
    QThreadPool m_workers;               // waited for by the destructor, before anything the work reads goes
};

} // namespace headroom
