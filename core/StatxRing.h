#pragma once

#include <cstddef>
#include <memory>

#include <sys/stat.h>

namespace headroom {

// Many statx calls relative to one folder, submitted together through an
// io_uring (set up and driven by liburing) and waited for together: one
// system call for a whole batch where a plain walk pays one per entry. Only
// statx is ever queued, and a batch is complete when stat() returns, so
// nothing is in flight between calls.
//
// Not thread-safe: one ring per thread.
class StatxRing {
public:
    static constexpr unsigned kCapacity = 512;

    // Null when the kernel has no io_uring, or it is disabled or filtered
    // (kernel.io_uring_disabled, a container's seccomp profile).
    static std::unique_ptr<StatxRing> open();

    ~StatxRing();
    StatxRing(const StatxRing&) = delete;
    StatxRing& operator=(const StatxRing&) = delete;

    // Stats names[0..count) (count <= kCapacity) relative to `dirfd`. Every
    // entry gets an answer: error(i) is 0 and result(i) holds the fields, or
    // error(i) is the errno. Entries the ring could not take are done with
    // plain statx here, and the ring then reports broken().
    void stat(int dirfd, const char* const* names, unsigned count, int flags, unsigned mask);

    int error(unsigned i) const { return m_errors[i]; }
    const struct statx& result(unsigned i) const { return m_results[i]; }

    // The kernel refused the ring mid-way: drop it and use plain statx.
    bool broken() const { return m_broken; }

private:
    struct Uring;
    StatxRing() = default;

    bool submitAndWait(int dirfd, const char* const* names, unsigned count, int flags, unsigned mask);

    std::unique_ptr<Uring> m_uring; // set once the kernel gave a ring
    // Written by the kernel; kept for as long as a request may be in flight.
    std::unique_ptr<struct statx[]> m_results;
    std::unique_ptr<int[]> m_errors;
    std::unique_ptr<bool[]> m_done;
    bool m_broken = false;
};

} // namespace headroom
