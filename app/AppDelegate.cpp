#include "app/AppDelegate.h"

#include "ui_MainWindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMetaObject>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include <system_error>

// Outside any namespace, as Q_INIT_RESOURCE requires; the images live in a
// static library, so nothing would register them otherwise.
static void initImageResources()
{
    Q_INIT_RESOURCE(headroom);
}

namespace headroom {

namespace {

QIcon trayIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/Disk20.png"), QSize(20, 20));
    icon.addFile(QStringLiteral(":/Disk20@2x.png"), QSize(40, 40));
    return icon;
}

// The installed theme icon where there is one (every size the package
// installs), else the tray image in both sizes, so a 2x scale gets 40 px.
QIcon applicationIcon()
{
    return QIcon::fromTheme(QStringLiteral("headroom"), trayIcon());
}

// "&Check Junk" reads "Check Junk".
QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text.trimmed();
}

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
    return environment;
}

AppDelegate::AppDelegate(AppEnvironment environment, QObject* parent)
    : QObject(parent)
    , strings_(orDefault(std::move(environment.strings), StringTable::empty()))
    , lookup_(StringTable::lookup(strings_))
    , prompter_(orDefault<std::unique_ptr<Prompter>>(std::move(environment.prompter), std::make_unique<DialogPrompter>()))
    , figures_(withLiveFallbacks(std::move(environment.figures)))
    , trayAvailable_(orDefault<std::function<bool()>>(std::move(environment.trayAvailable), &QSystemTrayIcon::isSystemTrayAvailable))
    , uiTrace_(std::move(environment.uiTrace))
    , beforeJunkRow_(std::move(environment.beforeJunkRow))
    , ui_(std::make_unique<Ui::MainWindow>())
    , window_(std::make_unique<QMainWindow>())
{
    initImageResources();
    ui_->setupUi(window_.get());
    window_->setWindowIcon(applicationIcon());
    window_->installEventFilter(this);

    trayWatch_ = new QTimer(this);
    trayWatch_->setInterval(environment.trayPollMs);
    connect(trayWatch_, &QTimer::timeout, this, &AppDelegate::lookForTray);

    // Workers never touch a widget: each box's state is mirrored here, on
    // the main thread, and a worker reads the mirror when it reaches the row.
    const auto boxes = junkCheckBoxes();
    for (std::size_t row = 0; row < boxes.size(); ++row) {
        boxStates_[row].store(boxes[row]->checkState());
        connect(boxes[row], &QCheckBox::stateChanged, this,
                [this, row](int state) { boxStates_[row].store(state); });
    }

    connectCommands();
    labelForAccessibility();
}

AppDelegate::~AppDelegate()
{
    stopWork();
    joinWorkers();
}

QString AppDelegate::L(std::string_view key) const
{
    return strings_->text(key);
}

void AppDelegate::connectCommands()
{
    connect(ui_->authorizeItem, &QAction::triggered, this, [this] { needUserAuthorize(ui_->authorizeItem); });
    connect(ui_->checkItem, &QAction::triggered, this, [this] { checkAction(ui_->checkItem); });
    connect(ui_->checkButton, &QPushButton::clicked, this, [this] { checkAction(ui_->checkButton); });
    connect(ui_->cleanItem, &QAction::triggered, this, [this] { cleanAction(ui_->cleanItem); });
    connect(ui_->cleanButton, &QPushButton::clicked, this, [this] { cleanAction(ui_->cleanButton); });
    connect(ui_->releaseItem, &QAction::triggered, this, [this] { releaseAction(ui_->releaseItem); });
    connect(ui_->releaseButton, &QPushButton::clicked, this, [this] { releaseAction(ui_->releaseButton); });
    // The summary lines open the window with the details behind them.
    for (QAction* item : {ui_->showItem, ui_->authorizeStatusItem, ui_->diskStatusItem, ui_->memoryStatusItem1,
                          ui_->memoryStatusItem2})
        connect(item, &QAction::triggered, this, [this, item] { showAction(item); });
    connect(ui_->hideItem, &QAction::triggered, this, &AppDelegate::hideApplication);
    connect(ui_->aboutItem, &QAction::triggered, this, [this] { aboutAction(ui_->aboutItem); });
    connect(ui_->exitItem, &QAction::triggered, this, &AppDelegate::requestQuit);
}

// The spinners carry no text of their own; name them after the work they
// show. The gauges, figures and check boxes are named with their values by
// each refresh (showDisk, showMemory).
void AppDelegate::labelForAccessibility()
{
    ui_->progressIndicator->setAccessibleName(withoutMnemonic(L("Check")));
    ui_->releaseMemProgressIndicator->setAccessibleName(withoutMnemonic(L("Release")));
}

void AppDelegate::setTitle(QAbstractButton* button, const QString& title)
{
    button->setText(title);
    button->setAccessibleName(withoutMnemonic(title));
}

void AppDelegate::applicationDidFinishLaunching()
{
    statusItem_ = std::make_unique<QSystemTrayIcon>(trayIcon());
    statusItem_->setToolTip(QStringLiteral("Headroom"));
    statusItem_->setContextMenu(ui_->statusMenu);
    // A left click opens the same menu as a right click.
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            ui_->statusMenu->popup(QCursor::pos());
    });
    inTray_ = trayAvailable_();
    statusItem_->setVisible(inTray_);

    ui_->authorizeItem->setText(L("Authorize"));
    ui_->diskItem->setText(L("Disk"));
    ui_->checkItem->setText(L("Check"));
    ui_->cleanItem->setText(L("Clean"));
    ui_->memoryItem->setText(L("Memory"));
    ui_->releaseItem->setText(L("Release"));
    ui_->showItem->setText(L("Show"));
    ui_->hideItem->setText(L("Hide"));
    ui_->aboutItem->setText(L("About"));
    ui_->exitItem->setText(L("Quit"));

    updateUI();
    needUserAuthorize(nullptr);
    ui_->tabView->removeTab(1); // the page and its gauges stay alive, off screen

    // Without a tray the window is the way in; keep looking for a tray
    // coming (a panel that starts after us) or going.
    trayAvailabilityChanged(inTray_);
    trayWatch_->start();
}

void AppDelegate::updateUI()
{
    ui_->tabView->setTabText(0, L("Disk"));
    ui_->tabView->setTabText(1, L("Memory"));
    updateDiskUI();
    updateMemUI();
}

void AppDelegate::needUserAuthorize(QObject* /*sender*/)
{
    prompter_->alert(L("Authorization"), L("Authorization Need"));
    if (const std::optional<QString> folder = prompter_->chooseFolder()) {
        setUserDir(*folder);
        setIsAuthorized(true);
        ui_->authorizeStatusItem->setText(L("Authorized") + userDir_);
    } else {
        setIsAuthorized(false);
        ui_->authorizeStatusItem->setText(L("Not Authorized"));
    }
}

void AppDelegate::showAction(QObject* /*sender*/)
{
    unhideApplication();
    window_->show();
    window_->raise();
    // After show(): window managers ignore activating an unmapped window.
    activateApplication();
}

void AppDelegate::activateApplication()
{
    window_->activateWindow();
}

void AppDelegate::aboutAction(QObject* /*sender*/)
{
    const QString text = QStringLiteral("Headroom %1\n\n").arg(QStringLiteral(HEADROOM_VERSION)) + L("About Text")
        + QStringLiteral("\n\n") + L("Licence") + QStringLiteral(HEADROOM_LICENCE);
    prompter_->about(L("About"), text);
}

void AppDelegate::hideApplication()
{
    // Without a tray nothing could bring the window back.
    if (!inTray_)
        return;
    if (!applicationHidden_) {
        applicationHidden_ = true;
        windowShownBeforeHide_ = window_->isVisible();
    }
    window_->hide();
}

void AppDelegate::unhideApplication()
{
    if (!applicationHidden_)
        return;
    applicationHidden_ = false;
    if (windowShownBeforeHide_)
        window_->show();
}

void AppDelegate::lookForTray()
{
    const bool available = trayAvailable_();
    if (available != inTray_)
        trayAvailabilityChanged(available);
}

void AppDelegate::trayAvailabilityChanged(bool available)
{
    inTray_ = available;
    statusItem_->setVisible(available);
    ui_->hideItem->setVisible(available); // nothing could bring the window back
    ui_->noTrayHintLabel->setText(L("No Tray Hint"));
    ui_->noTrayHintLabel->setVisible(!available);
    if (!available) {
        unhideApplication();
        window_->show();
    }
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // Closing the window only hides it while the tray icon is there to come
    // back through; without one it would leave an unreachable process.
    if (watched == window_.get() && event->type() == QEvent::Close && statusItem_ && !inTray_)
        requestQuit();
    return QObject::eventFilter(watched, event);
}

void AppDelegate::post(std::function<void()> change)
{
    // Under the lock, so that no worker can post once stopWork() has
    // returned: from then on the destructor may run at any moment.
    const std::lock_guard lock(postMutex_);
    if (stopping())
        return;
    const bool wake = posted_.empty();
    posted_.push_back(std::move(change));
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
            const std::lock_guard lock(postMutex_);
            if (posted_.empty() || stopping())
                return;
            change = std::move(posted_.front());
            posted_.pop_front();
        }
        change();
    }
}

void AppDelegate::trace(const QString& step) const
{
    if (uiTrace_)
        uiTrace_(step);
}

void AppDelegate::startAnimation(QProgressBar* indicator)
{
    indicator->setRange(0, 0);
}

void AppDelegate::stopAnimation(QProgressBar* indicator)
{
    indicator->setRange(0, 1);
    indicator->reset();
}

void AppDelegate::refuseBusyRequest(const char* what)
{
    // One run at a time: two runs over the same locations would interleave
    // their titles, the first to end would re-enable the controls while the
    // other still works, and a scan beside a removal would show half-removed
    // folders. The window already shows the spinner; the tray says why
    // nothing new happens.
    trace(QStringLiteral("refused.") + QLatin1String(what));
    if (statusItem_ && inTray_ && QSystemTrayIcon::supportsMessages())
        statusItem_->showMessage(QStringLiteral("Headroom"), L("Busy"), QSystemTrayIcon::Information, 4000);
}

void AppDelegate::report(const QString& text)
{
    lastReport_ = text;
    if (statusItem_ && inTray_ && QSystemTrayIcon::supportsMessages()) {
        ui_->reportLabel->setVisible(false);
        statusItem_->showMessage(QStringLiteral("Headroom"), text, QSystemTrayIcon::Information, 10000);
    } else {
        ui_->reportLabel->setText(text);
        ui_->reportLabel->setVisible(true);
    }
    trace(QStringLiteral("notify"));
}

void AppDelegate::requestQuit()
{
    stopWork();
    // Gone from the screen at once, even if a worker takes a moment to stop.
    window_->hide();
    if (statusItem_)
        statusItem_->hide();
    trayWatch_->stop();
    emit quitRequested();
}

void AppDelegate::stopWork()
{
    const std::lock_guard lock(postMutex_);
    stopping_.store(true, std::memory_order_release);
}

void AppDelegate::joinWorkers()
{
    for (std::thread* worker : {&diskWorker_, &releaseWorker_}) {
        if (worker->joinable())
            worker->join();
    }
}

std::array<QCheckBox*, kJunkRowCount> AppDelegate::junkCheckBoxes() const
{
    return {ui_->cachesCheckBox, ui_->logsCheckBox, ui_->downloadsCheckBox, ui_->mailDownloadCheckBox,
            ui_->trashCheckBox};
}

QMenu* AppDelegate::statusMenu() const { return ui_->statusMenu; }
QAction* AppDelegate::authorizeStatusItem() const { return ui_->authorizeStatusItem; }
QAction* AppDelegate::authorizeItem() const { return ui_->authorizeItem; }
QAction* AppDelegate::diskItem() const { return ui_->diskItem; }
QAction* AppDelegate::diskStatusItem() const { return ui_->diskStatusItem; }
QAction* AppDelegate::checkItem() const { return ui_->checkItem; }
QAction* AppDelegate::cleanItem() const { return ui_->cleanItem; }
QAction* AppDelegate::memoryItem() const { return ui_->memoryItem; }
QAction* AppDelegate::memoryStatusItem2() const { return ui_->memoryStatusItem2; }
QAction* AppDelegate::memoryStatusItem1() const { return ui_->memoryStatusItem1; }
QAction* AppDelegate::releaseItem() const { return ui_->releaseItem; }
QAction* AppDelegate::showItem() const { return ui_->showItem; }
QAction* AppDelegate::hideItem() const { return ui_->hideItem; }
QAction* AppDelegate::aboutItem() const { return ui_->aboutItem; }
QAction* AppDelegate::exitItem() const { return ui_->exitItem; }
QTabWidget* AppDelegate::tabView() const { return ui_->tabView; }
QLabel* AppDelegate::totalLabel() const { return ui_->totalLabel; }
QLabel* AppDelegate::freeLabel() const { return ui_->freeLabel; }
QLabel* AppDelegate::diskTotalSize() const { return ui_->diskTotalSize; }
QLabel* AppDelegate::diskFreeSize() const { return ui_->diskFreeSize; }
QGroupBox* AppDelegate::diskLevelIndicatorBox() const { return ui_->diskLevelIndicatorBox; }
QProgressBar* AppDelegate::diskLevelIndicator() const { return ui_->diskLevelIndicator; }
QCheckBox* AppDelegate::cachesCheckBox() const { return ui_->cachesCheckBox; }
QCheckBox* AppDelegate::logsCheckBox() const { return ui_->logsCheckBox; }
QCheckBox* AppDelegate::downloadsCheckBox() const { return ui_->downloadsCheckBox; }
QCheckBox* AppDelegate::mailDownloadCheckBox() const { return ui_->mailDownloadCheckBox; }
QCheckBox* AppDelegate::trashCheckBox() const { return ui_->trashCheckBox; }
QPushButton* AppDelegate::checkButton() const { return ui_->checkButton; }
QPushButton* AppDelegate::cleanButton() const { return ui_->cleanButton; }
QGroupBox* AppDelegate::progressIndicatorBox() const { return ui_->progressIndicatorBox; }
QProgressBar* AppDelegate::progressIndicator() const { return ui_->progressIndicator; }
QGroupBox* AppDelegate::freeMemLevelIndicatorBox() const { return ui_->freeMemLevelIndicatorBox; }
QProgressBar* AppDelegate::freeMemLevelIndicator() const { return ui_->freeMemLevelIndicator; }
QGroupBox* AppDelegate::wiredMemLevelIndicatorBox() const { return ui_->wiredMemLevelIndicatorBox; }
QProgressBar* AppDelegate::wiredMemLevelIndicator() const { return ui_->wiredMemLevelIndicator; }
QGroupBox* AppDelegate::activeMemLevelIndicatorBox() const { return ui_->activeMemLevelIndicatorBox; }
QProgressBar* AppDelegate::activeMemLevelIndicator() const { return ui_->activeMemLevelIndicator; }
QGroupBox* AppDelegate::inactiveMemLevelIndicatorBox() const { return ui_->inactiveMemLevelIndicatorBox; }
QProgressBar* AppDelegate::inactiveMemLevelIndicator() const { return ui_->inactiveMemLevelIndicator; }
QPushButton* AppDelegate::releaseButton() const { return ui_->releaseButton; }
QGroupBox* AppDelegate::releaseMemProgressIndicatorBox() const { return ui_->releaseMemProgressIndicatorBox; }
QProgressBar* AppDelegate::releaseMemProgressIndicator() const { return ui_->releaseMemProgressIndicator; }
QLabel* AppDelegate::noTrayHintLabel() const { return ui_->noTrayHintLabel; }
QLabel* AppDelegate::reportLabel() const { return ui_->reportLabel; }

} // namespace headroom
