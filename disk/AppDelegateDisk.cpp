// The controller's disk overview: the figures of the Disk tab and the disk
// line of the menu.
#include "app/AppDelegate.h"

#include "disk/DiskText.h"
#include "disk/JunkLocations.h"
#include "tools/MiscTool.h"

#include "ui_MainWindow.h"

namespace headroom {

namespace {

QString sizeText(std::int64_t bytes)
{
    return QString::fromStdString(MiscTool::convertBytes(bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes)));
}

} // namespace

void AppDelegate::updateDiskUI()
{
    showDisk(measureDisk());
}

DiskFigures AppDelegate::measureDisk() const
{
    return {figures_.diskTotal().value_or(0), figures_.diskAvailable().value_or(0)};
}

void AppDelegate::showDisk(const DiskFigures& figures)
{
    ui_->totalLabel->setText(L("Total"));
    ui_->freeLabel->setText(L("FreeDisk"));
    ui_->diskTotalSize->setText(sizeText(figures.total));
    ui_->diskFreeSize->setText(sizeText(figures.free));

    // An unreadable volume (total 0) is never divided by: it shows 0 %.
    const DiskPercentages percent = diskPercentages(figures.total, figures.free);
    ui_->diskLevelIndicatorBox->setTitle(QString::fromStdString(diskGaugeTitle(percent.used)));
    ui_->diskLevelIndicator->setValue(percent.used);

    // Bare labels: a refresh takes away the sizes an earlier scan put there.
    const JunkTable& table = junkTable();
    const auto boxes = junkCheckBoxes();
    for (std::size_t row = 0; row < table.size(); ++row)
        boxes[row]->setText(L(table[row].labelKey));

    ui_->checkButton->setText(L("Check"));
    ui_->cleanButton->setText(L("Clean"));
    ui_->diskStatusItem->setText(QString::fromStdString(diskStatusLine(lookup_, figures.total, figures.free)));
}

} // namespace headroom
