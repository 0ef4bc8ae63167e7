// The disk and memory figures as the window and the menu show them, for the
// worked numbers, with a table in which every text reads as its key.

#include "AppFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace headroom;
using headroom::test::FixedFigures;
using headroom::test::PromptLog;

using OptionalBytes = std::optional<std::int64_t>;
Q_DECLARE_METATYPE(OptionalBytes)

class TestTexts : public QObject {
    Q_OBJECT

private slots:
    void init();
    void diskOverview_data();
    void diskOverview();
    void diskRefreshPutsBackTheBareLabels();
    void englishTextsReadAsLabelThenValue();
    void memoryDisplay_data();
    void memoryDisplay();

private:
    std::shared_ptr<PromptLog> log_;
    std::shared_ptr<FixedFigures> figures_;
    std::unique_ptr<AppDelegate> delegate_;
};

void TestTexts::init()
{
    log_ = std::make_shared<PromptLog>();
    figures_ = std::make_shared<FixedFigures>();
    delegate_ = std::make_unique<AppDelegate>(test::environment(StringTable::empty(), log_, figures_));
}

void TestTexts::diskOverview_data()
{
    QTest::addColumn<OptionalBytes>("total");
    QTest::addColumn<OptionalBytes>("free");
    QTest::addColumn<QString>("totalText");
    QTest::addColumn<QString>("freeText");
    QTest::addColumn<int>("gauge");
    QTest::addColumn<QString>("menuLine");

    QTest::newRow("half-used volume") << OptionalBytes(500107862016) << OptionalBytes(250790436864) << "465.76 GB"
                                      << "233.57 GB" << 49 << "Total:465.76 GB  FreeDisk:233.57 GB (51%)";
    QTest::newRow("free share rounds up") << OptionalBytes(1073741824000) << OptionalBytes(357556027392)
                                          << "1000.00 GB" << "333.00 GB" << 66
                                          << "Total:1000.00 GB  FreeDisk:333.00 GB (34%)";
    QTest::newRow("all free") << OptionalBytes(1073741824000) << OptionalBytes(1073741824000) << "1000.00 GB"
                              << "1000.00 GB" << 0 << "Total:1000.00 GB  FreeDisk:1000.00 GB (100%)";
    QTest::newRow("full") << OptionalBytes(1073741824000) << OptionalBytes(0) << "1000.00 GB" << "0 Bytes" << 100
                          << "Total:1000.00 GB  FreeDisk:0 Bytes (0%)";
    QTest::newRow("just under 1% free") << OptionalBytes(499963174912) << OptionalBytes(4999631749) << "465.63 GB"
                                        << "4.66 GB" << 99 << "Total:465.63 GB  FreeDisk:4.66 GB (1%)";
    QTest::newRow("unreadable volume") << OptionalBytes() << OptionalBytes() << "0 Bytes" << "0 Bytes" << 0
                                       << "Total:0 Bytes  FreeDisk:0 Bytes (0%)";
    QTest::newRow("total unreadable, free read") << OptionalBytes() << OptionalBytes(1000) << "0 Bytes"
                                                 << "1000 Bytes" << 0 << "Total:0 Bytes  FreeDisk:1000 Bytes (0%)";
}

void TestTexts::diskOverview()
{
    QFETCH(OptionalBytes, total);
    QFETCH(OptionalBytes, free);
    QFETCH(QString, totalText);
    QFETCH(QString, freeText);
    QFETCH(int, gauge);
    QFETCH(QString, menuLine);
    figures_->total = total;
    figures_->free = free;

    delegate_->updateDiskUI();

    QCOMPARE(delegate_->diskTotalSize()->text(), totalText);
    QCOMPARE(delegate_->diskFreeSize()->text(), freeText);
    QCOMPARE(delegate_->diskLevelIndicator()->value(), gauge);
    QCOMPARE(delegate_->diskLevelIndicatorBox()->title(), QString::number(gauge) + QLatin1Char('%'));
    QCOMPARE(delegate_->diskStatusItem()->text(), menuLine);
}

void TestTexts::diskRefreshPutsBackTheBareLabels()
{
    for (QCheckBox* box : delegate_->junkCheckBoxes())
        box->setText(QStringLiteral("scanned 12.0 MB"));
    delegate_->cachesCheckBox()->setChecked(true);
    delegate_->downloadsCheckBox()->setChecked(false);

    delegate_->updateDiskUI();

    const QStringList bare{"Caches", "Logs", "Downloads", "Mail Download", "Trash"};
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(delegate_->junkCheckBoxes()[row]->text(), bare[int(row)]);
    // A refresh titles the boxes; it leaves their state alone.
    QVERIFY(delegate_->cachesCheckBox()->isChecked());
    QVERIFY(!delegate_->downloadsCheckBox()->isChecked());
}

void TestTexts::englishTextsReadAsLabelThenValue()
{
    // With the shipped wording a label runs straight into its value, so each
    // English label must bring its own separation.
    AppDelegate english(test::environment(StringTable::forLocale(QLocale(QLocale::English)), log_, figures_));
    english.updateUI();
    QCOMPARE(english.diskStatusItem()->text(), QStringLiteral("Total:465.76 GB  Free:233.57 GB (51%)"));
    QCOMPARE(english.memoryStatusItem1()->text(), QStringLiteral("Free 1.00 GB  Wired 1.00 GB"));
    QCOMPARE(english.memoryStatusItem2()->text(), QStringLiteral("Active 1.00 GB  Inactive 1.00 GB"));
    QCOMPARE(english.freeMemLevelIndicatorBox()->title(), QStringLiteral("Free 1.00 GB"));
}

void TestTexts::memoryDisplay_data()
{
    QTest::addColumn<QList<quint64>>("pages"); // free, wired, active, inactive
    QTest::addColumn<QList<int>>("percents");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("4 GiB split evenly") << QList<quint64>{262144, 262144, 262144, 262144} << QList<int>{25, 25, 25, 25}
                                        << QStringList{"Free1.00 GB", "Wired1.00 GB", "Active1.00 GB", "Inactive1.00 GB"};
    QTest::newRow("thirds truncate") << QList<quint64>{1, 2, 0, 0} << QList<int>{33, 66, 0, 0}
                                     << QStringList{"Free4.0 KB", "Wired8.0 KB", "Active0 Bytes", "Inactive0 Bytes"};
    QTest::newRow("sevenths") << QList<quint64>{1, 2, 2, 2} << QList<int>{14, 28, 28, 28}
                              << QStringList{"Free4.0 KB", "Wired8.0 KB", "Active8.0 KB", "Inactive8.0 KB"};
    QTest::newRow("all active") << QList<quint64>{0, 0, 256, 0} << QList<int>{0, 0, 100, 0}
                                << QStringList{"Free0 Bytes", "Wired0 Bytes", "Active1.0 MB", "Inactive0 Bytes"};
    QTest::newRow("counters unreadable") << QList<quint64>{0, 0, 0, 0} << QList<int>{0, 0, 0, 0}
                                         << QStringList{"Free0 Bytes", "Wired0 Bytes", "Active0 Bytes", "Inactive0 Bytes"};
}

void TestTexts::memoryDisplay()
{
    QFETCH(QList<quint64>, pages);
    QFETCH(QList<int>, percents);
    QFETCH(QStringList, titles);
    figures_->memory = FixedFigures::pages(pages[0], pages[1], pages[2], pages[3]);

    delegate_->updateMemUI();

    const std::array<std::pair<QGroupBox*, QProgressBar*>, 4> gauges{{
        {delegate_->freeMemLevelIndicatorBox(), delegate_->freeMemLevelIndicator()},
        {delegate_->wiredMemLevelIndicatorBox(), delegate_->wiredMemLevelIndicator()},
        {delegate_->activeMemLevelIndicatorBox(), delegate_->activeMemLevelIndicator()},
        {delegate_->inactiveMemLevelIndicatorBox(), delegate_->inactiveMemLevelIndicator()},
    }};
    for (std::size_t i = 0; i < gauges.size(); ++i) {
        QCOMPARE(gauges[i].first->title(), titles[int(i)]);
        QCOMPARE(gauges[i].second->value(), percents[int(i)]);
    }
    QCOMPARE(delegate_->memoryStatusItem1()->text(), titles[0] + QStringLiteral("  ") + titles[1]);
    QCOMPARE(delegate_->memoryStatusItem2()->text(), titles[2] + QStringLiteral("  ") + titles[3]);
    QCOMPARE(delegate_->releaseButton()->text(), QStringLiteral("Release"));
}

QTEST_MAIN(TestTexts)
#include "test_texts.moc"
