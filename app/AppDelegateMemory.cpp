// The controller's memory side: the four gauges of the Memory tab and the
// two memory lines of the menu, all from one sample, and the release.
#include "app/AppDelegate.h"

#include "core/MemoryText.h"
#include "core/PurgeTool.h"

#include "ui_MainWindow.h"

#include <system_error>
#include <utility>

namespace headroom {

void AppDelegate::updateMemUI()
{
    showMemory(measureMemory());
}

MemoryFigures AppDelegate::measureMemory() const
{
    return memoryFigures(figures_.vmStat());
}

void AppDelegate::showMemory(const MemoryFigures& figures)
{
    // Same order as figures.categories: free, wired, active, inactive.
    const std::array<std::pair<QGroupBox*, QProgressBar*>, 4> gauges{{
        {ui_->freeMemLevelIndicatorBox, ui_->freeMemLevelIndicator},
        {ui_->wiredMemLevelIndicatorBox, ui_->wiredMemLevelIndicator},
        {ui_->activeMemLevelIndicatorBox, ui_->activeMemLevelIndicator},
        {ui_->inactiveMemLevelIndicatorBox, ui_->inactiveMemLevelIndicator},
    }};
    for (std::size_t i = 0; i < gauges.size(); ++i) {
        const MemoryCategory& category = figures.categories[i];
        const QString title = QString::fromStdString(memoryBoxTitle(lookup_, category));
        gauges[i].first->setTitle(title);
        gauges[i].second->setValue(category.percent);
        gauges[i].second->setAccessibleName(title.simplified());
    }
    setTitle(ui_->releaseButton, L("Release"));
    ui_->memoryStatusItem1->setText(QString::fromStdString(memoryStatusLine1(lookup_, figures)));
    ui_->memoryStatusItem2->setText(QString::fromStdString(memoryStatusLine2(lookup_, figures)));
}

void AppDelegate::releaseAction(QObject* /*sender*/)
{
    if (stopping())
        return;
    // releaseItem stays enabled while a release runs; one tool at a time.
    if (releaseRunning_) {
        refuseBusyRequest("release");
        return;
    }
    if (applicationHidden_) {
        unhideApplication();
        trace(QStringLiteral("application.unhide"));
    }
    ui_->tabView->setCurrentIndex(ui_->tabView->count() - 1);
    trace(QStringLiteral("tab.last"));
    ui_->releaseMemProgressIndicator->setVisible(true);
    trace(QStringLiteral("releaseProgress.shown"));
    startAnimation(ui_->releaseMemProgressIndicator);
    trace(QStringLiteral("releaseProgress.start"));
    ui_->releaseMemProgressIndicatorBox->setVisible(true);
    trace(QStringLiteral("releaseProgressBox.shown"));
    ui_->releaseButton->setEnabled(false);
    trace(QStringLiteral("releaseButton.disabled"));

    // The previous release posted its last change before it ended the run,
    // so this join returns at once.
    if (releaseWorker_.joinable())
        releaseWorker_.join();
    releaseRunning_ = true;
    try {
        releaseWorker_ = std::thread([this] { releaseMem(nullptr); });
    } catch (const std::system_error&) {
        finishRelease();
    }
}

void AppDelegate::releaseMem(QObject* /*object*/)
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
    post([this, figures, status] {
        lastPurgeStatus_ = status;
        showMemory(figures);
        trace(QStringLiteral("memory.refresh"));
    });
    post([this] { finishRelease(); });
    const QString text = QString::fromStdString(releaseReport(lookup_, status, before, figures));
    post([this, text] { report(text); });
}

void AppDelegate::finishRelease()
{
    stopAnimation(ui_->releaseMemProgressIndicator);
    trace(QStringLiteral("releaseProgress.stop"));
    ui_->releaseMemProgressIndicator->setVisible(false);
    trace(QStringLiteral("releaseProgress.hidden"));
    ui_->releaseMemProgressIndicatorBox->setVisible(false);
    trace(QStringLiteral("releaseProgressBox.hidden"));
    ui_->releaseButton->setEnabled(true);
    trace(QStringLiteral("releaseButton.enabled"));
    releaseRunning_ = false;
}

} // namespace headroom
