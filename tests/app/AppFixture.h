#pragma once

// What the application's tests share: a scripted prompter that records what
// it was asked, fixed figures the test can change between refreshes (a
// panel coming or going: m_figures.tray changed, then the tray watch's
// changed() emitted), the record of interface changes in the order they
// were applied, a gate that holds a worker just before it reads one junk
// row, and a temporary home.

#include "app/AppDelegate.h"
#include "core/JunkLocations.h"
#include "core/Platform.h"
#include "core/VMStatSchema.h"
#include "l10n/StringTable.h"
#include "tests/support/TempTree.h"

#include <QAction>
#include <QPushButton>
#include <QStringList>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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

struct FixedFigures {
    std::optional<std::int64_t> total = 500107862016; // 465.76 GB
    std::optional<std::int64_t> free = 250790436864;  // 233.57 GB, 49 % used
    VMStatSchema memory; // 1, 2, 3 and 4 GB free, wired, active and inactive, set by setUpApp()
    bool tray = false;
};

// Holds the worker that reaches (stage, row) until open(); never longer than
// 30 s, so a failing test cannot hang the suite. Records every row visited.
class RowGate {
public:
    void pauseAt(std::string_view stage, std::size_t row)
    {
        const std::lock_guard lock(m_mutex);
        m_held = std::string(stage) + ":" + std::to_string(row);
    }
    void arrive(std::string_view stage, std::size_t row)
    {
        std::unique_lock lock(m_mutex);
        m_visits.push_back(std::string(stage) + ":" + std::to_string(row));
        if (m_reached || m_visits.back() != m_held)
            return;
        m_reached = true;
        m_opening.wait_for(lock, std::chrono::seconds(30), [this] { return m_opened; });
    }
    bool reached() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reached;
    }
    void open()
    {
        const std::lock_guard lock(m_mutex);
        m_opened = true;
        m_opening.notify_all();
    }
    std::vector<std::string> visits() const
    {
        const std::lock_guard lock(m_mutex);
        return m_visits;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_opening;
    std::vector<std::string> m_visits;
    std::string m_held; // "stage:row", empty for none
    bool m_reached = false;
    bool m_opened = false;
};

enum Row : std::size_t { Caches, Logs, Downloads, MailDownloads, Trash };

// The fakes, a temporary home that the start-up grant answers with, and the
// controller, made afresh for each test function: a test class derives
// from it beside QObject and calls setUpApp() from init(), tearDownApp()
// from cleanup(). The controller's hooks refer to the fixture, which
// outlives it.
class AppFixture {
protected:
    void setUpApp()
    {
        m_log = PromptLog{};
        m_figures = FixedFigures{};
        // Pages of 64 KiB, so that no figure holds only where pages are 4 KiB.
        platform::setPageSizeForTesting(65536);
        const std::uint64_t gib = (std::uint64_t{1} << 30) / platform::pageSize();
        m_figures.memory.pagesFree = gib;
        m_figures.memory.pagesWiredDown = 2 * gib;
        m_figures.memory.pagesActive = 3 * gib;
        m_figures.memory.pagesInactive = 4 * gib;
        m_steps.clear();
        m_onStep = nullptr;
        m_gate = std::make_unique<RowGate>();
        m_home = std::make_unique<TempTree>();
        m_log.folders = {home()};
    }
    void tearDownApp()
    {
        m_gate->open(); // a failed check may leave a worker held
        m_d.reset();
        m_home.reset();
        platform::setPageSizeForTesting(0);
    }

    // Makes the controller and starts it up.
    AppDelegate* launch(std::shared_ptr<const StringTable> strings = english())
    {
        AppEnvironment env;
        env.strings = std::move(strings);
        env.prompter = std::make_unique<ScriptedPrompter>(m_log);
        env.figures.diskTotal = [this] { return m_figures.total; };
        env.figures.diskAvailable = [this] { return m_figures.free; };
        if (!m_countersFromFile)
            env.figures.vmStat = [this] { return m_figures.memory; };
        env.trayAvailable = [this] { return m_figures.tray; };
        auto watch = std::make_unique<TrayWatch>();
        m_trayWatch = watch.get();
        env.trayWatch = std::move(watch);
        env.uiTrace = [this](const QString& step) {
            m_steps << step;
            if (m_onStep)
                m_onStep(step);
        };
        env.beforeJunkRow = [this](std::string_view stage, std::size_t row) { m_gate->arrive(stage, row); };
        m_d = std::make_unique<AppDelegate>(std::move(env));
        m_d->applicationDidFinishLaunching();
        return m_d.get();
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
    std::string location(std::size_t row) const { return *m_home / junkTable()[row].relativePath; }
    std::uint64_t measured(std::size_t row) const { return duBelow(location(row)).value_or(0); }
    // A file of `bytes` bytes in every junk location.
    void fillRows(std::size_t bytes = 100) const
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            writeFile(location(row) + "/f", std::string(bytes, 'x'));
    }
    // A test adds markers to the steps to cut them into phases; after()
    // gives the steps after the last `marker`.
    void mark(const QString& marker) { m_steps << marker; }
    QStringList after(const QString& marker) const
    {
        const qsizetype at = m_steps.lastIndexOf(marker);
        return at < 0 ? m_steps : m_steps.mid(at + 1);
    }
    // Whether `step` has been applied since `marker`, waiting up to 5 s.
    bool waitForStep(const QString& marker, const QString& step)
    {
        return QTest::qWaitFor([&] { return after(marker).contains(step); });
    }

    PromptLog m_log;
    FixedFigures m_figures;
    // Steps as the controller applies them; written on the main thread only.
    QStringList m_steps;
    std::function<void(const QString& step)> m_onStep; // looks at the window right then
    std::unique_ptr<RowGate> m_gate;
    std::unique_ptr<TempTree> m_home;
    std::unique_ptr<AppDelegate> m_d;
    TrayWatch* m_trayWatch = nullptr; // the controller's; emit changed() after setting m_figures.tray
    bool m_countersFromFile = false; // the page counters of the platform's seam
};

} // namespace headroom::test
