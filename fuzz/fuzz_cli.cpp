// headroom-cli's argument handling, in process, with any words. The words
// are the input split at NUL bytes. Everything runs inside a private
// temporary folder that holds a small home; `clean` and `release` are never
// run (they change the system), and words that could reach outside the
// folder (a "/" anywhere, or "..") are left out.

#include "FuzzCheck.h"
#include "cli/Cli.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string g_folder;

void removeFolder()
{
    if (!g_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_folder, ignored);
    }
}

void makeHome()
{
    namespace fs = std::filesystem;
    for (const char* dir : {".cache/app", "Logs", "Downloads/sub", "Mail Downloads", ".local/share/Trash/files"})
        fs::create_directories(dir);
    for (const char* file : {".cache/app/blob", "Logs/a.log", "Downloads/sub/file", ".local/share/Trash/files/x"})
        std::ofstream(file) << std::string(1500, 'x');
    fs::create_symlink("..", "Downloads/up");
    fs::create_symlink("/", "Logs/root");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/headroom-fuzz-cli-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
        std::perror("fuzz_cli: temporary folder");
        std::abort();
    }
    g_folder = pattern;
    std::atexit(removeFolder);
    makeHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < 16)
        words.push_back(word);

    if (!words.empty() && (words.front() == "clean" || words.front() == "release"))
        return 0;
    for (const std::string& w : words) {
        if (w.find('/') != std::string::npos || w == "..")
            return 0;
    }

    std::ostringstream out;
    std::ostringstream err;
    int status = 0;
    if (size > 0 && (data[0] & 1) != 0) {
        status = headroom::cli::run(words, out, err);
    } else {
        // The argc/argv entry, as main() calls it.
        std::vector<char*> argv{const_cast<char*>("headroom-cli")};
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        status = headroom::cli::run(static_cast<int>(words.size() + 1), argv.data(), out, err);
    }

    const std::string said = err.str();
    const std::string context = "status " + std::to_string(status) + "\nerr: " + headroom::fuzz::visible(said);
    FUZZ_CHECK(status == 0 || status == 2, context);
    if (status == 2) {
        // A usage error: exactly one line on standard error, nothing else.
        FUZZ_CHECK(out.str().empty(), context);
        FUZZ_CHECK(!said.empty() && said.back() == '\n' && std::count(said.begin(), said.end(), '\n') == 1, context);
    } else {
        FUZZ_CHECK(said.empty(), context);
        FUZZ_CHECK(!out.str().empty(), context);
    }
    return 0;
}
