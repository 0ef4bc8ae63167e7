#pragma once

// What the tests of the scan, the clean and the release share: a record of
// the interface changes in the order the controller applied them, a gate
// that holds a worker just before it reads one junk row, and files written
// into a temporary home with an oracle for their sizes that does not use
// the program's walker.

#include "AppFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace headroom::test {

// Steps as AppDelegate applies them; written on the main thread only.
struct Trace {
    QStringList steps;
    // Called after each step is recorded, to look at the window right then.
    std::function<void(const QString& step)> onStep;

    // The steps after the last occurrence of `marker`, which a test adds
    // itself to cut the record into phases.
    QStringList after(const QString& marker) const
    {
        const qsizetype at = steps.lastIndexOf(marker);
        return at < 0 ? steps : steps.mid(at + 1);
    }
};

// Holds the worker that reaches (stage, row) until open() is called. Never
// holds it longer than 30 s, so a failing test cannot hang the suite.
class RowGate {
public:
    void pauseAt(std::string stage, std::size_t row)
    {
        const std::lock_guard lock(mutex_);
        stage_ = std::move(stage);
        row_ = row;
        armed_ = true;
        reached_ = false;
        opened_ = false;
    }

    // Called by the worker before every row.
    void arrive(std::string_view stage, std::size_t row)
    {
        std::unique_lock lock(mutex_);
        visits_.push_back(std::string(stage) + ":" + std::to_string(row));
        if (!armed_ || stage != stage_ || row != row_)
            return;
        armed_ = false;
        reached_ = true;
        opening_.wait_for(lock, std::chrono::seconds(30), [this] { return opened_; });
    }

    bool reached() const
    {
        const std::lock_guard lock(mutex_);
        return reached_;
    }

    void open()
    {
        const std::lock_guard lock(mutex_);
        opened_ = true;
        armed_ = false;
        opening_.notify_all();
    }

    std::vector<std::string> visits() const
    {
        const std::lock_guard lock(mutex_);
        return visits_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable opening_;
    std::vector<std::string> visits_;
    std::string stage_;
    std::size_t row_ = 0;
    bool armed_ = false;
    bool reached_ = false;
    bool opened_ = false;
};

inline AppEnvironment workEnvironment(std::shared_ptr<const StringTable> strings, std::shared_ptr<PromptLog> log,
                                      const std::shared_ptr<FixedFigures>& figures, const std::shared_ptr<Trace>& trace,
                                      const std::shared_ptr<RowGate>& gate)
{
    AppEnvironment env = environment(std::move(strings), std::move(log), figures);
    env.uiTrace = [trace](const QString& step) {
        trace->steps << step;
        if (trace->onStep)
            trace->onStep(step);
    };
    env.beforeJunkRow = [gate](std::string_view stage, std::size_t row) { gate->arrive(stage, row); };
    return env;
}

// Writes `bytes` bytes to `path`, making the folders on the way.
inline bool writeBytes(const QString& path, qint64 bytes, char fill = 'x')
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QByteArray(bytes, fill)) == bytes;
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool exists(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

inline bool isLink(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The oracle: st_size of every entry below home/relative, links not
// followed; 0 when home/relative, or any folder on the way down from home,
// is not a real folder (the program never reaches through a link there).
inline std::uint64_t expectedBytes(const QString& home, std::string_view relative)
{
    namespace fs = std::filesystem;
    fs::path path = QFile::encodeName(home).toStdString();
    for (const fs::path& part : fs::path(std::string(relative))) {
        path /= part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return 0;
    }
    std::uint64_t bytes = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0)
            bytes += static_cast<std::uint64_t>(st.st_size);
    }
    return bytes;
}

// Every file below `root` with its bytes, links as "-> target"; for
// checking that a canary survived byte for byte.
inline QMap<QString, QByteArray> snapshot(const QString& root)
{
    namespace fs = std::filesystem;
    QMap<QString, QByteArray> files;
    std::error_code ec;
    const fs::path base = QFile::encodeName(root).toStdString();
    for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const QString rel = QString::fromStdString(fs::relative(it->path(), base).string());
        if (it->is_symlink())
            files[rel] = "-> " + QByteArray::fromStdString(fs::read_symlink(it->path()).string());
        else if (it->is_regular_file())
            files[rel] = readAll(QString::fromStdString(it->path().string()));
        else
            files[rel] = "<dir>";
    }
    return files;
}

// The fakes and the temporary home of one scan or clean test, made afresh
// for each test function. A test class derives from it beside QObject and
// calls startWork() from init() and endWork() from cleanup().
class WorkFixture {
protected:
    void startWork()
    {
        log_ = std::make_shared<PromptLog>();
        figures_ = std::make_shared<FixedFigures>();
        trace_ = std::make_shared<Trace>();
        gate_ = std::make_shared<RowGate>();
        home_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid());
        log_->folders = {home_->path()};
    }
    void endWork()
    {
        // A failed check may leave a worker held at the gate: let it go
        // before the controller waits for it.
        gate_->open();
        d_.reset();
    }

    std::shared_ptr<PromptLog> log_;
    std::shared_ptr<FixedFigures> figures_;
    std::shared_ptr<Trace> trace_;
    std::shared_ptr<RowGate> gate_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<AppDelegate> d_;
};

} // namespace headroom::test
