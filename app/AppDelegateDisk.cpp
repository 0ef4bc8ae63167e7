// The controller's disk side: the figures of the Disk tab and the disk line
// of the menu, the junk scan and the junk clean.
#include "app/AppDelegate.h"

#include "core/DiskText.h"
#include "core/JunkJob.h"
#include "core/JunkLocations.h"
#include "core/SizeText.h"

#include "ui_MainWindow.h"

#include <QFile>

#include <system_error>


namespace headroom {

namespace {

QString sizeText(std::int64_t bytes)
{
    return QString::fromStdString(convertBytes(bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes)));
}

QString rowStep(const char* prefix, std::size_t row)
{
    const std::string_view name = junkTable()[row].row;
    return QLatin1String(prefix) + QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
}

// "Total 465.76 GB": the caption and the figure beside it, for screen
// readers, which would otherwise read the figure alone.
QString captioned(const QString& caption, const QString& value)
{
    return caption.trimmed() + QLatin1Char(' ') + value;
}

} // namespace

void AppDelegate::updateDiskUI()
{
    showDisk(measureDisk());
}

DiskFigures AppDelegate::measureDisk() const
{
    const std::optional<std::int64_t> free = figures_.diskAvailable();
    return {figures_.diskTotal().value_or(0), free.value_or(0), free.has_value()};
}

void AppDelegate::showDisk(const DiskFigures& figures)
{
    ui_->totalLabel->setText(L("Total"));
    ui_->freeLabel->setText(L("FreeDisk"));
    ui_->diskTotalSize->setText(sizeText(figures.total));
    ui_->diskTotalSize->setAccessibleName(captioned(L("Total"), ui_->diskTotalSize->text()));
    ui_->diskFreeSize->setText(sizeText(figures.free));
    ui_->diskFreeSize->setAccessibleName(captioned(L("FreeDisk"), ui_->diskFreeSize->text()));

    // An unreadable volume (total 0) is never divided by: it shows 0 %.
    const DiskPercentages percent = diskPercentages(figures.total, figures.free);
    ui_->diskLevelIndicatorBox->setTitle(QString::fromStdString(diskGaugeTitle(percent.used)));
    ui_->diskLevelIndicator->setValue(percent.used);
    ui_->diskLevelIndicator->setAccessibleName(
        QString::fromStdString(diskGaugeAccessibleName(lookup_, percent.used)));

    // Bare labels: a refresh takes away the sizes an earlier scan put there.
    const JunkTable& table = junkTable();
    const auto boxes = junkCheckBoxes();
    for (std::size_t row = 0; row < table.size(); ++row)
        setTitle(boxes[row], L(table[row].labelKey));

    setTitle(ui_->checkButton, L("Check"));
    setTitle(ui_->cleanButton, L("Clean"));
    ui_->diskStatusItem->setText(QString::fromStdString(diskStatusLine(lookup_, figures.total, figures.free)));
}

void AppDelegate::askForPermission(QObject* sender)
{
    // No work in this request, even when the grant below succeeds: the user
    // asks again.
    prompter_->alert(L("Permission Alert"), L("Permission Info"));
    needUserAuthorize(sender);
}

void AppDelegate::bringDiskTabForward()
{
    if (applicationHidden_) {
        unhideApplication();
        trace(QStringLiteral("application.unhide"));
    }
    const bool wasVisible = window_->isVisible();
    activateApplication();
    trace(QStringLiteral("application.activate"));
    window_->show();
    window_->raise();
    // A window manager ignores activating an unmapped window: ask again now
    // that it is mapped.
    if (!wasVisible)
        activateApplication();
    trace(QStringLiteral("window.front"));
    ui_->tabView->setCurrentIndex(0);
    trace(QStringLiteral("tab.first"));
}

void AppDelegate::checkAction(QObject* sender)
{
    requestDiskWork(sender, DiskRun::Scan);
}

void AppDelegate::cleanAction(QObject* sender)
{
    requestDiskWork(sender, DiskRun::Clean);
}

// A scan and a clean start the same way; only the scan also disables the
// menu's Check item.
void AppDelegate::requestDiskWork(QObject* sender, DiskRun run)
{
    if (stopping())
        return;
    if (!isAuthorized_) {
        askForPermission(sender);
        return;
    }
    const bool scan = run == DiskRun::Scan;
    if (diskRun_ != DiskRun::None) {
        refuseBusyRequest(scan ? "check" : "clean");
        return;
    }
    bringDiskTabForward();
    startAnimation(ui_->progressIndicator);
    trace(QStringLiteral("progress.start"));
    ui_->progressIndicatorBox->setVisible(true);
    trace(QStringLiteral("progressBox.shown"));
    ui_->checkButton->setEnabled(false);
    trace(QStringLiteral("checkButton.disabled"));
    ui_->cleanButton->setEnabled(false);
    trace(QStringLiteral("cleanButton.disabled"));
    if (scan) {
        ui_->checkItem->setEnabled(false);
        trace(QStringLiteral("checkItem.disabled"));
    }
    startDiskWork(run, scan ? &AppDelegate::checkDisk : &AppDelegate::cleanDisk);
}

void AppDelegate::startDiskWork(DiskRun run, void (AppDelegate::*body)(QObject*))
{
    // The thread of the previous run has posted its last change already
    // (that is what ended the run), so this join returns at once.
    if (diskWorker_.joinable())
        diskWorker_.join();
    // Copied once: a grant made while the worker runs must not move it.
    diskWorkDir_ = QFile::encodeName(userDir_).toStdString();
    diskRun_ = run;
    try {
        diskWorker_ = std::thread([this, body] { (this->*body)(nullptr); });
    } catch (const std::system_error&) {
        // No thread to be had: end the request as a run with nothing found
        // would, so the controls come back.
        if (run == DiskRun::Scan)
            finishScan();
        else
            finishClean();
    }
}

// The job of a scan or a clean: the granted folder as copied when the
// request started, each box as it is when the worker reaches its row.
JunkJob AppDelegate::diskJob()
{
    JunkJob job;
    job.base = diskWorkDir_;
    job.chosen = [this](std::size_t row) { return boxStates_[row].load() == Qt::Checked; };
    job.volume = [this] { return measureDisk(); };
    job.cancel = &stopping_;
    job.beforeRow = beforeJunkRow_;
    return job;
}

// Posts each row's new title as the job measures it.
void AppDelegate::postRowTitle(std::size_t row, std::uint64_t bytes)
{
    const QString title = QString::fromStdString(junkCheckBoxTitle(lookup_, junkTable()[row].labelKey, bytes));
    post([this, row, title] {
        setTitle(junkCheckBoxes()[row], title);
        trace(rowStep("title.", row));
    });
}

void AppDelegate::checkDisk(QObject* /*object*/)
{
    // Quitting: the rest is neither measured nor shown.
    if (diskJob().scan([this](std::size_t row, std::uint64_t bytes) { postRowTitle(row, bytes); }))
        post([this] { finishScan(); });
}

// The closing steps a scan and a clean share, in their order.
void AppDelegate::stopDiskProgress()
{
    stopAnimation(ui_->progressIndicator);
    trace(QStringLiteral("progress.stop"));
    ui_->progressIndicatorBox->setVisible(false);
    trace(QStringLiteral("progressBox.hidden"));
    ui_->checkButton->setEnabled(true);
    trace(QStringLiteral("checkButton.enabled"));
    ui_->cleanButton->setEnabled(true);
    trace(QStringLiteral("cleanButton.enabled"));
}

void AppDelegate::finishScan()
{
    stopDiskProgress();
    ui_->checkItem->setEnabled(true);
    trace(QStringLiteral("checkItem.enabled"));
    // The scan inside a clean does not end the clean.
    if (diskRun_ == DiskRun::Scan)
        diskRun_ = DiskRun::None;
}

void AppDelegate::cleanDisk(QObject* /*object*/)
{
    // The scan inside the clean shows what is left; a quit stops the
    // removal before its next entry and nothing after it is shown.
    const std::optional<CleanOutcome> outcome =
        diskJob().clean([this](std::size_t row, std::uint64_t bytes) { postRowTitle(row, bytes); });
    if (!outcome)
        return;
    post([this] { finishScan(); });
    const DiskFigures figures = outcome->volumeAfter;
    post([this, figures] {
        showDisk(figures);
        trace(QStringLiteral("disk.refresh"));
    });
    post([this] { finishClean(); });
    const QString text = QString::fromStdString(cleanReport(lookup_, outcome->space));
    post([this, text] { report(text); });
}

void AppDelegate::finishClean()
{
    stopDiskProgress();
    diskRun_ = DiskRun::None;
}

} // namespace headroom
