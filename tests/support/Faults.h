#pragma once

// Trouble from outside, for the core tests: listing a folder failing, too
// few descriptors left, and a thread that keeps swapping folders for links
// while a walk or a removal runs.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace headroom::test {

// From now on every getdents64 on `folder` (the same device and inode) in
// this process fails with `error`; other listings work as usual. A seccomp
// filter traps the calls and cannot be removed again, so call it only in a
// forked child. False when the kernel refuses or this is not x86-64.
bool failListingOf(const std::string& folder, int error);
// How many listings failListingOf has failed so far.
unsigned failedListings();

// Lowers the soft RLIMIT_NOFILE so that `spare` descriptors above the
// lowest free number can be opened, until restored or destroyed.
class DescriptorLimit {
public:
    explicit DescriptorLimit(unsigned spare);
    ~DescriptorLimit() { restore(); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;
    bool applied() const { return m_applied; }
    void restore();

private:
    rlimit m_saved {};
    bool m_applied = false;
};

// While it lives, a thread keeps changing the folders `locations`: it makes
// them and subfolders d0..d3 with files in them, and swaps a subfolder (now
// and then a location itself) for a link into `target` and back, each swap
// one atomic exchange with a name in `parking`.
// Only this thread makes links, so it never writes through one.
class LinkSwapper {
public:
    LinkSwapper(std::vector<std::string> locations, std::string parking, std::string target);
    ~LinkSwapper();
    LinkSwapper(const LinkSwapper&) = delete;
    LinkSwapper& operator=(const LinkSwapper&) = delete;
    std::uint64_t swaps() const { return m_swaps.load(); }

private:
    void step(unsigned random, std::uint64_t n);

    std::vector<std::string> m_locations;
    std::string m_parking;
    std::string m_target;
    std::atomic<bool> m_stop {false};
    std::atomic<std::uint64_t> m_swaps {0};
    std::thread m_thread;
};

} // namespace headroom::test
