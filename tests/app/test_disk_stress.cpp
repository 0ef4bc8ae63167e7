// Scan and clean requests, many of them overlapping, on one home while
// another thread keeps creating, renaming and deleting entries inside the
// junk locations and swapping folders (a location itself included) for links
// to a canary outside them.

#include "WorkFixture.h"

#include "core/JunkLocations.h"
#include "core/SizeText.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace headroom;
using namespace headroom::test;

namespace {

constexpr int kRounds = 40;

// Changes the trees below the locations until told to stop. Everything it
// parks lies in `parking`, outside the locations; it never writes into the
// canary, it only points links at it.
class Mutator {
public:
    Mutator(std::vector<std::string> locations, std::string parking, std::string canary)
        : locations_(std::move(locations)), parking_(std::move(parking)), canary_(std::move(canary))
    {
        thread_ = std::thread([this] { run(); });
    }
    ~Mutator() { stop(); }

    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    unsigned long changes() const { return changes_.load(); }

private:
    void run()
    {
        std::mt19937 random(20240611);
        unsigned long n = 0;
        while (!stop_.load()) {
            const std::string& loc = locations_[random() % locations_.size()];
            const std::string a = loc + "/d" + std::to_string(random() % 4);
            const std::string b = loc + "/d" + std::to_string(random() % 4);
            const std::string parked = parking_ + "/p" + std::to_string(++n);
            switch (random() % 6) {
            case 0: // create
                makePath(a + "/e");
                writeSmall(a + "/e/f" + std::to_string(n % 7));
                writeSmall(loc + "/top" + std::to_string(n % 5));
                break;
            case 1: // rename
                ::rename(a.c_str(), b.c_str());
                break;
            case 2: // delete
                ::unlink((a + "/e/f" + std::to_string(n % 7)).c_str());
                ::unlink((loc + "/top" + std::to_string(n % 5)).c_str());
                ::rmdir((a + "/e").c_str());
                break;
            case 3: // a folder swapped for a link, and back
                if (::rename(a.c_str(), parked.c_str()) == 0) {
                    ::symlink(canary_.c_str(), a.c_str());
                    std::this_thread::yield();
                    if (::unlink(a.c_str()) == 0)
                        ::rename(parked.c_str(), a.c_str());
                }
                break;
            case 4: // the location itself swapped for a link, and back
                if (::rename(loc.c_str(), parked.c_str()) == 0) {
                    ::symlink(canary_.c_str(), loc.c_str());
                    std::this_thread::yield();
                    if (::unlink(loc.c_str()) == 0)
                        ::rename(parked.c_str(), loc.c_str());
                }
                break;
            default: // links into the canary left lying about
                makePath(loc);
                ::symlink(canary_.c_str(), (loc + "/link" + std::to_string(n % 3)).c_str());
                ::symlink((canary_ + "/inner").c_str(), (a + "/deeplink").c_str());
                break;
            }
            ++changes_;
        }
    }

    static void makePath(const std::string& path)
    {
        for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
            ::mkdir(path.substr(0, at).c_str(), 0755);
        ::mkdir(path.c_str(), 0755);
    }

    static void writeSmall(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        static const char bytes[300] = {};
        [[maybe_unused]] const ssize_t written = ::write(fd, bytes, sizeof bytes);
        ::close(fd);
    }

    std::vector<std::string> locations_;
    std::string parking_;
    std::string canary_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned long> changes_{0};
    std::thread thread_;
};

} // namespace

class TestDiskStress : public QObject {
    Q_OBJECT

private slots:
    void interleavedRequestsOnAChangingHome();
};

void TestDiskStress::interleavedRequestsOnAChangingHome()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString h = home.path();
    QVERIFY(writeBytes(h + "/canary/a", 4000, 'a'));
    QVERIFY(writeBytes(h + "/canary/inner/b", 700, 'b'));
    QVERIFY(writeBytes(h + "/canary.txt", 55, 'c'));
    QVERIFY(QDir().mkpath(h + "/parking"));
    const auto canary = snapshot(h + "/canary");
    std::vector<std::string> locations;
    for (const JunkLocation& row : junkTable()) {
        const QString loc
            = h + "/" + QString::fromUtf8(row.relativePath.data(), static_cast<qsizetype>(row.relativePath.size()));
        QVERIFY(writeBytes(loc + "/seed/f", 1000));
        locations.push_back(QFile::encodeName(loc).toStdString());
    }

    auto log = std::make_shared<PromptLog>();
    log->folders = {h};
    auto trace = std::make_shared<Trace>();
    auto d = std::make_unique<AppDelegate>(workEnvironment(StringTable::forLocale(QLocale(QLocale::English)), log,
                                                           std::make_shared<FixedFigures>(), trace,
                                                           std::make_shared<RowGate>()));
    d->applicationDidFinishLaunching();
    QVERIFY(d->isAuthorized());
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setCheckState(Qt::Checked);

    {
        Mutator mutator(locations, QFile::encodeName(h + "/parking").toStdString(),
                        QFile::encodeName(h + "/canary").toStdString());
        std::mt19937 random(7);
        int started = 0;
        for (int round = 0; round < kRounds; ++round) {
            const bool clean = random() % 2;
            clean ? d->cleanAction(d->cleanItem()) : d->checkAction(d->checkItem());
            started += d->isDiskWorkRunning() ? 1 : 0;
            // Often a second request right away (refused while the first
            // runs), and only now and then a wait for the end.
            if (random() % 2)
                random() % 2 ? d->checkAction(d->checkItem()) : d->cleanAction(d->cleanItem());
            if (random() % 3 == 0)
                QTRY_VERIFY_WITH_TIMEOUT(!d->isDiskWorkRunning(), 60000);
            else
                QCoreApplication::processEvents();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!d->isDiskWorkRunning(), 60000);
        mutator.stop();
        QVERIFY(mutator.changes() > 0);
        QVERIFY(started > 1);
        // The second request of a round always comes while its first runs.
        QVERIFY(trace->steps.join(' ').contains(QStringLiteral("refused.")));
    }

    // The home as it is now, measured once more by the program and by the
    // oracle.
    trace->steps << QStringLiteral("final");
    d->checkAction(d->checkButton());
    QTRY_VERIFY_WITH_TIMEOUT(!d->isDiskWorkRunning(), 60000);
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        const std::uint64_t bytes = expectedBytes(h, junkTable()[row].relativePath);
        const QString label = d->L(junkTable()[row].labelKey);
        QCOMPARE(d->junkCheckBoxes()[row]->text(),
                 bytes > 0 ? label + QString::fromStdString(convertBytes(bytes)) : label);
    }
    QVERIFY(d->checkButton()->isEnabled());
    QVERIFY(d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled());
    QVERIFY(!trace->after("final").join(' ').contains(QStringLiteral("refused")));

    QCOMPARE(snapshot(h + "/canary"), canary);
    QCOMPARE(readAll(h + "/canary.txt"), QByteArray(55, 'c'));
    d.reset();
}

QTEST_MAIN(TestDiskStress)
#include "test_disk_stress.moc"
