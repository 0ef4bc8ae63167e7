#include "app/MainWindow.h"

#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/SizeText.h"

#include "ui_MainWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLocale>
#include <QMetaObject>
#include <QResizeEvent>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <utility>

// Outside any namespace, as Q_INIT_RESOURCE requires; the images live in a
// static library, so nothing would register them otherwise.
static void initImageResources()
{
    Q_INIT_RESOURCE(headroom);
}

namespace headroom {

namespace {

// "&Check Junk" reads "Check Junk".
QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text.trimmed();
}

// Sets a title and the name screen readers read for it.
void setTitle(QAbstractButton* button, const QString& title)
{
    button->setText(title);
    button->setAccessibleName(withoutMnemonic(title));
}

QString sizeText(std::int64_t bytes)
{
    return QString::fromStdString(convertBytes(bytes < 0 ? 0 : static_cast<std::uint64_t>(bytes)));
}

// "Total 465.76 GB": the caption and the figure beside it, for screen
// readers, which would otherwise read the figure alone.
QString captioned(const QString& caption, const QString& value)
{
    return caption.trimmed() + QLatin1Char(' ') + value;
}

// The progress indicators are busy bars: an empty range spins.
void startAnimation(QProgressBar* indicator)
{
    indicator->setRange(0, 0);
}

void stopAnimation(QProgressBar* indicator)
{
    indicator->setRange(0, 1);
    indicator->reset();
}

// Where the space on disk is worth showing beside the size: one is over a
// quarter more than the other, and they are at least 1 MB apart (a
// folder of small files, or a sparse or compressed file).
bool differsNotably(std::uint64_t bytes, std::uint64_t allocated)
{
    const std::uint64_t high = std::max(bytes, allocated), low = std::min(bytes, allocated);
    return high - low >= (std::uint64_t{1} << 20) && high - low > low / 4;
}

// An item's share of its row, in whole percent.
QString shareText(std::uint64_t bytes, std::uint64_t rowBytes, const QLocale& locale)
{
    const int percent = rowBytes == 0 ? 0 : qRound(100.0 * static_cast<double>(bytes) / static_cast<double>(rowBytes));
    return locale.toString(std::min(percent, 100)) + locale.percent();
}

// The columns of an items list.
enum ItemColumn { NameColumn, SizeColumn, OnDiskColumn, ShareColumn, ItemColumns };
// Where an item line keeps what the scan saw of it.
constexpr int kNameRole = Qt::UserRole, kDevRole = Qt::UserRole + 1, kInoRole = Qt::UserRole + 2;
// Lines an open list shows before it scrolls.
constexpr int kListLines = 10;

// The arrow that opens a row's items: as tall as the row's check box, so
// the rows stay evenly spaced.
class ItemsArrow : public QToolButton {
public:
    ItemsArrow(const QCheckBox* box, QWidget* parent) : QToolButton(parent), m_box(box) {}
    QSize sizeHint() const override { return {QToolButton::sizeHint().width(), m_box->sizeHint().height()}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    const QCheckBox* m_box;
};

// The check boxes in the order of the junk location table.
std::array<QCheckBox*, kJunkRowCount> junkCheckBoxes(const Ui::MainWindow& ui)
{
    return {ui.cachesCheckBox, ui.logsCheckBox, ui.downloadsCheckBox, ui.mailDownloadCheckBox, ui.trashCheckBox};
}

} // namespace

MainWindow::MainWindow(std::shared_ptr<const StringTable> strings, QWidget* parent)
    : QMainWindow(parent)
    , m_strings(std::move(strings))
    , m_lookup(StringTable::lookup(m_strings))
    , m_ui(std::make_unique<Ui::MainWindow>())
    , m_progressTimer(new QTimer(this))
{
    initImageResources();
    m_ui->setupUi(this);
    m_designSize = size();
    // The installed theme icon where there is one (every size the package
    // installs), else the disk image.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("headroom"), diskImage()));
    // The spinners carry no text of their own; name them after the work
    // they show. The gauges, figures and check boxes are named with their
    // values by each refresh.
    m_ui->progressIndicator->setAccessibleName(withoutMnemonic(L("Check")));
    m_ui->releaseMemProgressIndicator->setAccessibleName(withoutMnemonic(L("Release")));
    // The tray menu can be opened while the start-up grant is still being
    // asked for: its first line says so from the start.
    showGrant(std::nullopt);
    connectRequests();
    buildItemLists();
    // Four looks a second: the counts move without the window costing the
    // work anything it could notice.
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, &MainWindow::showProgress);
}

MainWindow::~MainWindow() = default;

QIcon MainWindow::diskImage()
{
    initImageResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/Disk20.png"), QSize(20, 20));
    icon.addFile(QStringLiteral(":/Disk20@2x.png"), QSize(40, 40));
    return icon;
}

QString MainWindow::L(std::string_view key) const
{
    return m_strings->text(key);
}

QMenu* MainWindow::statusMenu() const
{
    return m_ui->statusMenu;
}

QStringList MainWindow::summaryLines() const
{
    QStringList lines{m_ui->diskStatusItem->text()};
    if (m_ui->folderDiskStatusItem->isVisible())
        lines << m_ui->folderDiskStatusItem->text();
    return lines << m_ui->memoryStatusItem1->text() << m_ui->memoryStatusItem2->text();
}

void MainWindow::connectRequests()
{
    connect(m_ui->authorizeItem, &QAction::triggered, this, &MainWindow::authorizeRequested);
    connect(m_ui->checkItem, &QAction::triggered, this, &MainWindow::checkRequested);
    connect(m_ui->checkButton, &QPushButton::clicked, this, &MainWindow::checkRequested);
    connect(m_ui->cleanItem, &QAction::triggered, this, &MainWindow::cleanRequested);
    connect(m_ui->cleanButton, &QPushButton::clicked, this, &MainWindow::cleanRequested);
    connect(m_ui->releaseItem, &QAction::triggered, this, &MainWindow::releaseRequested);
    connect(m_ui->releaseButton, &QPushButton::clicked, this, &MainWindow::releaseRequested);
    // The summary lines open the window with the details behind them.
    for (QAction* item : {m_ui->showItem, m_ui->authorizeStatusItem, m_ui->diskStatusItem, m_ui->folderDiskStatusItem,
                          m_ui->memoryStatusItem1, m_ui->memoryStatusItem2})
        connect(item, &QAction::triggered, this, &MainWindow::showRequested);
    connect(m_ui->statusMenu, &QMenu::aboutToShow, this, &MainWindow::looked);
    connect(m_ui->hideItem, &QAction::triggered, this, &MainWindow::hideRequested);
    connect(m_ui->aboutItem, &QAction::triggered, this, &MainWindow::aboutRequested);
    connect(m_ui->exitItem, &QAction::triggered, this, &MainWindow::quitRequested);
    // Ctrl+H and Ctrl+Q work while the window has the keyboard, so they are
    // the window's and not the menu items': a tray's panel shows the menu
    // with the shortcuts of its items, where they would do nothing.
    for (const auto& [keys, item] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_H), m_ui->hideItem},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::Key_Q), m_ui->exitItem}})
        connect(new QShortcut(keys, this), &QShortcut::activated, item, &QAction::trigger);
    for (QAction* line :
         {m_ui->diskStatusItem, m_ui->folderDiskStatusItem, m_ui->memoryStatusItem1, m_ui->memoryStatusItem2})
        connect(line, &QAction::changed, this, &MainWindow::summaryChanged);

    const auto boxes = junkCheckBoxes(*m_ui);
    for (std::size_t row = 0; row < boxes.size(); ++row)
        connect(boxes[row], &QCheckBox::stateChanged, this,
                [this, row](int state) { emit junkBoxChanged(row, state); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit closed();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    emit looked();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    fitWrappedLines();
}

// The word-wrapped lines (the no-tray hint, the report) take more height the
// narrower the window and the longer the language's wording, and a window's
// minimum size leaves that out: keep the central widget as tall as its
// layout asks at its width, so the rows and buttons below are never
// squeezed.
//
// The window's size is fixed, at the designed width and the height its
// layout needs (at least the designed one): the layout is made for that
// width, and tiling window managers (sway, i3) float a window whose least
// and greatest sizes agree instead of stretching it over the screen.
void MainWindow::fitWrappedLines()
{
    QWidget* central = m_ui->centralWidget;
    QLayout* layout = central->layout();
    layout->activate();
    central->setMinimumHeight(layout->hasHeightForWidth() ? layout->totalHeightForWidth(central->width()) : 0);
    QLayout* frame = QMainWindow::layout();
    frame->invalidate();
    setFixedSize(m_designSize.width(), std::max(m_designSize.height(), frame->totalMinimumSize().height()));
}

// A box shown or hidden, or a line filled, on a page of the tabs: each
// layout would hear of it through a posted request, one level at a time.
// Every layout and the size it asks of its widget are renewed now, the
// innermost first, and the window fitted to them.
void MainWindow::refit()
{
    const QList<QLayout*> layouts = findChildren<QLayout*>();
    for (auto it = layouts.rbegin(); it != layouts.rend(); ++it) {
        (*it)->invalidate();
        if (QWidget* owner = (*it)->parentWidget())
            owner->updateGeometry();
    }
    fitWrappedLines();
    QMetaObject::invokeMethod(this, &MainWindow::fitWrappedLines, Qt::QueuedConnection);
}

void MainWindow::titleMenu()
{
    m_ui->authorizeItem->setText(L("Authorize"));
    m_ui->diskItem->setText(L("Disk"));
    m_ui->checkItem->setText(L("Check"));
    m_ui->cleanItem->setText(L("Clean"));
    m_ui->memoryItem->setText(L("Memory"));
    m_ui->releaseItem->setText(L("Release"));
    m_ui->showItem->setText(L("Show"));
    m_ui->hideItem->setText(L("Hide"));
    m_ui->aboutItem->setText(L("About"));
    m_ui->exitItem->setText(L("Quit"));
}

void MainWindow::titleTabs()
{
    m_ui->tabView->setTabText(0, L("Disk"));
    m_ui->tabView->setTabText(1, L("Memory"));
}

void MainWindow::removeMemoryTab()
{
    m_ui->tabView->removeTab(1);
}

void MainWindow::showDisk(const DiskFigures& figures)
{
    showVolume(figures, true);
}

void MainWindow::showDiskFigures(const DiskFigures& figures)
{
    showVolume(figures, false);
}

void MainWindow::showVolume(const DiskFigures& figures, bool bareTitles)
{
    m_ui->totalLabel->setText(L("Total"));
    m_ui->freeLabel->setText(L("FreeDisk"));
    m_ui->diskTotalSize->setText(sizeText(figures.total));
    m_ui->diskTotalSize->setAccessibleName(captioned(L("Total"), m_ui->diskTotalSize->text()));
    m_ui->diskFreeSize->setText(sizeText(figures.free));
    m_ui->diskFreeSize->setAccessibleName(captioned(L("FreeDisk"), m_ui->diskFreeSize->text()));

    // An unreadable volume (total 0) is never divided by: it shows 0 %.
    const DiskPercentages percent = diskPercentages(figures.total, figures.free);
    m_ui->diskLevelIndicatorBox->setTitle(QString::fromStdString(diskGaugeTitle(percent.used)));
    m_ui->diskLevelIndicator->setValue(percent.used);
    m_ui->diskLevelIndicator->setAccessibleName(
        QString::fromStdString(diskGaugeAccessibleName(m_lookup, percent.used)));

    // Bare labels: a refresh takes away the sizes an earlier scan put there.
    if (bareTitles) {
        const JunkTable& table = junkTable();
        const auto boxes = junkCheckBoxes(*m_ui);
        for (std::size_t row = 0; row < table.size(); ++row)
            setTitle(boxes[row], L(table[row].labelKey));
        setTitle(m_ui->checkButton, L("Check"));
        setTitle(m_ui->cleanButton, L("Clean"));
    }
    m_ui->diskStatusItem->setText(QString::fromStdString(diskStatusLine(m_lookup, figures.total, figures.free)));
}

void MainWindow::showFolderVolume(const std::optional<DiskFigures>& figures)
{
    const QString line =
        figures ? QString::fromStdString(folderDiskStatusLine(m_lookup, figures->total, figures->free)) : QString();
    m_ui->folderDiskStatusItem->setText(line);
    m_ui->folderDiskStatusItem->setVisible(figures.has_value());
    m_ui->folderDiskLine->setText(line);
    if (m_ui->folderDiskLine->isVisibleTo(this) != figures.has_value()) {
        m_ui->folderDiskLine->setVisible(figures.has_value());
        fitWrappedLines();
    }
}

void MainWindow::showMemory(const MemoryFigures& figures)
{
    // Same order as figures.categories: free, wired, active, inactive.
    const std::array<std::pair<QGroupBox*, QProgressBar*>, 4> gauges{{
        {m_ui->freeMemLevelIndicatorBox, m_ui->freeMemLevelIndicator},
        {m_ui->wiredMemLevelIndicatorBox, m_ui->wiredMemLevelIndicator},
        {m_ui->activeMemLevelIndicatorBox, m_ui->activeMemLevelIndicator},
        {m_ui->inactiveMemLevelIndicatorBox, m_ui->inactiveMemLevelIndicator},
    }};
    for (std::size_t i = 0; i < gauges.size(); ++i) {
        const MemoryCategory& category = figures.categories[i];
        const QString title = QString::fromStdString(memoryBoxTitle(m_lookup, category));
        gauges[i].first->setTitle(title);
        gauges[i].second->setValue(category.percent);
        gauges[i].second->setAccessibleName(title.simplified());
    }
    setTitle(m_ui->releaseButton, L("Release"));
    m_ui->memoryStatusItem1->setText(QString::fromStdString(memoryStatusLine1(m_lookup, figures)));
    m_ui->memoryStatusItem2->setText(QString::fromStdString(memoryStatusLine2(m_lookup, figures)));
}

void MainWindow::showRowSize(std::size_t row, std::uint64_t bytes)
{
    const JunkLocation& location = junkTable()[row];
    setTitle(junkCheckBoxes(*m_ui)[row], QString::fromStdString(junkCheckBoxTitle(m_lookup, location.labelKey, bytes)));
}

void MainWindow::showGrant(const std::optional<QString>& folder)
{
    // An item's text takes "&" for a mnemonic: a path shows as it is only
    // with each one doubled.
    m_ui->authorizeStatusItem->setText(folder ? L("Authorized")
                                                    + QString(*folder).replace(QLatin1Char('&'), QLatin1String("&&"))
                                              : L("Not Authorized"));
}

void MainWindow::showFolders(const JunkFolders& folders)
{
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        m_folderTips[row] = QFile::decodeName(QByteArray::fromStdString(folders.path(row)));
        m_placeTips[row].clear();
        m_diskTips[row].clear();
        showRowTip(row);
    }
}

void MainWindow::showRowPlace(std::size_t row, Place place, const std::string& linkTarget)
{
    m_placeTips[row].clear();
    if (place != Place::Own) {
        const RowLeft why = place == Place::Link ? RowLeft::Link : RowLeft::OtherMount;
        m_placeTips[row] = QFile::decodeName(
            QByteArray::fromStdString(cleanRowLine(m_lookup, junkTable()[row].labelKey, why, linkTarget)));
    }
    showRowTip(row);
}

void MainWindow::showRowTip(std::size_t row)
{
    QString tip = m_folderTips[row];
    for (const QString* line : {&m_placeTips[row], &m_diskTips[row]})
        if (!line->isEmpty())
            tip += QLatin1Char('\n') + *line;
    junkCheckBoxes(*m_ui)[row]->setToolTip(tip);
}

// Beside each check box, at the right end of its line, an arrow that opens
// the row's items under it; one list is open at a time, and the window
// grows by its height while it is.
void MainWindow::buildItemLists()
{
    QVBoxLayout* junk = m_ui->junkLayout;
    const auto boxes = junkCheckBoxes(*m_ui);
    for (QCheckBox* box : boxes)
        junk->removeWidget(box);
    for (std::size_t row = 0; row < boxes.size(); ++row) {
        QWidget* page = boxes[row]->parentWidget();
        const QString name = boxes[row]->objectName().remove(QLatin1String("CheckBox"));
        ItemList& items = m_itemLists[row];
        items.toggle = new ItemsArrow(boxes[row], page);
        items.toggle->setObjectName(name + QLatin1String("ItemsButton"));
        items.toggle->setArrowType(Qt::RightArrow);
        items.toggle->setAutoRaise(true);
        items.toggle->setCheckable(true);
        items.toggle->setToolTip(L("Items Show"));
        items.toggle->setAccessibleName(withoutMnemonic(L(junkTable()[row].labelKey)) + QLatin1String(": ")
                                        + L("Items Show"));
        items.toggle->setVisible(false);
        auto* line = new QHBoxLayout;
        line->addWidget(boxes[row], 1);
        line->addWidget(items.toggle);
        junk->addLayout(line);

        items.list = new QTreeWidget(page);
        items.list->setObjectName(name + QLatin1String("Items"));
        items.list->setColumnCount(ItemColumns);
        items.list->setHeaderLabels({L("Item Name"), L("Item Size"), L("Item On Disk"), L("Item Share")});
        items.list->setRootIsDecorated(false);
        items.list->setUniformRowHeights(true);
        items.list->setSelectionMode(QAbstractItemView::NoSelection);
        items.list->setTextElideMode(Qt::ElideMiddle);
        items.list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QHeaderView* header = items.list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
        for (int column : {SizeColumn, OnDiskColumn, ShareColumn})
            items.list->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        items.list->setVisible(false);
        junk->addWidget(items.list);
        items.onDisk = new QLabel(page);
        items.onDisk->setObjectName(name + QLatin1String("OnDisk"));
        items.onDisk->setWordWrap(true);
        items.onDisk->setVisible(false);
        junk->addWidget(items.onDisk);

        // From the keyboard: the row's box, its arrow, its list, then the next row.
        setTabOrder(boxes[row], items.toggle);
        setTabOrder(items.toggle, items.list);
        items.list->setAccessibleName(withoutMnemonic(L(junkTable()[row].labelKey)));

        connect(items.toggle, &QToolButton::toggled, this, [this, row](bool open) { openItems(row, open); });
        connect(items.list, &QTreeWidget::itemChanged, this, [this, row](QTreeWidgetItem* item, int column) {
            if (column == NameColumn)
                itemTicked(row, item);
        });
    }
}

void MainWindow::openItems(std::size_t row, bool open)
{
    ItemList& items = m_itemLists[row];
    if (open) {
        for (std::size_t other = 0; other < kJunkRowCount; ++other)
            if (other != row)
                m_itemLists[other].toggle->setChecked(false);
    }
    items.toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    items.list->setVisible(open);
    items.onDisk->setVisible(open && !items.onDisk->text().isEmpty());
    refit();
}

void MainWindow::itemTicked(std::size_t row, QTreeWidgetItem* item)
{
    if (!(item->flags() & Qt::ItemIsUserCheckable))
        return;
    KeptItem kept{item->data(NameColumn, kNameRole).toByteArray().toStdString(),
                  item->data(NameColumn, kDevRole).toULongLong(), item->data(NameColumn, kInoRole).toULongLong()};
    std::vector<KeptItem>& keep = m_kept[row];
    const auto same = [&kept](const KeptItem& k) {
        return k.name == kept.name && k.dev == kept.dev && k.ino == kept.ino;
    };
    keep.erase(std::remove_if(keep.begin(), keep.end(), same), keep.end());
    if (item->checkState(NameColumn) != Qt::Checked)
        keep.push_back(std::move(kept));
}

void MainWindow::showRowItems(std::size_t row, const RowSize& size)
{
    ItemList& items = m_itemLists[row];
    const WalkItems& walked = size.items;
    const QLocale locale(m_strings->language());
    const auto text = [](std::uint64_t bytes) { return QString::fromStdString(convertBytes(bytes)); };

    // What stays unticked: the kept items the scan still saw, as it saw them.
    std::vector<KeptItem> kept;
    std::vector<bool> unticked(walked.list.size(), false);
    for (std::size_t i = 0; i < walked.list.size(); ++i) {
        const WalkItem& item = walked.list[i];
        const std::string_view name = walked.name(item);
        unticked[i] = std::any_of(m_kept[row].begin(), m_kept[row].end(), [&](const KeptItem& k) {
            return k.name == name && k.dev == item.dev && k.ino == item.ino;
        });
        if (unticked[i])
            kept.push_back(KeptItem{std::string(name), item.dev, item.ino});
    }
    m_kept[row] = std::move(kept);

    QTreeWidget* list = items.list;
    const QSignalBlocker quiet(list);
    list->clear();
    bool notable = false;
    std::uint64_t restBytes = 0, restAllocated = 0;
    int rest = 0;
    for (std::size_t i = 0; i < walked.list.size(); ++i) {
        const WalkItem& item = walked.list[i];
        if (static_cast<int>(i) >= kShownItems && !unticked[i]) {
            ++rest;
            restBytes += item.bytes;
            restAllocated += item.allocated;
            continue;
        }
        const QByteArray raw = QByteArray::fromStdString(std::string(walked.name(item)));
        QString shown = QFile::decodeName(raw);
        QString tip = shown;
        if (i < size.trashInfo.size() && !size.trashInfo[i].originalPath.empty()) {
            // As the user knows it: where it was, and when it was deleted.
            const RowSize::TrashInfo& info = size.trashInfo[i];
            tip = QFile::decodeName(QByteArray::fromStdString(info.originalPath));
            shown = QFileInfo(tip).fileName();
            if (!info.deletionDate.empty()) {
                const QString date = QString::fromStdString(info.deletionDate);
                const QDateTime when = QDateTime::fromString(date, Qt::ISODate);
                tip += QLatin1Char('\n')
                       + L("Item Deleted").arg(when.isValid() ? locale.toString(when, QLocale::ShortFormat) : date);
            }
        }
        auto* line = new QTreeWidgetItem(list);
        line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        line->setText(NameColumn, shown);
        line->setData(NameColumn, kNameRole, raw);
        line->setData(NameColumn, kDevRole, QVariant::fromValue<qulonglong>(item.dev));
        line->setData(NameColumn, kInoRole, QVariant::fromValue<qulonglong>(item.ino));
        line->setCheckState(NameColumn, unticked[i] ? Qt::Unchecked : Qt::Checked);
        line->setText(SizeColumn, text(item.bytes));
        if (differsNotably(item.bytes, item.allocated)) {
            line->setText(OnDiskColumn, text(item.allocated));
            notable = true;
        }
        line->setText(ShareColumn, shareText(item.bytes, size.bytes, locale));
        line->setToolTip(NameColumn, tip + QLatin1Char('\n') + L("Item Keep Tip"));
    }
    if (rest > 0) {
        auto* line = new QTreeWidgetItem(list);
        line->setFlags(Qt::ItemIsEnabled);
        line->setText(NameColumn, L("Items Rest").arg(locale.toString(rest)));
        line->setText(SizeColumn, text(restBytes));
        if (differsNotably(restBytes, restAllocated)) {
            line->setText(OnDiskColumn, text(restAllocated));
            notable = true;
        }
        line->setText(ShareColumn, shareText(restBytes, size.bytes, locale));
        line->setToolTip(NameColumn, L("Items Rest Tip"));
    }
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        for (int column : {SizeColumn, OnDiskColumn, ShareColumn})
            list->topLevelItem(i)->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    list->setColumnHidden(OnDiskColumn, !notable);

    // As tall as its lines, up to kListLines of them; the rest scroll.
    const int lines = std::min(list->topLevelItemCount(), kListLines);
    const int lineHeight = std::max(list->sizeHintForRow(0), list->fontMetrics().height());
    list->setFixedHeight(list->header()->sizeHint().height() + lines * lineHeight + 2 * list->frameWidth());

    // The row's space on disk, under its list and in its tooltip.
    m_diskTips[row] =
        differsNotably(size.bytes, size.allocated) ? L("Row On Disk").arg(text(size.allocated)) : QString();
    items.onDisk->setText(m_diskTips[row]);
    showRowTip(row);

    const bool any = !walked.list.empty();
    items.toggle->setVisible(any);
    if (!any)
        items.toggle->setChecked(false);
    else if (items.toggle->isChecked())
        openItems(row, true);
}

void MainWindow::showTrayState(bool inTray)
{
    m_ui->hideItem->setVisible(inTray); // nothing could bring the window back
    m_ui->showItem->setVisible(inTray); // the window is up, and the menu is in it
    m_ui->noTrayHintLabel->setText(L("No Tray Hint"));
    m_ui->noTrayHintLabel->setVisible(!inTray);
    fitWrappedLines();
}

void MainWindow::showReport(const QString& text)
{
    m_ui->reportLabel->setText(text);
    m_ui->reportLabel->setVisible(true);
    fitWrappedLines();
}

void MainWindow::hideReport()
{
    m_ui->reportLabel->setVisible(false);
    fitWrappedLines();
}

Qt::CheckState MainWindow::junkBoxState(std::size_t row) const
{
    return junkCheckBoxes(*m_ui)[row]->checkState();
}

void MainWindow::bringForward()
{
    // Shown, it is looked at anew; showing it tells that itself.
    if (isVisible())
        emit looked();
    show();
    raise();
    // After show(): window managers ignore activating an unmapped window.
    activateWindow();
}

void MainWindow::bringDiskTabForward()
{
    const bool wasVisible = isVisible();
    activateWindow();
    show();
    raise();
    // A window manager ignores activating an unmapped window: ask again now
    // that it is mapped.
    if (!wasVisible)
        activateWindow();
    m_ui->tabView->setCurrentIndex(0);
}

void MainWindow::bringLastTabForward()
{
    m_ui->tabView->setCurrentIndex(m_ui->tabView->count() - 1);
}

void MainWindow::startDiskProgress(bool scan, const WorkProgress* progress)
{
    m_progress = progress;
    m_ui->progressIndicatorBox->setTitle(QString());
    m_ui->progressLabel->clear();
    if (m_progress)
        m_progressTimer->start();
    startAnimation(m_ui->progressIndicator);
    m_ui->progressIndicatorBox->setVisible(true);
    m_ui->checkButton->setEnabled(false);
    m_ui->cleanButton->setEnabled(false);
    if (scan)
        m_ui->checkItem->setEnabled(false);
    refit(); // the box and its line take room below the rows
}

void MainWindow::stopDiskProgress()
{
    m_progressTimer->stop();
    m_progress = nullptr;
    stopAnimation(m_ui->progressIndicator);
    m_ui->progressIndicatorBox->setVisible(false);
    m_ui->checkButton->setEnabled(true);
    m_ui->cleanButton->setEnabled(true);
    refit();
}

// "Measuring Caches…" over the bar, "Entries: 12,345 · Size: 1.20 GB" under
// it; removing, the entries removed so far.
void MainWindow::showProgress()
{
    if (!m_progress)
        return;
    const int row = m_progress->row.load(std::memory_order_relaxed);
    if (row < 0 || static_cast<std::size_t>(row) >= kJunkRowCount)
        return;
    const auto phase = static_cast<WorkProgress::Phase>(m_progress->phase.load(std::memory_order_relaxed));
    const std::uint64_t entries = m_progress->entries.load(std::memory_order_relaxed);
    const QString label = withoutMnemonic(L(junkTable()[static_cast<std::size_t>(row)].labelKey));
    const QString count = QLocale(m_strings->language()).toString(static_cast<qulonglong>(entries));
    const QString size = QString::fromStdString(convertBytes(m_progress->bytes.load(std::memory_order_relaxed)));
    const bool removing = phase == WorkProgress::Removing;
    const bool first = m_ui->progressLabel->text().isEmpty();
    m_ui->progressIndicatorBox->setTitle(L(removing ? "Progress Removing" : "Progress Measuring").arg(label));
    m_ui->progressLabel->setText(removing ? L("Progress Removed").arg(count) : L("Progress Measured").arg(count, size));
    if (first)
        refit();
}

void MainWindow::enableCheckItem()
{
    m_ui->checkItem->setEnabled(true);
}

void MainWindow::startReleaseProgress()
{
    m_ui->releaseMemProgressIndicator->setVisible(true);
    startAnimation(m_ui->releaseMemProgressIndicator);
    m_ui->releaseMemProgressIndicatorBox->setVisible(true);
    m_ui->releaseButton->setEnabled(false);
    // Seen in the window and in the menu while the helper works, and while
    // it waits for the administrator's password.
    m_ui->releaseMemProgressIndicatorBox->setTitle(L("Releasing"));
    m_ui->releaseMemProgressLabel->setText(L("Release Waiting"));
    m_ui->releaseItem->setText(L("Releasing"));
    m_ui->releaseItem->setEnabled(false);
    refit();
}

void MainWindow::stopReleaseProgress()
{
    stopAnimation(m_ui->releaseMemProgressIndicator);
    m_ui->releaseMemProgressIndicator->setVisible(false);
    m_ui->releaseMemProgressIndicatorBox->setVisible(false);
    m_ui->releaseButton->setEnabled(true);
    m_ui->releaseItem->setText(L("Release"));
    m_ui->releaseItem->setEnabled(true);
    refit();
}

} // namespace headroom
