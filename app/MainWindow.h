#pragma once

#include "core/JunkJob.h"
#include "core/MemoryText.h"
#include "core/WorkProgress.h"
#include "l10n/StringTable.h"

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class QCloseEvent;
class QResizeEvent;
class QShowEvent;
class QIcon;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class MainWindow;
}

namespace headroom {

// The window built from MainWindow.ui, and with it the status menu's
// actions: it draws what the controller hands it (figures, check-box
// titles, busy bars, the report line, the no-tray hint) and turns the
// user's clicks into the request signals below.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(std::shared_ptr<const StringTable> strings, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The disk image in both sizes, so a 2x scale gets 40 px.
    static QIcon diskImage();

    // The one lookup of visible text: a key the table lacks reads as itself.
    QString L(std::string_view key) const;
    QMenu* statusMenu() const;
    // The menu's summary: the disk line, then the two memory lines, as the
    // menu shows them now; summaryChanged tells each change.
    QStringList summaryLines() const;

    // Start-up: the menu items' titles, then the tab labels; the Memory
    // page leaves the tabs but stays alive, and is still written.
    void titleMenu();
    void titleTabs();
    void removeMemoryTab();

    // The disk overview: "/"'s figures, gauge and menu line, then every
    // junk row's bare title and the buttons' titles.
    void showDisk(const DiskFigures& figures);
    // The same figures, gauge and menu line alone, leaving the titles (and
    // the sizes a scan put in them) as they are.
    void showDiskFigures(const DiskFigures& figures);
    // The line under the disk line, in the window and the menu, for the
    // granted folder's volume; none when that is "/"'s volume.
    void showFolderVolume(const std::optional<DiskFigures>& figures);
    void showMemory(const MemoryFigures& figures);
    // A junk row's title with the size a scan measured (bare at 0).
    void showRowSize(std::size_t row, std::uint64_t bytes);
    // The grant line of the menu: the folder, or that none is granted.
    void showGrant(const std::optional<QString>& folder);
    // Each junk row's folder, as resolved for the granted one, in its check
    // box's tooltip.
    void showFolders(const JunkFolders& folders);
    // What a scan found in a row's place: a link or another mount, which a
    // clean leaves alone, is said in the tooltip below the folder.
    void showRowPlace(std::size_t row, Place place, const std::string& linkTarget);
    // What a scan found inside a row (RowSize::items, largest first), for
    // the list the arrow beside its check box opens: the largest
    // kShownItems and every kept one, each with its size, its share of the
    // row and a check box, then one line for the rest. An item the user
    // unticked before (the same name and identity) comes unticked; kept
    // items no longer there are forgotten. Where the space on disk differs
    // notably from the size, it is shown beside it. Without items the arrow
    // goes.
    void showRowItems(std::size_t row, const RowSize& size);
    // The row's items the user unticked, which a clean leaves in place;
    // none when every item is ticked (the row goes whole).
    const std::vector<KeptItem>& keptItems(std::size_t row) const { return m_kept[row]; }
    static constexpr int kShownItems = 20;

    // Without a tray: no Hide item, and the hint says why the window stays.
    void showTrayState(bool inTray);
    // The report line of a clean or a release, used while there is no tray.
    void showReport(const QString& text);
    void hideReport();

    // The state of a junk row's check box; junkBoxChanged tells each change.
    Qt::CheckState junkBoxState(std::size_t row) const;

    // Show, raise and activate (activating needs a mapped window).
    void bringForward();
    // The same for a scan or a clean, which then shows the Disk tab.
    void bringDiskTabForward();
    void bringLastTabForward();

    // The busy bars and the controls they lock. A scan also locks the
    // menu's Check item, which enableCheckItem() gives back. With `progress`
    // the disk bar's box also shows the row at hand and its counts so far,
    // sampled a few times a second until stopDiskProgress(); no timer runs
    // otherwise. The release's box, on the Disk page, and the menu's
    // Release item show that a release runs.
    void startDiskProgress(bool scan, const WorkProgress* progress = nullptr);
    void stopDiskProgress();
    void enableCheckItem();
    void startReleaseProgress();
    void stopReleaseProgress();

signals:
    void authorizeRequested();
    void checkRequested();
    void cleanRequested();
    void releaseRequested();
    void showRequested();
    void hideRequested();
    void aboutRequested();
    void quitRequested();
    // The user closed the window (it is hidden, not destroyed).
    void closed();
    void junkBoxChanged(std::size_t row, int state);
    void summaryChanged();
    // The user is about to look at the figures: the menu is about to open,
    // or the window is shown or brought forward.
    void looked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void connectRequests();
    void showVolume(const DiskFigures& figures, bool bareTitles);
    void fitWrappedLines();
    void refit();
    void showProgress();
    void buildItemLists();
    void openItems(std::size_t row, bool open);
    void itemTicked(std::size_t row, QTreeWidgetItem* item);
    void showRowTip(std::size_t row);

    // Each row's items: the arrow that opens them, their list and the line
    // of the row's space on disk under it.
    struct ItemList {
        QToolButton* toggle = nullptr;
        QTreeWidget* list = nullptr;
        QLabel* onDisk = nullptr;
    };

    const std::shared_ptr<const StringTable> m_strings;
    const KeyLookup m_lookup;
    const std::unique_ptr<Ui::MainWindow> m_ui;
    QSize m_designSize;                              // MainWindow.ui's: the width is kept, the height is the least
    std::array<QString, kJunkRowCount> m_folderTips; // each row's folder, as its tooltip starts
    std::array<QString, kJunkRowCount> m_placeTips;  // under it, a link or mount a clean leaves alone
    std::array<QString, kJunkRowCount> m_diskTips;   // then the row's space on disk, where notable
    std::array<ItemList, kJunkRowCount> m_itemLists;
    std::array<std::vector<KeptItem>, kJunkRowCount> m_kept; // unticked, for the rest of the run
    QTimer* m_progressTimer;                                 // runs only while a scan or clean shows its progress
    const WorkProgress* m_progress = nullptr;                // what it samples, the controller's
};

} // namespace headroom
