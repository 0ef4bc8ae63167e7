#pragma once

// Trouble from outside, for the core tests: a system call refused, listing
// a folder failing, too few descriptors left, and memory running out.

#include <cstddef>
#include <string>

#include <sys/resource.h>

namespace headroom::test {

// Each installs a seccomp filter, which cannot be removed again, so call
// them only in a forked child. False when the kernel refuses or this is not
// x86-64.
//
// From now on system call `nr` fails with `error` in this process.
bool refuseSyscall(long nr, int error);
// From now on every getdents64 on `folder` (the same device and inode) in
// this process fails with `error`; other listings work as usual.
bool failListingOf(const std::string& folder, int error);
// How many listings failListingOf has failed so far.
unsigned failedListings();

// From now on every allocation through operator new of `bytes` or more
// fails with std::bad_alloc, but for the first `spared` of them; with
// `otherThreadsOnly`, only on threads other than the calling one. As under
// a tight `ulimit -v`, where the big allocations fail first. 0 bytes: no
// allocation fails any more. Call only in a forked child.
void failBigAllocations(std::size_t bytes, unsigned spared = 0, bool otherThreadsOnly = false);

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
    rlimit m_saved{};
    bool m_applied = false;
};

} // namespace headroom::test
