// The controller's memory display: the four gauges of the Memory tab and the
// two memory lines of the menu, all from one sample.
#include "app/AppDelegate.h"

#include "memory/MemoryText.h"

#include "ui_MainWindow.h"

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
        gauges[i].first->setTitle(QString::fromStdString(memoryBoxTitle(lookup_, category)));
        gauges[i].second->setValue(category.percent);
    }
    ui_->releaseButton->setText(L("Release"));
    ui_->memoryStatusItem1->setText(QString::fromStdString(memoryStatusLine1(lookup_, figures)));
    ui_->memoryStatusItem2->setText(QString::fromStdString(memoryStatusLine2(lookup_, figures)));
}

} // namespace headroom
