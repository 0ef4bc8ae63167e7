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
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace headroom::test {

struct PromptLog {
    QStringList events; // "alert", "chooseFolder", "about", in the order asked
    QStringList alerts; // the message of each alert
    QStringList folders; // next answers; a null QString or none left = cancel
    std::function<void()> duringAlert;
};

class ScriptedPrompter final : public Prompter {
public:
    explicit ScriptedPrompter(PromptLog& log) : m_log(log) {}

    void alert(const QString& message, const QString& /*informative*/) override
    {
        m_log.events << QStringLiteral("alert");
        m_log.alerts << message;
        if (m_log.duringAlert)
            m_log.duringAlert();
    }
    std::optional<QString> chooseFolder() override
    {
        m_log.events << QStringLiteral("chooseFolder");
        const QString answer = m_log.folders.isEmpty() ? QString() : m_log.folders.takeFirst();
        return answer.isNull() ? std::nullopt : std::optional<QString>(answer);
    }
    void about(const QString& /*title*/, const QString& /*text*/) override { m_log.events << QStringLiteral("about"); }

private:
    PromptLog& m_log;
};

// The volume behind the platform's seam: 465.76 GB, of which 233.57 GB are
// free (49 % used) unless a test says otherwise. It can hold the first
// worker thread that asks it while `holdWhen` is true, until open(); never
// longer than 30 s, so a failing test cannot hang the suite.
class Volume {
public:
    Volume()
    {
        platform::setVolumeQueryForTesting([this] { return query(); });
    }
    void setFree(std::function<std::uint64_t()> bytes)
    {
        const std::lock_guard lock(m_mutex);
        m_free = std::move(bytes);
    }
    void holdWhen(std::function<bool()> condition)
    {
        const std::lock_guard lock(m_mutex);
        m_holdWhen = std::move(condition);
    }
    // Waits, without running the event loop, until a worker is held.
    bool waitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_held; });
    }
    void open()
    {
        const std::lock_guard lock(m_mutex);
        m_opened = true;
        m_changed.notify_all();
    }

private:
    std::optional<platform::VolumeStats> query()
    {
        std::unique_lock lock(m_mutex);
        const platform::VolumeStats stats{500107862016, m_free()};
        if (std::this_thread::get_id() != m_mainThread && m_holdWhen && !m_held && m_holdWhen()) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_opened; });
        }
        return stats;
    }

    const std::thread::id m_mainThread = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<std::uint64_t()> m_free = [] { return std::uint64_t{250790436864}; };
    std::function<bool()> m_holdWhen;
    bool m_held = false;
    bool m_opened = false;
};

// What the user sees change, in the order Qt delivers it. An event filter on
// the application looks at the window before each event reaches an object
// of the main thread and notes every watched state that differs from the
// look before ("checkButton.disabled", "title.logs", ...); states that
// changed between the same two events are noted in the order of the list
// in the constructor. The tray's messages are noted as it shows them:
// "busy" for a refused request, "notify" for a report, as is the window's
// report line when it shows one.
class Screen : public QObject {
public:
    Screen(MainWindow* window, TrayIcon* tray, QString busy) : m_window(window)
    {
        flag("window", [this] { return m_window->isVisible(); }, "shown", "hidden");
        flag("progress", [this] { return bar("progressIndicator")->maximum() == 0; }, "start", "stop");
        shownFlag("progressBox", "progressIndicatorBox");
        enabledFlag("checkButton", [this] { return find<QPushButton>("checkButton")->isEnabled(); });
        enabledFlag("cleanButton", [this] { return find<QPushButton>("cleanButton")->isEnabled(); });
        enabledFlag("checkItem", [this] { return find<QAction>("checkItem")->isEnabled(); });
        text("disk.refresh", [this] { return find<QLabel>("diskFreeSize")->text(); });
        const JunkTable& table = junkTable();
        const char* const boxes[] = {"cachesCheckBox", "logsCheckBox", "downloadsCheckBox", "mailDownloadCheckBox",
                                     "trashCheckBox"};
        for (std::size_t row = 0; row < table.size(); ++row)
            text("title." + QString::fromLatin1(table[row].row.data(), qsizetype(table[row].row.size())),
                 [this, box = boxes[row]] { return find<QCheckBox>(box)->text(); });
        text("memory.refresh", [this] { return find<QAction>("memoryStatusItem1")->text(); });
        flag("releaseProgress", [this] { return bar("releaseMemProgressIndicator")->maximum() == 0; }, "start", "stop");
        shownFlag("releaseProgress", "releaseMemProgressIndicator");
        shownFlag("releaseProgressBox", "releaseMemProgressIndicatorBox");
        enabledFlag("releaseButton", [this] { return find<QPushButton>("releaseButton")->isEnabled(); });
        text("notify", [this] {
            const auto* line = find<QLabel>("reportLabel");
            return line->isHidden() ? QString() : line->text();
        });
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
        for (Watch& watch : m_watches)
            watch.last = watch.state();
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
    struct Watch {
        QString name;
        std::function<QString()> state;
        bool isText;
        QString last;
    };

    template <typename T>
    T* find(const char* name) const
    {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    QProgressBar* bar(const char* name) const { return find<QProgressBar>(name); }
    void flag(const QString& name, std::function<bool()> on, const char* yes, const char* no)
    {
        m_watches.push_back({name, [on = std::move(on), yes, no] { return QLatin1String(on() ? yes : no); }, false, {}});
    }
    void shownFlag(const QString& name, const char* object)
    {
        flag(name, [this, object] { return !find<QWidget>(object)->isHidden(); }, "shown", "hidden");
    }
    void enabledFlag(const QString& name, std::function<bool()> enabled)
    {
        flag(name, std::move(enabled), "enabled", "disabled");
    }
    void text(const QString& name, std::function<QString()> state)
    {
        m_watches.push_back({name, std::move(state), true, {}});
    }
    void look()
    {
        for (Watch& watch : m_watches) {
            QString now = watch.state();
            if (now == watch.last)
                continue;
            m_steps << (watch.isText ? watch.name : watch.name + QLatin1Char('.') + now);
            watch.last = std::move(now);
        }
    }

    MainWindow* const m_window;
    std::vector<Watch> m_watches;
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
        m_log = PromptLog{};
        m_tray = false;
        m_seams = std::make_unique<SeamReset>();
        m_volume = std::make_unique<Volume>();
        m_home = std::make_unique<TempTree>();
        m_log.folders = {home()};
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
        env.prompter = std::make_unique<ScriptedPrompter>(m_log);
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
    std::uint64_t measured(std::size_t row) const { return duBelow(location(row)).value_or(0); }
    // A file of `bytes` bytes in every junk location.
    void fillRows(std::size_t bytes = 100) const
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            writeFile(location(row) + "/f", std::string(bytes, 'x'));
    }

    PromptLog m_log;
    bool m_tray = false; // whether there is a tray; emit m_trayWatch->changed() after changing it
    std::unique_ptr<SeamReset> m_seams;
    std::unique_ptr<Volume> m_volume;
    std::unique_ptr<TempTree> m_home;
    std::unique_ptr<AppDelegate> m_d;
    std::unique_ptr<Screen> m_screen;
    TrayWatch* m_trayWatch = nullptr; // the controller's
};

} // namespace headroom::test
