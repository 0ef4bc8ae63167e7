// The walker and the removal on trees built from the input inside a private
// temporary folder: names of any bytes (long ones too), folders at any
// depth, symbolic links with any target (some aimed at the canary), hard
// links (some to the canary's files), empty and sparse files, FIFOs.
//
// The expected sum is taken independently while building: every entry made
// is remembered by (parent folder, name) and stat'ed once the tree is done.
// Every 16th input `du -sbl` is asked as well, which checks the generator's
// own bookkeeping. Beside the location lies a canary tree, compared entry by
// entry (inode, size, link count, mtime) after every removal.

#include "FuzzCheck.h"
#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string g_work; // the private folder: holds "loc" and "canary"
int g_workFd = -1;
unsigned long g_inputs = 0;

void removeWork()
{
    if (!g_work.empty()) {
        std::error_code ignored;
        fs::remove_all(g_work, ignored);
    }
}

struct EntryState {
    ino_t ino;
    off_t size;
    nlink_t links;
    mode_t mode;
    std::int64_t mtimeNs;
    bool operator==(const EntryState&) const = default;
};

// Everything in the private folder but the location, by path.
std::map<std::string, EntryState> snapshotBeside()
{
    std::map<std::string, EntryState> out;
    for (auto it = fs::recursive_directory_iterator(g_work); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        if (path == g_work + "/loc") {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st {};
        FUZZ_CHECK(::lstat(path.c_str(), &st) == 0, path);
        EntryState state{};
        state.ino = st.st_ino;
        state.size = st.st_size;
        state.links = st.st_nlink;
        state.mode = st.st_mode;
        state.mtimeNs = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
        out[path] = state;
    }
    return out;
}

std::map<std::string, EntryState> g_canary;

int countOpenDescriptors()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr)
            ++n;
        ::closedir(d);
    }
    return n;
}

std::uint64_t duBelowLocation()
{
    const std::string loc = g_work + "/loc";
    const std::string command = "du -sbl -- '" + loc + "' 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    FUZZ_CHECK(p != nullptr, "popen du");
    unsigned long long total = 0;
    const int fields = std::fscanf(p, "%llu", &total);
    ::pclose(p);
    FUZZ_CHECK(fields == 1, "du printed no number");
    struct stat st {};
    FUZZ_CHECK(::lstat(loc.c_str(), &st) == 0, "lstat loc");
    return total - static_cast<std::uint64_t>(st.st_size);
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::string bytes(std::size_t n)
    {
        std::string s;
        while (n-- > 0 && !empty())
            s += static_cast<char>(byte());
        return s;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

struct Made {
    std::size_t dir; // index into Builder::dirs
    std::string name;
};

class Builder {
public:
    static constexpr std::size_t kMaxDirs = 96;
    static constexpr std::size_t kMaxEntries = 600;

    explicit Builder(int locFd)
    {
        dirs.push_back(locFd);
        path.push_back(0);
    }
    ~Builder()
    {
        for (const int fd : dirs)
            ::close(fd);
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    std::vector<int> dirs;         // every folder made, open; [0] is the location
    std::vector<std::size_t> path; // current folder as indices into dirs
    std::vector<Made> made;
    std::vector<Made> files; // regular files inside, for hard links

    int here() const { return dirs[path.back()]; }

    // Any bytes but "/" and NUL; "." and ".." get a suffix.
    static std::string name(Input& in, bool longName)
    {
        std::string n = longName ? std::string(255, 'L') : in.bytes(1 + in.byte() % 12);
        if (longName) {
            const std::string head = in.bytes(8);
            n.replace(0, head.size(), head);
        }
        for (char& c : n) {
            if (c == '/' || c == '\0')
                c = '_';
        }
        if (n.empty() || n == "." || n == "..")
            n += 'x';
        return n;
    }

    void noteMade(const std::string& n) { made.push_back({path.back(), n}); }

    void mkdirHere(const std::string& n, bool enter)
    {
        if (dirs.size() >= kMaxDirs || ::mkdirat(here(), n.c_str(), 0755) != 0)
            return;
        noteMade(n);
        const int fd = ::openat(here(), n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        FUZZ_CHECK(fd >= 0, "open new folder");
        dirs.push_back(fd);
        if (enter)
            path.push_back(dirs.size() - 1);
    }

    void fileHere(const std::string& n, std::uint64_t size, bool data)
    {
        const int fd = ::openat(here(), n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        if (data) {
            const std::string text(static_cast<std::size_t>(size % 5000), 'd');
            FUZZ_CHECK(::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()), "write");
        } else {
            FUZZ_CHECK(::ftruncate(fd, static_cast<off_t>(size)) == 0, "ftruncate");
        }
        ::close(fd);
        noteMade(n);
        files.push_back({path.back(), n});
    }
};

void build(Input& in, Builder& b)
{
    const std::string canaryFile = g_work + "/canary/keep.txt";
    while (!in.empty() && b.made.size() < Builder::kMaxEntries) {
        const std::uint8_t op = in.byte();
        switch (op % 10) {
        case 0:
        case 1: b.mkdirHere(Builder::name(in, false), (op & 0x10) != 0 && b.path.size() < 64); break;
        case 2:
        case 3: {
            const std::string n = Builder::name(in, false);
            const std::uint16_t w = in.word();
            // Sparse files up to 256 MiB of apparent size, or a few KB of data.
            b.fileHere(n, (op & 0x10) != 0 ? std::uint64_t{w} << 12 : w, (op & 0x20) != 0);
            break;
        }
        case 4: {
            const std::string n = Builder::name(in, false);
            static const char* const aimed[] = {"..", "../..", "../canary", "/", ".", "keep.txt"};
            std::string target;
            switch (in.byte() % 4) {
            case 0: target = aimed[in.byte() % 6]; break;
            case 1: target = g_work + "/canary"; break;
            case 2: target = canaryFile; break;
            default: target = in.bytes(1 + in.byte() % 40); break;
            }
            for (char& c : target) {
                if (c == '\0')
                    c = '.';
            }
            if (target.empty())
                target = "dangling";
            if (::symlinkat(target.c_str(), b.here(), n.c_str()) == 0)
                b.noteMade(n);
            break;
        }
        case 5: {
            const std::string n = Builder::name(in, false);
            int rc = -1;
            if (b.files.empty() || (op & 0x10) != 0) {
                rc = ::linkat(AT_FDCWD, canaryFile.c_str(), b.here(), n.c_str(), 0);
            } else {
                const Made& f = b.files[in.byte() % b.files.size()];
                rc = ::linkat(b.dirs[f.dir], f.name.c_str(), b.here(), n.c_str(), 0);
            }
            if (rc == 0)
                b.noteMade(n);
            break;
        }
        case 6:
            if (b.path.size() > 1)
                b.path.pop_back();
            break;
        case 7:
            if ((op & 0x10) != 0)
                b.mkdirHere(Builder::name(in, true), (op & 0x20) != 0);
            else
                b.fileHere(Builder::name(in, true), in.byte(), false);
            break;
        case 8: {
            // A chain of one-byte names, deeper than the walker's bound on
            // descriptors when the input asks for a small bound.
            const std::size_t depth = 1 + in.byte() % 24;
            const std::string n(1, static_cast<char>('a' + op % 26));
            for (std::size_t i = 0; i < depth && b.dirs.size() < Builder::kMaxDirs; ++i)
                b.mkdirHere(n, true);
            break;
        }
        default: {
            const std::string n = Builder::name(in, false);
            if (::mkfifoat(b.here(), n.c_str(), 0644) == 0)
                b.noteMade(n);
            break;
        }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/headroom-fuzz-tree-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("fuzz_tree: temporary folder");
        std::abort();
    }
    g_work = pattern;
    std::atexit(removeWork);
    g_workFd = ::open(g_work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fs::create_directories(g_work + "/canary/inner/deeper");
    std::ofstream(g_work + "/canary/keep.txt") << "canary";
    std::ofstream(g_work + "/canary/inner/deeper/also.txt") << "also";
    fs::create_symlink("keep.txt", g_work + "/canary/link");
    std::ofstream(g_work + "/beside.txt") << "beside";
    g_canary = snapshotBeside();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t mode = in.byte();
    const std::uint8_t bound = in.byte();
    const int fdsBefore = countOpenDescriptors();

    FUZZ_CHECK(::mkdirat(g_workFd, "loc", 0755) == 0, std::strerror(errno));
    std::uint64_t expectedBytes = 0;
    std::uint64_t expectedEntries = 0;
    {
        const int locFd = ::openat(g_workFd, "loc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        FUZZ_CHECK(locFd >= 0, "open loc");
        Builder b(locFd);
        build(in, b);
        for (const Made& m : b.made) {
            struct stat st {};
            FUZZ_CHECK(::fstatat(b.dirs[m.dir], m.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0,
                       headroom::fuzz::visible(m.name));
            expectedBytes += static_cast<std::uint64_t>(st.st_size);
            ++expectedEntries;
        }
    }

    if (++g_inputs % 16 == 1) {
        const std::uint64_t du = duBelowLocation();
        FUZZ_CHECK(du == expectedBytes, "du " + std::to_string(du) + " generator " + std::to_string(expectedBytes));
    }

    headroom::WalkOptions options;
    options.threads = 1 + mode % 4;
    options.maxOpenFolders = (bound & 0x80) != 0 ? 0 : 2 + bound % 6;
    const headroom::WalkResult walked = (mode & 0x10) != 0 ? headroom::measureTree(g_work + "/loc", options)
                                                           : headroom::measureTreeAt(g_workFd, "loc", options);
    const std::string figures = "walked " + std::to_string(walked.bytes) + " bytes, " + std::to_string(walked.entries)
                                + " entries, " + std::to_string(walked.errors) + " errors; made "
                                + std::to_string(expectedBytes) + " bytes, " + std::to_string(expectedEntries)
                                + " entries";
    FUZZ_CHECK(walked.bytes == expectedBytes && walked.entries == expectedEntries && walked.errors == 0, figures);
    if ((mode & 0x20) != 0)
        FUZZ_CHECK(headroom::getSize(g_work + "/loc") == expectedBytes, figures);

    const headroom::RemoveResult removed =
        (mode & 0x40) != 0 ? headroom::removeLocation(g_work, "loc") : headroom::removeTreeAt(g_workFd, "loc");
    FUZZ_CHECK(removed.locationGone && removed.failed == 0 && removed.removed == expectedEntries + 1,
               "removed " + std::to_string(removed.removed) + ", failed " + std::to_string(removed.failed) + ", gone "
                   + std::to_string(removed.locationGone) + "; made " + std::to_string(expectedEntries));
    FUZZ_CHECK(snapshotBeside() == g_canary, "something beside the location changed");
    FUZZ_CHECK(countOpenDescriptors() == fdsBefore, "descriptors leaked");
    return 0;
}
