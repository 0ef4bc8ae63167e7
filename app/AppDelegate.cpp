#include "app/AppDelegate.h"

#include "core/DiskText.h"
#include "core/PurgeTool.h"

#include <QFile>
#include <QMetaObject>
#include <QSystemTrayIcon>

#include <optional>
#include <system_error>
#include <utility>

namespace headroom {

namespace {

template <typename T>
T orDefault(T value, T fallback)
{
    return value ? std::move(value) : std::move(fallback);
}

SystemFigures withLiveFallbacks(SystemFigures figures)
{
    SystemFigures live = SystemFigures::live();
    return {orDefault(std::move(figures.diskTotal), std::move(live.diskTotal)),
            orDefault(std::move(figures.diskAvailable), std::move(live.diskAvailable)),
            orDefault(std::move(figures.vmStat), std::move(live.vmStat))};
}

} // namespace

AppEnvironment AppEnvironment::live()
{
    AppEnvironment environment;
    environment.strings = StringTable::forSystemLocale();
    environment.prompter = std::make_unique<DialogPrompter>();
    environment.figures = SystemFigures::live();
    environment.trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
    // trayWatch stays empty: the controller makes the live one, and a
    // caller that wants only the strings connects to no bus.
    return environment;
}

AppDelegate::AppDelegate(AppEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_strings(orDefault(std::move(environment.strings), StringTable::empty()))
    , m_lookup(StringTable::lookup(m_strings))
    , m_prompter(orDefault<std::unique_ptr<Prompter>>(std::move(environment.prompter), std::make_unique<DialogPrompter>()))
    , m_figures(withLiveFallbacks(std::move(environment.figures)))
    , m_uiTrace(std::move(environment.uiTrace))
    , m_beforeJunkRow(std::move(environment.beforeJunkRow))
    , m_window(std::make_unique<MainWindow>(m_strings, m_uiTrace))
    , m_tray(m_window.get(),
             orDefault<std::function<bool()>>(std::move(environment.trayAvailable), &QSystemTrayIcon::isSystemTrayAvailable),
             environment.trayWatch ? std::move(environment.trayWatch) : TrayWatch::live(), m_uiTrace, this)
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

    // Workers never touch a widget: each box's state is mirrored here, on
    // the main thread, and a worker reads the mirror when it reaches the row.
    for (std::size_t row = 0; row < m_boxStates.size(); ++row)
        m_boxStates[row].store(window->junkBoxState(row));
    connect(window, &MainWindow::junkBoxChanged, this,
            [this](std::size_t row, int state) { m_boxStates[row].store(state); });
}

AppDelegate::~AppDelegate()
{
    stopWork();
    joinWorkers();
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
    m_window->showDisk(measureDisk());
}

void AppDelegate::updateMemUI()
{
    m_window->showMemory(measureMemory());
}

DiskFigures AppDelegate::measureDisk() const
{
    const std::optional<std::int64_t> free = m_figures.diskAvailable();
    return {m_figures.diskTotal().value_or(0), free.value_or(0), free.has_value()};
}

MemoryFigures AppDelegate::measureMemory() const
{
    return memoryFigures(m_figures.vmStat());
}

void AppDelegate::needUserAuthorize()
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

void AppDelegate::trace(const QString& step) const
{
    if (m_uiTrace)
        m_uiTrace(step);
}

void AppDelegate::refuseBusyRequest(const char* what)
{
    // One run at a time: two runs over the same locations would interleave
    // their titles, the first to end would re-enable the controls while the
    // other still works, and a scan beside a removal would show half-removed
    // folders. The window already shows the spinner; the tray says why
    // nothing new happens.
    trace(QStringLiteral("refused.") + QLatin1String(what));
    m_tray.refuseBusy();
}

void AppDelegate::unhideForWork()
{
    if (m_tray.isApplicationHidden()) {
        m_tray.unhideApplication();
        trace(QStringLiteral("application.unhide"));
    }
}

// ---------------------------------------------------------------------------
// Check and Clean

void AppDelegate::askForPermission()
{
    // No work in this request, even when the grant below succeeds: the user
    // asks again.
    m_prompter->alert(m_window->L("Permission Alert"), m_window->L("Permission Info"));
    needUserAuthorize();
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
    if (stopping())
        return;
    if (!m_isAuthorized) {
        askForPermission();
        return;
    }
    const bool scan = run == DiskRun::Scan;
    if (m_diskRun != DiskRun::None) {
        refuseBusyRequest(scan ? "check" : "clean");
        return;
    }
    unhideForWork();
    m_window->bringDiskTabForward();
    m_window->startDiskProgress(scan);

    // The thread of the previous run has posted its last change already
    // (that is what ended the run), so this join returns at once.
    if (m_diskWorker.joinable())
        m_diskWorker.join();
    // Copied once: a grant made while the worker runs must not move it.
    m_diskFolders = m_folders;
    m_diskRun = run;
    try {
        m_diskWorker = std::thread([this, scan] { scan ? checkDisk() : cleanDisk(); });
    } catch (const std::system_error&) {
        // No thread to be had: end the request as a run with nothing found
        // would, so the controls come back.
        scan ? finishScan() : finishClean();
    }
}

// The job of a scan or a clean: the rows' folders as copied when the
// request started, each box as it is when the worker reaches its row.
JunkJob AppDelegate::diskJob()
{
    JunkJob job;
    job.folders = m_diskFolders;
    job.chosen = [this](std::size_t row) { return m_boxStates[row].load() == Qt::Checked; };
    job.volume = [this] { return measureDisk(); };
    job.cancel = &m_stopping;
    job.beforeRow = m_beforeJunkRow;
    return job;
}

void AppDelegate::postRowSize(std::size_t row, std::uint64_t bytes)
{
    post([this, row, bytes] { m_window->showRowSize(row, bytes); });
}

void AppDelegate::checkDisk()
{
    // Quitting: the rest is neither measured nor shown.
    if (diskJob().scan([this](std::size_t row, const RowSize& size) { postRowSize(row, size.bytes); }))
        post([this] { finishScan(); });
}

void AppDelegate::finishScan()
{
    m_window->stopDiskProgress();
    m_window->enableCheckItem();
    // The scan inside a clean does not end the clean.
    if (m_diskRun == DiskRun::Scan)
        m_diskRun = DiskRun::None;
}

void AppDelegate::cleanDisk()
{
    // The scan inside the clean shows what is left; a quit stops the
    // removal before its next entry and nothing after it is shown.
    const std::optional<CleanOutcome> outcome =
        diskJob().clean([this](std::size_t row, const RowSize& size) { postRowSize(row, size.bytes); });
    if (!outcome)
        return;
    post([this] { finishScan(); });
    const DiskFigures figures = outcome->volumeAfter;
    post([this, figures] {
        m_window->showDisk(figures);
        trace(QStringLiteral("disk.refresh"));
    });
    post([this] { finishClean(); });
    const QString text = QString::fromStdString(cleanReport(m_lookup, outcome->space));
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
        refuseBusyRequest("release");
        return;
    }
    unhideForWork();
    m_window->bringLastTabForward();
    m_window->startReleaseProgress();

    // The previous release posted its last change before it ended the run,
    // so this join returns at once.
    if (m_releaseWorker.joinable())
        m_releaseWorker.join();
    m_releaseRunning = true;
    try {
        m_releaseWorker = std::thread([this] { releaseMem(); });
    } catch (const std::system_error&) {
        finishRelease();
    }
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
    post([this, figures] {
        m_window->showMemory(figures);
        trace(QStringLiteral("memory.refresh"));
    });
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
// Posting to the main thread, and stopping

void AppDelegate::post(std::function<void()> change)
{
    // Under the lock, so that no worker can post once stopWork() has
    // returned: from then on the destructor may run at any moment.
    const std::lock_guard lock(m_postMutex);
    if (stopping())
        return;
    const bool wake = m_posted.empty();
    m_posted.push_back(std::move(change));
    // One wake-up covers everything queued until it runs: runPosted()
    // goes on until the queue is empty.
    if (wake)
        QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
}

void AppDelegate::runPosted()
{
    for (;;) {
        std::function<void()> change;
        {
            const std::lock_guard lock(m_postMutex);
            if (m_posted.empty() || stopping())
                return;
            change = std::move(m_posted.front());
            m_posted.pop_front();
        }
        change();
    }
}

void AppDelegate::stopWork()
{
    const std::lock_guard lock(m_postMutex);
    m_stopping.store(true, std::memory_order_release);
}

void AppDelegate::joinWorkers()
{
    for (std::thread* worker : {&m_diskWorker, &m_releaseWorker}) {
        if (worker->joinable())
            worker->join();
    }
}

} // namespace headroom
