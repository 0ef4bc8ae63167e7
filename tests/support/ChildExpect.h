#pragma once

// Test-side reading of a ChildOutcome, and whether this build runs under
// ThreadSanitizer (some child-process tests cannot run there).

#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdio>

#if defined(__SANITIZE_THREAD__)
#define HEADROOM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HEADROOM_TSAN 1
#endif
#endif

namespace headroom::test {

// Skipped (loudly) only when the child was refused the privilege or the
// setting it needs; otherwise the child must have passed.
inline void expectChildPassed(const ChildOutcome& outcome)
{
    if (outcome.status == ChildOutcome::Status::Refused) {
        std::fprintf(stderr, "*** SKIPPED: %s\n", outcome.message.c_str());
        GTEST_SKIP() << "refused: " << outcome.message;
    }
    EXPECT_EQ(outcome.status, ChildOutcome::Status::Passed) << outcome.message;
}

} // namespace headroom::test
