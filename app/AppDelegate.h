#pragma once

#include "app/Prompter.h"
#include "l10n/StringTable.h"
#include "app/SystemFigures.h"
#include "core/DiskText.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/MemoryText.h"

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
#include <optional>
#include <string>
#include <string_view>
#include <thread>

class QAbstractButton;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;

namespace Ui {
class MainWindow;
}

namespace headroom {

// Everything the controller needs from outside, so tests can run it with
// fixed figures, a scripted prompter and a chosen string table.
struct AppEnvironment {
    std::shared_ptr<const StringTable> strings;
    std::unique_ptr<Prompter> prompter;
    SystemFigures figures;
    std::function<bool()> trayAvailable; // QSystemTrayIcon::isSystemTrayAvailable
    int trayPollMs = 3000;               // how often to look for a tray coming or going

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

// The application controller: owns the tray item, the window built from
// MainWindow.ui (whose objects carry the names of the getters below) and the
// state of the home-folder grant.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppEnvironment environment, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void updateUI();
    void updateDiskUI();
    void updateMemUI();

    // The two halves of the refreshes, so that work on another thread can
    // measure there and post the showing to the main thread in one piece.
    DiskFigures measureDisk() const;
    void showDisk(const DiskFigures& figures);
    MemoryFigures measureMemory() const;
    void showMemory(const MemoryFigures& figures);

    // Status item and its menu
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    QMenu* statusMenu() const;
    QAction* authorizeStatusItem() const;
    QAction* authorizeItem() const;
    bool isAuthorized() const { return isAuthorized_; }
    QAction* diskItem() const;
    QAction* diskStatusItem() const;
    QAction* checkItem() const;
    QAction* cleanItem() const;
    QAction* memoryItem() const;
    QAction* memoryStatusItem2() const;
    QAction* memoryStatusItem1() const;
    QAction* releaseItem() const;
    QAction* showItem() const;
    QAction* hideItem() const;
    QAction* aboutItem() const;
    QAction* exitItem() const;
    const QString& userDir() const { return userDir_; } // null until a folder is granted
    QTabWidget* tabView() const;

    // Disk tab
    QLabel* totalLabel() const;
    QLabel* freeLabel() const;
    QLabel* diskTotalSize() const;
    QLabel* diskFreeSize() const;
    QGroupBox* diskLevelIndicatorBox() const;
    QProgressBar* diskLevelIndicator() const;
    QCheckBox* cachesCheckBox() const;
    QCheckBox* logsCheckBox() const;
    QCheckBox* downloadsCheckBox() const;
    QCheckBox* mailDownloadCheckBox() const;
    QCheckBox* trashCheckBox() const;
    QPushButton* checkButton() const;
    QPushButton* cleanButton() const;
    QGroupBox* progressIndicatorBox() const;
    QProgressBar* progressIndicator() const;

    // Memory tab: off screen after start-up, still written
    QGroupBox* freeMemLevelIndicatorBox() const;
    QProgressBar* freeMemLevelIndicator() const;
    QGroupBox* wiredMemLevelIndicatorBox() const;
    QProgressBar* wiredMemLevelIndicator() const;
    QGroupBox* activeMemLevelIndicatorBox() const;
    QProgressBar* activeMemLevelIndicator() const;
    QGroupBox* inactiveMemLevelIndicatorBox() const;
    QProgressBar* inactiveMemLevelIndicator() const;
    QPushButton* releaseButton() const;
    QGroupBox* releaseMemProgressIndicatorBox() const;
    QProgressBar* releaseMemProgressIndicator() const;

    QMainWindow* window() const { return window_.get(); }
    QLabel* noTrayHintLabel() const;
    // Where the report of a clean or a release shows while there is no tray
    // to show it in.
    QLabel* reportLabel() const;

    // The check boxes in the order of the junk location table.
    std::array<QCheckBox*, kJunkRowCount> junkCheckBoxes() const;

    // Linux has no "hidden application": it counts as hidden from Hide until
    // unhideApplication(), which brings back the window if Hide took it away.
    bool isApplicationHidden() const { return applicationHidden_; }
    void hideApplication();
    void unhideApplication();

    // Whether the tray icon is shown (a tray was there at the last look).
    bool isInTray() const { return inTray_; }

    // The one lookup of visible text: a key the table lacks reads as itself.
    QString L(std::string_view key) const;

    void needUserAuthorize(QObject* sender);
    void checkAction(QObject* sender);
    void cleanAction(QObject* sender);
    void releaseAction(QObject* sender);
    void showAction(QObject* sender);
    void aboutAction(QObject* sender);

    // Bodies of the worker threads that the three actions start; each posts
    // its interface changes to the main thread in their order. They run
    // only on a thread started by the actions (cleanDisk runs checkDisk on
    // its own thread).
    void checkDisk(QObject* object);
    void cleanDisk(QObject* object);
    void releaseMem(QObject* object);

    // Whether a scan or clean, or a release, is running. A second request
    // of the same kind is refused while one runs.
    bool isDiskWorkRunning() const { return diskRun_ != DiskRun::None; }
    bool isReleaseRunning() const { return releaseRunning_; }
    // Exit status of the purge tool of the last finished release, -1 when it
    // could not be started; nothing until a release has ended.
    std::optional<int> lastPurgeStatus() const { return lastPurgeStatus_; }
    // The text of the last report after a clean or a release; empty before.
    const QString& lastReport() const { return lastReport_; }

    // Quit: hides the window and the tray icon at once, asks running work
    // to stop (a clean at the next entry, a scan before its next row; a
    // release waits for its tool) and drops every change it has not shown
    // yet, then emits quitRequested. The destructor waits for the workers.
    void requestQuit();

signals:
    // The user asked to quit (Quit, or closing the window while there is no
    // tray to come back through).
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class DiskRun { None, Scan, Clean };

    void setUserDir(const QString& userDir) { userDir_ = userDir; }
    void setIsAuthorized(bool isAuthorized) { isAuthorized_ = isAuthorized; }

    // The parts of the scan and clean requests on the main thread.
    void askForPermission(QObject* sender);
    void bringDiskTabForward();
    void requestDiskWork(QObject* sender, DiskRun run);
    void startDiskWork(DiskRun run, void (AppDelegate::*body)(QObject*));
    void refuseBusyRequest(const char* what);
    void stopDiskProgress();
    JunkJob diskJob();
    void postRowTitle(std::size_t row, std::uint64_t bytes);
    void finishScan();
    void finishClean();
    void finishRelease();
    // Tells the user how a clean or a release went: a tray message, or the
    // report line of the window when there is no tray. Never a dialog.
    void report(const QString& text);
    // Sets a title and the name screen readers read for it.
    static void setTitle(QAbstractButton* button, const QString& title);

    // Runs `change` on the main thread after every change posted before it;
    // dropped once quitting has begun. The changes travel in `posted_`,
    // under postMutex_; Qt's event queue only carries the wake-up (by name,
    // so no object built on the worker crosses through Qt).
    void post(std::function<void()> change);
    Q_INVOKABLE void runPosted();
    // The progress indicators are busy bars: an empty range spins.
    static void startAnimation(QProgressBar* indicator);
    static void stopAnimation(QProgressBar* indicator);
    void trace(const QString& step) const;
    bool stopping() const { return stopping_.load(std::memory_order_acquire); }
    void stopWork();
    void joinWorkers();

    void connectCommands();
    void labelForAccessibility();
    void trayAvailabilityChanged(bool available);
    void lookForTray();
    void activateApplication();

    const std::shared_ptr<const StringTable> strings_;
    const KeyLookup lookup_;
    const std::unique_ptr<Prompter> prompter_;
    const SystemFigures figures_;
    const std::function<bool()> trayAvailable_;
    const std::function<void(const QString&)> uiTrace_;
    const std::function<void(std::string_view, std::size_t)> beforeJunkRow_;

    const std::unique_ptr<Ui::MainWindow> ui_;
    const std::unique_ptr<QMainWindow> window_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    QTimer* trayWatch_ = nullptr; // child of this

    QString userDir_;
    bool isAuthorized_ = false;
    bool applicationHidden_ = false;
    bool windowShownBeforeHide_ = false;
    bool inTray_ = false;

    // Worker bookkeeping. The flags below are read and written on the main
    // thread only; a worker sees the check boxes through `boxStates_`, which
    // the main thread keeps in step with them, and the granted folder
    // through `diskWorkDir_`, copied when its request started.
    DiskRun diskRun_ = DiskRun::None;
    bool releaseRunning_ = false;
    std::optional<int> lastPurgeStatus_;
    QString lastReport_;
    std::array<std::atomic<int>, kJunkRowCount> boxStates_{};
    std::string diskWorkDir_;
    std::thread diskWorker_;
    std::thread releaseWorker_;
    std::mutex postMutex_;           // orders posting against the start of quitting
    std::deque<std::function<void()>> posted_; // under postMutex_
    std::atomic<bool> stopping_{false}; // quitting: workers stop, nothing more is shown
};

} // namespace headroom
