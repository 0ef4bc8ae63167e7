// The walk with a progress record against the same walk without one, in one
// run on one warm tree: the cost of showing a Check while it runs. Prints
// the median of each and their ratio.
//   walk_progress PATH [RUNS]

#include "core/TreeWalker.h"
#include "core/WorkProgress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double seconds(const std::string& path, headroom::WorkProgress* progress)
{
    headroom::WalkOptions options;
    options.progress = progress;
    const auto start = std::chrono::steady_clock::now();
    const headroom::WalkResult result = headroom::measureTree(path, options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (progress && progress->entries.load() != result.entries)
        std::fprintf(stderr, "walk_progress: shown %llu entries of %llu\n",
                     static_cast<unsigned long long>(progress->entries.load()),
                     static_cast<unsigned long long>(result.entries));
    return took.count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: walk_progress PATH [RUNS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    seconds(path, nullptr); // warm the cache
    std::vector<double> bare, shown;
    for (int i = 0; i < runs; ++i) {
        headroom::WorkProgress progress;
        // Alternating, so that drift in the machine's load falls on both.
        bare.push_back(seconds(path, nullptr));
        shown.push_back(seconds(path, &progress));
    }
    const double b = median(bare), s = median(shown);
    std::printf("walk without progress %.4f s, with progress %.4f s: %.3fx\n", b, s, s / b);
    return 0;
}
