#include "app/AppDelegate.h"

#include "core/DiskText.h"
#include "core/PageCounters.h"
#include "core/PurgeTool.h"
#include "core/VolumeFigures.h"

#include <QFile>
#include <QMetaObject>
#include <QScopedValueRollback>
#include <QSystemTrayIcon>

#include <mutex>
#include <optional>
#include <utility>

namespace headroom {

namespace {

template <typename T>
T orDefault(T value, T fallback)
{
    return value ? std::move(value) : std::move(fallback);
}

MemoryFigures measureMemory()
{
    return memoryFigures(vm_stat());
}

// Debian's Qt is not built with ThreadSanitizer, so it cannot see the order
// that Qt's own locks give: that pooled work starts after it was queued,
// that a queued call runs after it was posted, that waitForDone() returns
// after the work ended. Each of those hand-overs also passes through this
// lock, which it does see; it is held only for an instant.
std::mutex& handOverLock()
{
    static std::mutex lock;
    return lock;
}

void passHandOver()
{
    const std::lock_guard lock(handOverLock());
}

} // namespace

AppEnvironment AppEnvironment::live()
{
    AppEnvironment environment;
    environment.strings = StringTable::forSystemLocale();
    environment.prompter = std::make_unique<DialogPrompter>();
    environment.trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
    // trayWatch stays empty: the controller makes the live one, and a
    // caller that wants only the strings connects to no bus.
    return environment;
}

AppDelegate::AppDelegate(AppEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_strings(orDefault(std::move(environment.strings), StringTable::empty()))
    , m_lookup(StringTable::lookup(m_strings))
    , m_prompter(
          orDefault<std::unique_ptr<Prompter>>(std::move(environment.prompter), std::make_unique<DialogPrompter>()))
    , m_window(std::make_unique<MainWindow>(m_strings))
    , m_tray(m_window.get(),
             orDefault<std::function<bool()>>(std::move(environment.trayAvailable),
                                              &QSystemTrayIcon::isSystemTrayAvailable),
             environment.trayWatch ? std::move(environment.trayWatch) : TrayWatch::live(), this)
{
    MainWindow* window = m_window.get();
    connect(window, &MainWindow::authorizeRequested, this, &AppDelegate::needUserAuthorize);
    connect(window, &MainWindow::checkRequested, this, &AppDelegate::checkAction);
    connect(window, &MainWindow::cleanRequested, this, &AppDelegate::cleanAction);
    connect(window, &MainWindow::releaseRequested, this, &AppDelegate::releaseAction);
    connect(window, &MainWindow::showRequested, this, &AppDelegate::showAction);
    connect(window, &MainWindow::hideRequested, &m_tray, &TrayIcon::hideApplication);
    connect(window, &MainWindow::aboutRequested, this, &AppDelegate::aboutAction);
    connect(window, &MainWindow::quitRequested, this, &AppDelegate::requestQuit);
    connect(window, &MainWindow::closed, this, &AppDelegate::windowClosed);
    connect(window, &MainWindow::looked, this, &AppDelegate::refreshFigures);

    // Workers never touch a widget: each box's state is mirrored here, on
    // the main thread, and a worker reads the mirror when it reaches the row.
    for (std::size_t row = 0; row < m_boxStates.size(); ++row)
        m_boxStates[row].store(window->junkBoxState(row));
    connect(window, &MainWindow::junkBoxChanged, this,
            [this](std::size_t row, int state) { m_boxStates[row].store(state); });

    // A disk run and a release may overlap; each thread ends with its work
    // rather than idling in the pool.
    m_workers.setMaxThreadCount(2);
    m_workers.setExpiryTimeout(0);
}

AppDelegate::~AppDelegate()
{
    stopWork();
    // A clean stops at its next entry; a release waits for its tool. What
    // they post meanwhile goes with this object, unshown.
    m_workers.waitForDone();
    passHandOver();
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_tray.install();
    m_window->titleMenu();
    updateUI();
    needUserAuthorize();
    m_window->removeMemoryTab();
    // Without a tray the window is the way in.
    m_tray.startWatching();
}

void AppDelegate::updateUI()
{
    m_window->titleTabs();
    updateDiskUI();
    updateMemUI();
}

void AppDelegate::updateDiskUI()
{
    m_window->showDisk(measureVolume());
    m_window->showFolderVolume(folderVolume());
}

void AppDelegate::updateMemUI()
{
    m_window->showMemory(measureMemory());
}

void AppDelegate::refreshFigures()
{
    if (stopping())
        return;
    m_window->showDiskFigures(measureVolume());
    m_window->showFolderVolume(folderVolume());
    updateMemUI();
}

std::optional<DiskFigures> AppDelegate::folderVolume() const
{
    if (!m_isAuthorized)
        return std::nullopt;
    return otherVolumeFigures(m_folders.base);
}

// One grant dialog at a time. The alert and the chooser are application
// modal, but the tray's menu still reaches the controller: a request for
// the grant, or for work that needs it, while they are open brings the open
// one forward instead of stacking another alert and chooser on top. That is
// where the user's answer is awaited; the request is not kept for later.
bool AppDelegate::grantDialogOpen()
{
    if (!m_granting)
        return false;
    m_prompter->bringForward();
    return true;
}

void AppDelegate::needUserAuthorize()
{
    if (grantDialogOpen())
        return;
    const QScopedValueRollback granting(m_granting, true);
    grantFolder();
}

void AppDelegate::grantFolder()
{
    m_prompter->alert(m_window->L("Authorization"), m_window->L("Authorization Need"));
    const std::optional<QString> folder = m_prompter->chooseFolder();
    // A cancelled chooser takes the grant away but keeps the folder.
    if (folder) {
        m_userDir = *folder;
        // Resolved once, here: every later scan and clean uses these folders.
        m_folders = resolveJunkFolders(QFile::encodeName(m_userDir).toStdString(),
                                       junkEnvironment([](const char* name) { return qgetenv(name).toStdString(); }));
        m_window->showFolders(m_folders);
    }
    m_isAuthorized = folder.has_value();
    m_window->showGrant(folder);
    m_window->showFolderVolume(folderVolume());
}

void AppDelegate::showAction()
{
    m_tray.unhideApplication();
    m_window->bringForward();
}

void AppDelegate::aboutAction()
{
    const QString text = QStringLiteral("Headroom %1\n\n").arg(QStringLiteral(HEADROOM_VERSION))
                         + m_window->L("About Text") + QStringLiteral("\n\n") + m_window->L("Licence")
                         + QStringLiteral(HEADROOM_LICENCE);
    m_prompter->about(m_window->L("About"), text);
}

void AppDelegate::windowClosed()
{
    // Closing the window only hides it while the tray icon is there to come
    // back through.
    if (m_tray.isWindowTheOnlyWayIn())
        requestQuit();
}

void AppDelegate::requestQuit()
{
    stopWork();
    // Gone from the screen at once, even if a worker takes a moment to stop.
    m_window->hide();
    m_tray.remove();
    emit quitRequested();
}

void AppDelegate::refuseBusyRequest()
{
    // One run at a time: two runs over the same locations would interleave
    // their titles, the first to end would re-enable the controls while the
    // other still works, and a scan beside a removal would show half-removed
    // folders. The window already shows the spinner; the tray says why
    // nothing new happens.
    m_tray.refuseBusy();
}

// ---------------------------------------------------------------------------
// Check and Clean

void AppDelegate::askForPermission()
{
    // No work in this request, even when the grant below succeeds: the user
    // asks again.
    const QScopedValueRollback granting(m_granting, true);
    m_prompter->alert(m_window->L("Permission Alert"), m_window->L("Permission Info"));
    grantFolder();
}

void AppDelegate::checkAction()
{
    requestDiskWork(DiskRun::Scan);
}

void AppDelegate::cleanAction()
{
    requestDiskWork(DiskRun::Clean);
}

// A scan and a clean start the same way; only the scan also disables the
// menu's Check item.
void AppDelegate::requestDiskWork(DiskRun run)
{
    if (stopping() || grantDialogOpen())
        return;
    if (!m_isAuthorized) {
        askForPermission();
        return;
    }
    if (m_diskRun != DiskRun::None) {
        refuseBusyRequest();
        return;
    }
    const bool scan = run == DiskRun::Scan;
    m_tray.unhideApplication();
    m_window->bringDiskTabForward();
    m_progress.reset();
    m_window->startDiskProgress(scan, &m_progress);

    // The rows' folders as they are now: a grant made while the work runs
    // must not move it. Each box counts as it is when the job reaches its
    // row.
    JunkJob job;
    job.folders = m_folders;
    job.chosen = [this](std::size_t row) { return m_boxStates[row].load() == Qt::Checked; };
    job.cancel = &m_stopping;
    job.progress = &m_progress;
    // One walk measures each row and what is inside it; a clean leaves the
    // items the user unticked.
    job.items = true;
    if (!scan)
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            job.keep[row] = m_window->keptItems(row);
    m_diskRun = run;
    startWork([this, scan, job = std::move(job)] { scan ? checkDisk(job) : cleanDisk(job); });
}

void AppDelegate::postRowSize(std::size_t row, std::uint64_t bytes)
{
    post([this, row, bytes] { m_window->showRowSize(row, bytes); });
}

// Shows each row's size as it comes. A row that the walk could not cover
// whole (the process short of descriptors or memory) shows its bare label,
// not a figure that is too low, and the run's report says so.
JunkJob::RowDone AppDelegate::rowShower(bool& unmeasured)
{
    return [this, &unmeasured](std::size_t row, const RowSize& size) {
        unmeasured = unmeasured || !size.complete;
        postRowSize(row, size.complete ? size.bytes : 0);
        post([this, row, place = size.place, target = size.linkTarget] { m_window->showRowPlace(row, place, target); });
        // What is inside, once for both threads: a row that was not walked
        // whole lists nothing.
        auto inside = std::make_shared<RowSize>();
        if (size.complete) {
            inside->bytes = size.bytes;
            inside->allocated = size.allocated;
            inside->items = size.items;
            inside->trashInfo = size.trashInfo;
        }
        post([this, row, inside = std::shared_ptr<const RowSize>(std::move(inside))] {
            m_window->showRowItems(row, *inside);
        });
    };
}

void AppDelegate::checkDisk(const JunkJob& job)
{
    bool unmeasured = false;
    // Quitting: the rest is neither measured nor shown.
    if (!job.scan(rowShower(unmeasured)))
        return;
    post([this] { finishScan(); });
    if (unmeasured)
        post([this, text = m_strings->text("Rows Unmeasured")] { m_tray.report(text); });
}

void AppDelegate::finishScan()
{
    m_window->stopDiskProgress();
    m_window->enableCheckItem();
    // The scan inside a clean does not end the clean.
    if (m_diskRun == DiskRun::Scan)
        m_diskRun = DiskRun::None;
}

void AppDelegate::cleanDisk(const JunkJob& job)
{
    // The scan inside the clean shows what is left; a quit stops the
    // removal before its next entry and nothing after it is shown.
    bool unmeasured = false;
    const std::optional<CleanOutcome> outcome = job.clean(rowShower(unmeasured));
    if (!outcome)
        return;
    post([this] { finishScan(); });
    post([this, figures = outcome->volumeAfter] {
        m_window->showDisk(figures);
        // The folder granted now, which a grant during the clean may have
        // changed.
        m_window->showFolderVolume(folderVolume());
    });
    post([this] { finishClean(); });
    QString text = QString::fromStdString(cleanReport(m_lookup, outcome->space));
    // Each row that was not removed whole, and why.
    if (const std::string rows = cleanRowsReport(m_lookup, *outcome); !rows.empty())
        text += QLatin1Char('\n') + QString::fromStdString(rows);
    if (outcome->incomplete != 0)
        text += QLatin1Char('\n') + m_strings->text("Clean Short");
    if (unmeasured)
        text += QLatin1Char('\n') + m_strings->text("Rows Unmeasured");
    post([this, text] { m_tray.report(text); });
}

void AppDelegate::finishClean()
{
    m_window->stopDiskProgress();
    m_diskRun = DiskRun::None;
}

// ---------------------------------------------------------------------------
// Release

void AppDelegate::releaseAction()
{
    if (stopping())
        return;
    // releaseItem stays enabled while a release runs; one tool at a time.
    if (m_releaseRunning) {
        refuseBusyRequest();
        return;
    }
    m_tray.unhideApplication();
    m_window->bringLastTabForward();
    m_window->startReleaseProgress();
    m_releaseRunning = true;
    startWork([this] { releaseMem(); });
}

void AppDelegate::releaseMem()
{
    // Not shown: only the report compares it with the sample after.
    const MemoryFigures before = measureMemory();
    // Waits for the tool however long it takes; a tool that cannot be
    // started returns -1 at once and the release ends all the same.
    const int status = purgeRAM();
    if (stopping())
        return;
    // Sampled only now that the tool has ended.
    const MemoryFigures figures = measureMemory();
    post([this, figures] { m_window->showMemory(figures); });
    post([this] { finishRelease(); });
    const QString text = QString::fromStdString(releaseReport(m_lookup, status, before, figures));
    post([this, text] { m_tray.report(text); });
}

void AppDelegate::finishRelease()
{
    m_window->stopReleaseProgress();
    m_releaseRunning = false;
}

// ---------------------------------------------------------------------------
// Between the threads, and stopping

void AppDelegate::startWork(std::function<void()> work)
{
    const std::lock_guard lock(handOverLock());
    m_workers.start([work = std::move(work)] {
        passHandOver();
        work();
        passHandOver();
    });
}

void AppDelegate::post(std::function<void()> change)
{
    // Qt delivers the calls queued from one thread to one object in the
    // order they were queued, and drops those still queued when the object
    // goes; the destructor waits for the work before that, so `this` is
    // there for as long as anything can post.
    const std::lock_guard lock(handOverLock());
    QMetaObject::invokeMethod(
        this,
        [this, change = std::move(change)] {
            passHandOver();
            if (!stopping())
                change();
        },
        Qt::QueuedConnection);
}

void AppDelegate::stopWork()
{
    m_stopping.store(true, std::memory_order_release);
}

} // namespace headroom
