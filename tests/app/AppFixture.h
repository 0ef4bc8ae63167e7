#pragma once

// What the application's tests share: a scripted prompter that records what
// it was asked, the system figures through the platform's seams (a volume
// that can hold a worker that asks it), the record of what the window and
// the tray show as it changes, and a temporary home.

#include "app/AppDelegate.h"
#include "core/JunkLocations.h"
#include "core/Platform.h"
#include "l10n/StringTable.h"
#include "tests/support/Seams.h"
#include "tests/support/TempTree.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QtTest>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace headroom::test {

// Answers the controller's questions as the test scripted them, and notes
// what it was asked.
class ScriptedPrompter final : public Prompter {
public:
    QStringList events;  // "alert", "chooseFolder", "about", "forward", in the order asked
    QStringList alerts;  // the message of each alert
    QStringList folders; // next answers; a null QString or none left = cancel
    std::function<void()> duringAlert;
    std::function<void()> duringChooser;

    void alert(const QString& message, const QString& /*informative*/) override
    {
        events << QStringLiteral("alert");
        alerts << message;
        if (duringAlert)
            duringAlert();
    }
    std::optional<QString> chooseFolder() override
    {
        events << QStringLiteral("chooseFolder");
        if (duringChooser)
            duringChooser();
        const QString answer = folders.isEmpty() ? QString() : folders.takeFirst();
        return answer.isNull() ? std::nullopt : std::optional<QString>(answer);
    }
    void about(const QString& /*title*/, const QString& /*text*/) override { events << QStringLiteral("about"); }
    void bringForward() override { events << QStringLiteral("forward"); }
};

// The volume behind the platform's seam: 465.76 GB, `free` of them free
// (233.57 GB, 49 % used). The first worker thread that asks it while
// `holdWhen` is true waits there until open(), never longer than 30 s. Both
// are set before the controller starts.
class Volume {
public:
    std::function<std::uint64_t()> free = [] { return std::uint64_t{250790436864}; };
    std::function<bool()> holdWhen;

    Volume()
    {
        platform::setVolumeQueryForTesting([this](const std::string&) { return query(); });
    }
    // Waits, without running the event loop, until a worker is held.
    bool waitUntilHeld() { return m_held.try_acquire_for(std::chrono::seconds(30)); }
    void open() { m_open.release(); }

private:
    std::optional<platform::VolumeStats> query()
    {
        const platform::VolumeStats stats{500107862016, free()};
        const bool worker = std::this_thread::get_id() != m_mainThread;
        if (worker && holdWhen && !m_holding && holdWhen() && !m_holding.exchange(true)) {
            m_held.release();
            (void)m_open.try_acquire_for(std::chrono::seconds(30));
        }
        return stats;
    }

    const std::thread::id m_mainThread = std::this_thread::get_id();
    std::atomic<bool> m_holding{false};
    std::binary_semaphore m_held{0};
    std::counting_semaphore<> m_open{0};
};

// What the user sees change, in the order Qt delivers it. An event filter on
// the application looks at the window before each event reaches an object
// of the main thread and notes every watched state that differs from the
// look before: "checkButton.disabled" for a state, "title.logs" for a text.
// States that changed between the same two events are noted in the order
// of kWatched. The tray's messages are noted as it shows them: "busy" for
// a refused request, "notify" for a report, as is a new text of the
// window's report line.
class Screen : public QObject {
public:
    Screen(MainWindow* window, TrayIcon* tray, QString busy) : m_window(window)
    {
        connect(tray, &TrayIcon::messageShown, this, [this, busy = std::move(busy)](const QString& message) {
            look();
            m_steps << (message == busy ? QStringLiteral("busy") : QStringLiteral("notify"));
        });
        start();
        QCoreApplication::instance()->installEventFilter(this);
    }

    // From now on: what is on the screen now is where changes count from.
    void start()
    {
        for (std::size_t i = 0; i < std::size(kWatched); ++i)
            m_last[i] = state(kWatched[i]);
        m_steps.clear();
    }
    QStringList steps()
    {
        look();
        return m_steps;
    }
    // Whether `step` has been seen since start(), waiting up to 5 s.
    bool waitFor(const QString& step)
    {
        return QTest::qWaitFor([&] { return steps().contains(step); });
    }

protected:
    bool eventFilter(QObject* /*receiver*/, QEvent* /*event*/) override
    {
        look();
        return false;
    }

private:
    enum Look { Shown, Spinning, Enabled, Text };
    struct Watched {
        const char* step;
        const char* object; // the window itself when null
        Look look;
    };
    // A bar spins before its box shows and stops before its box hides.
    static constexpr Watched kWatched[] = {{"window", nullptr, Shown},
                                           {"progress", "progressIndicator", Spinning},
                                           {"progressBox", "progressIndicatorBox", Shown},
                                           {"checkButton", "checkButton", Enabled},
                                           {"cleanButton", "cleanButton", Enabled},
                                           {"checkItem", "checkItem", Enabled},
                                           {"disk.refresh", "diskFreeSize", Text},
                                           {"title.caches", "cachesCheckBox", Text},
                                           {"title.logs", "logsCheckBox", Text},
                                           {"title.downloads", "downloadsCheckBox", Text},
                                           {"title.mail-downloads", "mailDownloadCheckBox", Text},
                                           {"title.trash", "trashCheckBox", Text},
                                           {"memory.refresh", "memoryStatusItem1", Text},
                                           {"releaseProgress", "releaseMemProgressIndicator", Spinning},
                                           {"releaseProgress", "releaseMemProgressIndicator", Shown},
                                           {"releaseProgressBox", "releaseMemProgressIndicatorBox", Shown},
                                           {"releaseButton", "releaseButton", Enabled},
                                           {"releaseItem", "releaseItem", Enabled},
                                           {"notify", "reportLabel", Text}};

    QString state(const Watched& watched) const
    {
        QObject* object = watched.object ? m_window->findChild<QObject*>(QLatin1String(watched.object)) : m_window;
        switch (watched.look) {
        case Shown: return QLatin1String(qobject_cast<QWidget*>(object)->isHidden() ? "hidden" : "shown");
        case Spinning: return QLatin1String(qobject_cast<QProgressBar*>(object)->maximum() == 0 ? "start" : "stop");
        case Enabled: return QLatin1String(object->property("enabled").toBool() ? "enabled" : "disabled");
        case Text: return object->property("text").toString();
        }
        return {};
    }
    void look()
    {
        for (std::size_t i = 0; i < std::size(kWatched); ++i) {
            QString now = state(kWatched[i]);
            if (now == m_last[i])
                continue;
            const QString step = QLatin1String(kWatched[i].step);
            m_steps << (kWatched[i].look == Text ? step : step + QLatin1Char('.') + now);
            m_last[i] = std::move(now);
        }
    }

    MainWindow* const m_window;
    std::array<QString, std::size(kWatched)> m_last; // each state as last seen
    QStringList m_steps;
};

enum Row : std::size_t { Caches, Logs, Downloads, MailDownloads, Trash };

// The fakes, a temporary home that the start-up grant answers with, and the
// controller, made afresh for each test function: a test class derives
// from it beside QObject and calls setUpApp() from init(), tearDownApp()
// from cleanup().
class AppFixture {
protected:
    void setUpApp()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_log = m_prompter.get();
        m_tray = false;
        m_seams = std::make_unique<SeamReset>();
        m_volume = std::make_unique<Volume>();
        m_home = std::make_unique<TempTree>();
        m_log->folders = {home()};
        // Pages of 64 KiB, so that no figure holds only where pages are 4 KiB:
        // 1, 2, 3 and 4 GiB free, wired, active and inactive.
        platform::setPageSizeForTesting(65536);
        writeFile(file("vmstat"), "nr_free_pages 16384\nnr_unevictable 32768\nnr_active_anon 49152\n"
                                  "nr_inactive_file 65536\n");
        platform::setVmstatPathForTesting(file("vmstat"));
    }
    void tearDownApp()
    {
        m_volume->open(); // a failed check may leave a worker held
        destroyApp();
        m_home.reset();
        m_seams.reset();
        m_volume.reset();
    }

    // Makes the controller and starts it up.
    AppDelegate* launch(std::shared_ptr<const StringTable> strings = english())
    {
        AppEnvironment env;
        env.strings = std::move(strings);
        env.prompter = std::move(m_prompter);
        env.trayAvailable = [this] { return m_tray; };
        auto watch = std::make_unique<TrayWatch>();
        m_trayWatch = watch.get();
        env.trayWatch = std::move(watch);
        m_d = std::make_unique<AppDelegate>(std::move(env));
        m_screen = std::make_unique<Screen>(m_d->window(), m_d->findChild<TrayIcon*>(), L("Busy"));
        m_d->applicationDidFinishLaunching();
        return m_d.get();
    }
    // The controller goes (waiting for its work), after what watches it.
    void destroyApp()
    {
        m_screen.reset();
        m_d.reset();
    }
    static std::shared_ptr<const StringTable> english() { return StringTable::forLocale(QLocale(QLocale::English)); }

    // A widget or action of the window by its object name.
    template <typename T>
    T* find(const char* name) const
    {
        T* object = m_d->window()->findChild<T*>(QLatin1String(name));
        if (!object)
            qFatal("no %s named %s", T::staticMetaObject.className(), name);
        return object;
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QString L(std::string_view key) const { return m_d->window()->L(key); }

    QString home() const { return QString::fromStdString(m_home->path()); }
    std::string file(const char* name) const { return *m_home / name; }
    std::string location(std::size_t row) const { return *m_home / junkTable()[row].relativePath; }
    // A file of `bytes` bytes in every junk location.
    void fillRows(std::size_t bytes = 100) const
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            writeFile(location(row) + "/f", std::string(bytes, 'x'));
    }

    std::unique_ptr<ScriptedPrompter> m_prompter; // until launch() hands it over
    ScriptedPrompter* m_log = nullptr;
    bool m_tray = false; // whether there is a tray; emit m_trayWatch->changed() after changing it
    std::unique_ptr<SeamReset> m_seams;
    std::unique_ptr<Volume> m_volume;
    std::unique_ptr<TempTree> m_home;
    std::unique_ptr<AppDelegate> m_d;
    std::unique_ptr<Screen> m_screen;
    TrayWatch* m_trayWatch = nullptr; // the controller's
};

} // namespace headroom::test
