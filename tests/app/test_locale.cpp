// The application's own choice of language, and every table it ships.
// applicationPicksTheTableOfTheEnvironment: each ctest case runs it with its
// own LANG, LC_ALL and LANGUAGE and names the language of the table it
// expects in HEADROOM_EXPECT_LANGUAGE. everyTableIsCompleteAndFitsTheWindow: each table
// translates every key, keeps the layout by which code joins its texts with
// figures, and fits the window at its default size, which shows its texts.

#include "AppFixture.h"

#include "core/WorkProgress.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTranslator>
#include <QTreeWidget>

#include <algorithm>
#include <span>

using namespace headroom;
using namespace headroom::test;

class TestLocale : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init() { setUpApp(); }
    void cleanup() { tearDownApp(); }
    void applicationPicksTheTableOfTheEnvironment();
    void everyTableIsCompleteAndFitsTheWindow_data();
    void everyTableIsCompleteAndFitsTheWindow();
};

void TestLocale::applicationPicksTheTableOfTheEnvironment()
{
    const QString expected = qEnvironmentVariable("HEADROOM_EXPECT_LANGUAGE");
    QVERIFY2(!expected.isEmpty(), "HEADROOM_EXPECT_LANGUAGE names the table this case expects");
    QCOMPARE(AppEnvironment::live().strings->language(), expected);
}

void TestLocale::everyTableIsCompleteAndFitsTheWindow_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"en", "de", "es", "fr", "it", "ja", "pl", "pt_BR", "ru", "zh_CN"})
        QTest::newRow(language) << QString::fromLatin1(language);
}

void TestLocale::everyTableIsCompleteAndFitsTheWindow()
{
    QFETCH(QString, language);
    const QString compiled = QStringLiteral(":/i18n/headroom_%1.qm").arg(language);
    QTranslator translator; // the build drops unfinished entries: they read as missing here
    QVERIFY(translator.load(compiled));
    const auto table = StringTable::fromFile(compiled);
    // A text that code joins with a figure or a path ends in a space (or a
    // full-width colon); one that code follows with ":" or nothing does not.
    // Mnemonics, a leading "%" and the commands the English names stay.
    const QRegularExpression mnemonic(QStringLiteral("&(?!&)"));
    QStringList faults;
    for (const char* key : std::span(kStringKeys, kStringKeyCount)) {
        const QString en = english()->text(key), text = translator.translate(kStringContext, key);
        const QStringList commands = en.split(u' ').filter(u"-");
        if (text.trimmed().isEmpty() || (text == QLatin1String(key) && en != text) || table->text(key) != text
            || text.front().isSpace() || (text.endsWith(u' ') || text.endsWith(QChar(0xFF1A))) != en.endsWith(u' ')
            || text.count(mnemonic) != en.count(mnemonic) || text.startsWith(u'%') != en.startsWith(u'%')
            || std::any_of(commands.begin(), commands.end(), [&](const QString& word) { return !text.contains(word); }))
            faults << QLatin1String(key);
    }

    // The window without a tray (so with its hint), each row titled with the
    // widest size text, a report and the home's volume shown.
    launch(table);
    MainWindow* window = m_d->window();
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        window->showRowSize(row, (std::uint64_t{1} << 40) - 1); // "1024.00 GB"
    window->showReport(table->text("Clean Held"));
    const std::int64_t widest = (std::int64_t{1} << 40) - 1;
    window->showFolderVolume(DiskFigures{widest, widest, true}); // a home on its own volume
    // The caches' items open, at their widest: each size and space on disk
    // "1024.00 GB", and the line for the rest.
    RowSize caches;
    caches.bytes = (std::uint64_t{1} << 40) - 1;
    caches.allocated = caches.bytes / 2;
    for (std::uint32_t i = 0; i <= MainWindow::kShownItems; ++i) {
        caches.items.list.push_back({1, i, caches.bytes / 16, caches.bytes / 32, i * 40, 40, false});
        caches.items.names +=
            QStringLiteral("cache-of-an-application-%1").arg(i, 16, 10, QLatin1Char('0')).toStdString();
    }
    window->showRowItems(Caches, caches);
    find<QAbstractButton>("cachesItemsButton")->click();
    // A clean's progress at its widest, and a release beside it.
    WorkProgress progress;
    progress.begin(MailDownloads, WorkProgress::Measuring);
    progress.add(999999999, (std::uint64_t{1} << 40) - 1);
    window->startDiskProgress(false, &progress);
    window->startReleaseProgress();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(!find<QLabel>("progressLabel")->text().isEmpty());
    QCoreApplication::processEvents(); // the layout requests of those changes
    // The window's width is MainWindow.ui's (no text widened it), and it speaks the table's language.
    if (window->width() != 380 || button("checkButton")->text() != table->text("Check"))
        faults << QStringLiteral("window %1 px wide, checkButton %2")
                      .arg(window->width())
                      .arg(button("checkButton")->text());
    // Every figure of the items whole, and room left for the names.
    const auto* items = find<QTreeWidget>("cachesItems");
    for (int column = 1; column < items->columnCount(); ++column)
        if (items->header()->sectionSize(column) < items->header()->sectionSizeHint(column)
            || items->isColumnHidden(column))
            faults << QStringLiteral("cachesItems column %1").arg(column);
    if (items->header()->sectionSize(0) < items->fontMetrics().horizontalAdvance(QStringLiteral("cache-of-an")))
        faults << QStringLiteral("cachesItems names %1 px").arg(items->header()->sectionSize(0));
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const bool titled = qobject_cast<QGroupBox*>(widget) != nullptr; // its title is all that is checked
        if (!widget->isVisible() || (!label && !titled && !qobject_cast<QAbstractButton*>(widget)))
            continue;
        const bool fits = titled ? widget->minimumSizeHint().width() <= widget->width()
                          : label && label->wordWrap()
                              ? label->heightForWidth(widget->width()) <= widget->height()
                              : widget->size().expandedTo(widget->sizeHint()) == widget->size();
        if (!fits || !window->rect().contains(QRect(widget->mapTo(window, QPoint()), widget->size())))
            faults << widget->objectName();
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
}

QTEST_MAIN(TestLocale)
#include "test_locale.moc"
