#pragma once

#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/SystemFigures.h"
#include "app/TrayIcon.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"
#include "l10n/StringTable.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace headroom {

// Everything the controller needs from outside, so tests can run it with
// fixed figures, a scripted prompter and a chosen string table.
struct AppEnvironment {
    std::shared_ptr<const StringTable> strings;
    std::unique_ptr<Prompter> prompter;
    SystemFigures figures;
    std::function<bool()> trayAvailable; // QSystemTrayIcon::isSystemTrayAvailable
    std::unique_ptr<TrayWatch> trayWatch; // says when to ask trayAvailable again; empty: TrayWatch::live()

    // Test seams; the application leaves both empty.
    // Called on the main thread with the name of each interface change that
    // the scan, the clean and the release make, as it is applied:
    // "progress.start", "checkButton.disabled", "title.caches", ..., and
    // "notify" when the report of a clean or a release is shown.
    std::function<void(const QString& step)> uiTrace;
    // Called on a worker thread just before it reads the check box of a junk
    // row; `stage` is "clean" or "scan", `row` the index in the junk table.
    std::function<void(std::string_view stage, std::size_t row)> beforeJunkRow;

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

    // The parts of the scan and clean requests on the main thread.
    void askForPermission();
    void requestDiskWork(DiskRun run);
    void refuseBusyRequest(const char* what);
    void unhideForWork();
    void finishScan();
    void finishClean();
    void finishRelease();
    void windowClosed();

    // Bodies of the worker threads that the three actions start; each posts
    // its interface changes to the main thread in their order.
    void checkDisk();
    void cleanDisk();
    void releaseMem();
    JunkJob diskJob();
    void postRowSize(std::size_t row, std::uint64_t bytes);
    DiskFigures measureDisk() const;
    MemoryFigures measureMemory() const;

    // Runs `change` on the main thread after every change posted before it;
    // dropped once quitting has begun. The changes travel in `m_posted`,
    // under m_postMutex; Qt's event queue only carries the wake-up (by name,
    // so no object built on the worker crosses through Qt).
    void post(std::function<void()> change);
    Q_INVOKABLE void runPosted();
    void trace(const QString& step) const;
    bool stopping() const { return m_stopping.load(std::memory_order_acquire); }
    void stopWork();
    void joinWorkers();

    const std::shared_ptr<const StringTable> m_strings;
    const KeyLookup m_lookup;
    const std::unique_ptr<Prompter> m_prompter;
    const SystemFigures m_figures;
    const std::function<void(const QString&)> m_uiTrace;
    const std::function<void(std::string_view, std::size_t)> m_beforeJunkRow;

    const std::unique_ptr<MainWindow> m_window;
    TrayIcon m_tray; // after the window, so it goes first

    QString m_userDir;
    JunkFolders m_folders; // the rows' folders below m_userDir, resolved at its grant
    bool m_isAuthorized = false;

    // Worker bookkeeping. The flags below are read and written on the main
    // thread only; a worker sees the check boxes through `m_boxStates`,
    // which the main thread keeps in step with them, and the rows' folders
    // through `m_diskFolders`, copied when its request started.
    DiskRun m_diskRun = DiskRun::None;
    bool m_releaseRunning = false;
    std::array<std::atomic<int>, kJunkRowCount> m_boxStates{};
    JunkFolders m_diskFolders;
    std::thread m_diskWorker;
    std::thread m_releaseWorker;
    std::mutex m_postMutex;                     // orders posting against the start of quitting
    std::deque<std::function<void()>> m_posted; // under m_postMutex
    std::atomic<bool> m_stopping{false};        // quitting: workers stop, nothing more is shown
};

} // namespace headroom
